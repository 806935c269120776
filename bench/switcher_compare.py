#!/usr/bin/env python3
"""How fast Tillory's window switcher opens with 50 windows, beside the window manager's own switcher, and what
Tillory's memory does over 1,000 sessions.

  python3 bench/switcher_compare.py --tillory build/release/src/app/tillory \
      --probe build/release/bench/tillory_switcher_probe [--sessions 30] [--cycles 1000]

Runs on its own Xvfb with openbox and its own session bus. The probe (bench/switcher_probe.cpp) owns 50 windows of
800 x 600 and presses the keys through XTest: from the moment the Tab press has reached the X server it times the
MapNotify of the switcher's window and the first change of that window's pixels on the screen (the first frame
shown), and Tillory's log (with monotonic time stamps) tells when the last of the 50 thumbnails arrived. Every
session ends with Escape. openbox's own Alt+Tab cycling dialog is timed the same way. Resident memory is read from
/proc before the first session, after it, and after --cycles more sessions."""

import argparse
import os
import re
import statistics
import subprocess
import sys
import time

from measure import memory_mib, own_session_bus, write_settings  # puts tests/e2e on the path too
from harness import Desktop, Skip, wait_for

WINDOWS = 50
SETTLE = 3  # seconds before a memory reading: late allocations and freed memory show by then
OPENBOX_RC = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <keyboard>
    <keybind key="A-Tab">
      <action name="NextWindow"><dialog>icons</dialog>
        <finalactions><action name="Focus"/><action name="Raise"/><action name="Unshade"/></finalactions>
      </action>
    </keybind>
  </keyboard>
  <mouse></mouse>
</openbox_config>
"""
STAMPED = re.compile(r"^\s*(\d+\.\d+) (\S+): (.*)$")


class Probe:
    def __init__(self, desktop, binary):
        self.proc = desktop.spawn([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def ask(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        answer = self.proc.stdout.readline().strip()
        if not answer:
            raise AssertionError(f"the probe ended on {line!r}")
        return answer


class Tillory:
    def __init__(self, desktop, binary, home):
        config = os.path.join(home, "config")
        write_settings(config, binary)
        self.log_path = os.path.join(home, "tillory.log")
        self.log = open(self.log_path, "w")
        env = desktop.env(XDG_CONFIG_HOME=config, XDG_DATA_HOME=os.path.join(home, "data"),
                          QT_LOGGING_RULES="tillory.clipboard.debug=true;tillory.switcher*.debug=true",
                          QT_MESSAGE_PATTERN="%{time boot} %{category}: %{message}")
        self.proc = desktop.spawn([binary], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        wait_for(lambda: "the pasteboard" in self.output(), 20, "Tillory to start")

    def output(self):
        with open(self.log_path) as f:
            return f.read()

    def stamps(self, text):
        """Monotonic times (ms) of the log lines containing `text`."""
        found = []
        for line in self.output().splitlines():
            match = STAMPED.match(line)
            if match and text in match.group(3):
                found.append(float(match.group(1)) * 1000)
        return found

    def wait_count(self, text, count, timeout=10):
        wait_for(lambda: len(self.stamps(text)) >= count, timeout, f"{count} x {text!r}")

    def stop(self):
        self.proc.terminate()
        self.proc.wait(30)
        self.log.close()


def session(probe, modifier):
    answer = probe.ask(f"open {modifier}").split()
    t0, mapped, painted = (float(v) for v in answer[1:])
    closed = probe.ask(f"close {modifier}")
    if closed != "closed":
        raise AssertionError(f"the {modifier} switcher did not close: {closed}")
    return t0, mapped, painted


def spread(values):
    values = sorted(v for v in values if v >= 0)
    if not values:
        return "none"
    p90 = values[min(len(values) - 1, int(round(0.9 * (len(values) - 1))))]
    return (f"median {statistics.median(values):6.1f} ms  (min {values[0]:.1f}, p90 {p90:.1f}, max {values[-1]:.1f};"
            f" n={len(values)})")


def measure(desktop, args):
    desktop.run(["xset", "r", "off"])
    probe = Probe(desktop, args.probe)
    if probe.ask(f"windows {WINDOWS}") != f"windows {WINDOWS}":
        raise AssertionError("openbox did not manage the probe's windows")
    home = os.path.join(desktop.tmp, "home")
    app = Tillory(desktop, args.tillory, home)
    captures = "captures delivered: 50"
    try:
        time.sleep(SETTLE)
        rss_start = memory_mib(app.proc.pid)

        # The first session ever: the panel was made and drawn once at start, so this is a show, not a build.
        _, first_map, _, first_thumbs = session_with_thumbnails(probe, app, captures, 1)
        time.sleep(SETTLE)
        rss_first = memory_mib(app.proc.pid)

        maps, paints, thumbs = [], [], []
        for n in range(2, args.sessions + 2):
            _, mapped, painted, thumbnails = session_with_thumbnails(probe, app, captures, n)
            maps.append(mapped)
            paints.append(painted)
            thumbs.append(thumbnails)

        session(probe, "alt")  # learns where openbox's dialog goes
        ob_maps, ob_paints = [], []
        for _ in range(args.sessions):
            _, mapped, painted = session(probe, "alt")
            ob_maps.append(mapped)
            ob_paints.append(painted)

        started = time.monotonic()
        answer = probe.ask(f"cycle super {args.cycles}").split()
        cycle_seconds = time.monotonic() - started
        total = 1 + args.sessions + args.cycles
        app.wait_count(captures, total, timeout=300)
        time.sleep(SETTLE)
        rss_cycles = memory_mib(app.proc.pid)
    finally:
        app.stop()

    print(f"Window switcher, {WINDOWS} windows of 800x600, Xvfb 1280x800 + openbox, {os.cpu_count()} cores")
    print(f"  Tillory Super+Tab   first session: mapped after {first_map:.1f} ms,"
          f" 50 thumbnails after {first_thumbs:.1f} ms")
    print(f"  Tillory Super+Tab   mapped        {spread(maps)}")
    print(f"  Tillory Super+Tab   first frame   {spread(paints)}")
    print(f"  Tillory Super+Tab   50 thumbnails {spread(thumbs)}")
    print(f"  openbox Alt+Tab     mapped        {spread(ob_maps)}")
    print(f"  openbox Alt+Tab     first frame   {spread(ob_paints)}   (icons only, no thumbnails)")
    print(f"  {args.cycles} more sessions took {cycle_seconds:.1f} s, {answer[2]} of them did not open or close")
    print("  Tillory resident memory (VmRSS / peak VmHWM, MiB):")
    print(f"    before the first session      {rss_start[0]:6.1f} / {rss_start[1]:6.1f}")
    print(f"    after the first session       {rss_first[0]:6.1f} / {rss_first[1]:6.1f}")
    print(f"    after {total:4d} sessions         {rss_cycles[0]:6.1f} / {rss_cycles[1]:6.1f}")


def session_with_thumbnails(probe, app, captures, n):
    """One timed session that stays open until all thumbnails have arrived."""
    answer = probe.ask("open super").split()
    t0, mapped, painted = (float(v) for v in answer[1:])
    app.wait_count(captures, n)
    thumbnails = app.stamps(captures)[n - 1] - t0
    if probe.ask("close super") != "closed":
        raise AssertionError("Tillory's panel did not close")
    return t0, mapped, painted, thumbnails


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--sessions", type=int, default=30)
    parser.add_argument("--cycles", type=int, default=1000)
    args = parser.parse_args()
    status = own_session_bus()
    if status is not None:
        return status
    try:
        desktop = Desktop("openbox", OPENBOX_RC)
    except Skip as why:
        print(f"cannot run: {why}")
        return 1
    try:
        measure(desktop, args)
    finally:
        desktop.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
