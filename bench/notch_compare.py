#!/usr/bin/env python3
"""What the now-playing island costs while a player plays and the island stays collapsed, and whether Tillory's
memory grows over many track changes.

  python3 bench/notch_compare.py --tillory build/release/src/app/tillory [--seconds 60] [--minutes 10] [--paused] \
      [--memory-off]

Runs on its own Xvfb with openbox and its own session bus, with one MPRIS player of the tests
(tests/e2e/mpris_player.py) playing a long track; the pointer stays far from the island.

- CPU: Tillory's user + system time (/proc/<pid>/stat) over --seconds, as a share of one core, with the island on
  and again with it off; beside it the context switches of all its threads (wake-ups) per second.
- Memory: Tillory's resident size (VmRSS) every 30 s over --minutes with the island on while the player moves to
  the next track every 5 s (each track with its own cover)."""

import argparse
import os
import sys
import time

from measure import cpu_seconds, own_session_bus, rss_kib  # puts tests/e2e on the path too
from harness import Desktop, Skip
from keyboard_e2e import Tillory
from notch_e2e import Player


def context_switches(pid):
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches:", "nonvoluntary_ctxt_switches:")):
                        total += int(line.split()[1])
        except FileNotFoundError:
            pass
    return total


def measure_cpu(desktop, args, home, enabled):
    app = Tillory(desktop, args.tillory, home, {"notchEnabled": "true" if enabled else "false"},
                  logging="tillory.clipboard.debug=true")
    try:
        time.sleep(5)  # start-up, the first polls and the cover are done
        cpu0, switches0, t0 = cpu_seconds(app.proc.pid), context_switches(app.proc.pid), time.monotonic()
        time.sleep(args.seconds)
        cpu1, switches1, t1 = cpu_seconds(app.proc.pid), context_switches(app.proc.pid), time.monotonic()
    finally:
        app.stop()
    return 100 * (cpu1 - cpu0) / (t1 - t0), (switches1 - switches0) / (t1 - t0)


def measure_memory(desktop, args, home, player):
    app = Tillory(desktop, args.tillory, home, {"notchEnabled": "false" if args.memory_off else "true"},
                  logging="tillory.clipboard.debug=true")
    samples = []
    try:
        start = time.monotonic()
        next_sample = start
        while time.monotonic() - start < args.minutes * 60:
            now = time.monotonic()
            if now >= next_sample:
                samples.append((now - start, rss_kib(app.proc.pid)))
                print(f"  {samples[-1][0]:6.0f} s  VmRSS {samples[-1][1]} KiB", flush=True)
                next_sample += 30
            player.send("next")
            time.sleep(5)
        samples.append((time.monotonic() - start, rss_kib(app.proc.pid)))
    finally:
        app.stop()
    return samples


def run(desktop, args):
    home = desktop.tmp
    desktop.run(["xdotool", "mousemove", "640", "600"])
    player = Player(desktop, "benchplayer", "--length", str(3600 * 10**6), *(["--paused"] if args.paused else []))
    if args.seconds > 0:
        on = measure_cpu(desktop, args, home, True)
        off = measure_cpu(desktop, args, home, False)
        print(f"CPU over {args.seconds} s, a player {'paused' if args.paused else 'playing'}, the island collapsed:")
        print(f"  island on:  {on[0]:.3f} % of one core, {on[1]:.1f} context switches/s")
        print(f"  island off: {off[0]:.3f} % of one core, {off[1]:.1f} context switches/s")
    if args.minutes > 0:
        print(f"Resident memory over {args.minutes} min, the next track every 5 s, the island "
              f"{'off' if args.memory_off else 'on'}:", flush=True)
        samples = measure_memory(desktop, args, home, player)
        after_first = next((kib for t, kib in samples if t >= 60), samples[-1][1])
        print(f"  first {samples[0][1]} KiB, after 1 min {after_first} KiB, last {samples[-1][1]} KiB, "
              f"max {max(k for _, k in samples)} KiB; growth after the first minute "
              f"{samples[-1][1] - after_first:+d} KiB")
    player.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--minutes", type=float, default=10)
    parser.add_argument("--paused", action="store_true", help="the player paused: no equalizer moves")
    parser.add_argument("--memory-off", action="store_true", help="memory with the island off, to compare")
    args = parser.parse_args()
    status = own_session_bus()
    if status is not None:
        return status
    try:
        desktop = Desktop()
    except Skip as why:
        print(f"cannot run: {why}")
        return 1
    try:
        run(desktop, args)
    finally:
        desktop.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
