#!/usr/bin/env python3
"""The system monitor's cost beside the tools a user would otherwise run for the same readings.

  python3 bench/monitor_compare.py --bench build/release/bench/tillory_monitor_bench \
      --tillory build/release/src/app/tillory [--seconds 60]

Prints the CPU time of one system tick and one process tick (Google Benchmark, median of 5), the CPU time of
`ps -eo pid,comm,time,rss` and `top -b -n 1` over the same processes, and a whole running Tillory's CPU use and
resident memory over `--seconds` (on $DISPLAY, or on an Xvfb it starts)."""

import argparse
import json
import os
import shutil
import subprocess
import tempfile
import time

from measure import cpu_seconds, rss_kib, write_settings


def bench_medians(binary):
    out = subprocess.run([binary, "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true",
                          "--benchmark_format=json"], capture_output=True, text=True, check=True).stdout
    medians = {}
    for row in json.loads(out)["benchmarks"]:
        if row.get("aggregate_name") == "median":
            medians[row["run_name"]] = (row["cpu_time"], row.get("processes"))
    return medians


def tool_cpu_micros(command, runs=20):
    before = os.times()
    for _ in range(runs):
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    after = os.times()
    used = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    return used / runs * 1e6


def process_cpu_and_rss(pid):
    return cpu_seconds(pid), rss_kib(pid)


def run_tillory(binary, seconds):
    env = dict(os.environ)
    home = tempfile.mkdtemp(prefix="tillory-bench-")
    env.update(XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_DATA_HOME=os.path.join(home, "data"),
               XDG_RUNTIME_DIR=home, QT_QPA_PLATFORM="xcb")
    write_settings(os.path.join(home, "config"), binary)
    xvfb = None
    if not env.get("DISPLAY"):
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-noreset", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-nolisten",
                                 "tcp"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            env["DISPLAY"] = ":" + pipe.readline().strip()
    app = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(5)  # start-up is not what is measured
        cpu0, rss0 = process_cpu_and_rss(app.pid)
        wall0 = time.monotonic()
        time.sleep(seconds)
        cpu1, rss1 = process_cpu_and_rss(app.pid)
        wall = time.monotonic() - wall0
    finally:
        app.terminate()
        app.wait(30)
        if xvfb:
            xvfb.terminate()
            xvfb.wait(10)
        shutil.rmtree(home, ignore_errors=True)
    return (cpu1 - cpu0) / wall * 100, rss0, rss1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True)
    parser.add_argument("--tillory")
    parser.add_argument("--seconds", type=float, default=60)
    args = parser.parse_args()

    medians = bench_medians(args.bench)
    system_us = medians["SystemTick"][0]
    process_us, processes = medians["ProcessTick"]
    ps_us = tool_cpu_micros(["ps", "-eo", "pid,comm,time,rss"])
    top_us = tool_cpu_micros(["top", "-b", "-n", "1"])
    print(f"CPU time per reading, {int(processes or 0)} processes (microseconds)")
    print(f"  {'Tillory system tick':34} {system_us:9.1f}   (goal: under 300)")
    print(f"  {'Tillory process tick':34} {process_us:9.1f}   {process_us / ps_us:5.2f} x ps (goal: at most 0.5)")
    print(f"  {'ps -eo pid,comm,time,rss':34} {ps_us:9.1f}")
    print(f"  {'top -b -n 1':34} {top_us:9.1f}   Tillory's process tick is {process_us / top_us:5.2f} x top")
    for peer in ("btop", "htop"):
        if shutil.which(peer):
            print(f"  {peer} has no one-shot batch mode to time; bench/peers_compare.py --only dashboard runs it beside"
                  " Tillory's open dashboard")
    if args.tillory:
        cpu, rss0, rss1 = run_tillory(args.tillory, args.seconds)
        print(f"Tillory running {args.seconds:.0f} s (system loop at 1 Hz, no window shown)")
        print(f"  CPU {cpu:.3f} % of one core (goal: under 0.5)")
        print(f"  resident memory {rss0 / 1024:.1f} MiB -> {rss1 / 1024:.1f} MiB ({(rss1 - rss0):+d} KiB)")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
