#!/usr/bin/env python3
"""`tillory --snapshot` beside the tools people trust on the same machine at the same moment: memory used
within 3 % of physical memory of what `free` reports, and the root volume's size and free space as `df` shows
them. Runs without a display and leaves the user's settings alone."""

import argparse
import json
import os
import subprocess
import sys


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def snapshot(binary, env):
    result = subprocess.run([binary, "--snapshot"], capture_output=True, text=True, timeout=30, env=env)
    check(result.returncode == 0, f"tillory --snapshot failed ({result.returncode}): {result.stderr}")
    return json.loads(result.stdout)


def free_used_bytes():
    lines = subprocess.run(["free", "-b"], capture_output=True, text=True, check=True).stdout.splitlines()
    header = lines[0].split()
    values = lines[1].split()[1:]
    row = dict(zip(header, (int(v) for v in values)))
    return row["total"], row["used"]


def df_root():
    line = subprocess.run(["df", "-B1", "--output=size,avail", "/"], capture_output=True, text=True,
                          check=True).stdout.splitlines()[1]
    size, avail = (int(v) for v in line.split())
    return size, avail


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    args = parser.parse_args()
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env["XDG_CONFIG_HOME"] = "/nonexistent-tillory-config"  # a snapshot must not need or touch settings

    snap = snapshot(args.tillory, env)
    total, used = free_used_bytes()
    memory = snap["memory"]
    check(memory["totalBytes"] == total, f"physical memory {memory['totalBytes']} vs free's {total}")
    ours = memory["used"] * memory["totalBytes"]
    check(abs(ours - used) <= 0.03 * total,
          f"memory used {ours / 2**20:.0f} MiB vs free's {used / 2**20:.0f} MiB (more than 3 % of memory apart)")

    size, avail = df_root()
    volumes = snap["disk"]["volumes"]
    check(len(volumes) >= 1, "no volume listed")
    root = volumes[0]
    check(root["totalBytes"] == size, f"root size {root['totalBytes']} vs df's {size}")
    check(abs(root["freeBytes"] - avail) <= max(0.01 * size, 64 << 20),
          f"root free {root['freeBytes']} vs df's {avail}")

    cpu = snap["cpu"]
    check(len(cpu["perCore"]) == os.cpu_count(), f"{len(cpu['perCore'])} cores listed, {os.cpu_count()} online")
    check(0 <= cpu["total"] <= 1 and all(0 <= c <= 1 for c in cpu["perCore"]), f"CPU shares out of range: {cpu}")
    for key in ("gpu", "power", "fans", "temperature", "network"):
        check(key in snap, f"{key} missing from the snapshot")

    with_processes = json.loads(subprocess.run([args.tillory, "--snapshot", "--processes"], capture_output=True,
                                               text=True, timeout=30, env=env, check=True).stdout)
    pids = {p["pid"] for p in with_processes["processes"]}
    check(os.getpid() in pids, "this test's own process is not in the process list")

    print(f"snapshot accuracy: memory used {ours / 2**20:.0f} MiB vs free {used / 2**20:.0f} MiB; "
          f"root free {root['freeBytes']} vs df {avail}; passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
