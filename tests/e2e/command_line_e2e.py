#!/usr/bin/env python3
"""Tillory's command line from a terminal without a desktop, and its start in a Wayland session: the options and
their exit statuses, the plain words instead of a toolkit abort when there is no display, and the Wayland notice
printed once while Tillory keeps running."""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Desktop, Skip  # noqa: E402
from keyboard_e2e import Tillory, check  # noqa: E402

NO_DESKTOP = "Tillory needs a desktop session"
WAYLAND = "Tillory is running in a Wayland session through XWayland"

# (arguments, extra environment, exit status, text on stdout, text on stderr)
CASES = [
    (["--help"], {}, 0, "--snapshot", ""),
    (["-h"], {}, 0, "Usage: tillory [options]", ""),
    (["--help"], {}, 0, "clipboard history", ""),
    (["--version"], {}, 0, "Tillory ", ""),
    (["--snapshot"], {}, 0, '"cpu"', ""),
    (["--snapshot", "--processes"], {}, 0, '"processes"', ""),
    (["--bogus"], {}, 2, "", "Unknown option 'bogus'"),
    (["--processes"], {}, 2, "", "--processes goes with --snapshot"),
    (["stray"], {}, 2, "", "Unexpected argument 'stray'"),
    (["--palette", "--snapshot"], {}, 2, "", "--palette goes alone"),
    (["--palette"], {"DBUS_SESSION_BUS_ADDRESS": "unix:path=/nonexistent"}, 1, "", "no session bus"),
    ([], {}, 1, "", "`tillory --snapshot` still"),
    ([], {"DISPLAY": ":4711"}, 1, "", NO_DESKTOP),
    ([], {"WAYLAND_DISPLAY": "wayland-0", "XDG_SESSION_TYPE": "wayland"}, 1, "", "runs through XWayland"),
]


def without_desktop(tillory):
    base = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE")}
    for args, extra, status, out, err in CASES:
        result = subprocess.run([tillory, *args], env={**base, **extra}, capture_output=True, text=True, timeout=30)
        what = f"tillory {' '.join(args)} with {extra or 'no display'}"
        check(result.returncode == status, f"{what}: exit {status} (got {result.returncode}: {result.stderr})")
        check(out in result.stdout and err in result.stderr, f"{what}: says {out or err!r}")
        check("abort" not in result.stderr.lower(), f"{what}: no toolkit abort")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wayland_session(tillory):
    desktop = Desktop()
    try:
        app = Tillory(desktop, tillory, desktop.tmp, XDG_SESSION_TYPE="wayland", WAYLAND_DISPLAY="wayland-0",
                      QT_QPA_PLATFORM="wayland")
        before = cpu_seconds(app.proc.pid)
        time.sleep(3)
        check(app.proc.poll() is None, "Tillory keeps running in a Wayland session")
        check(cpu_seconds(app.proc.pid) - before < 1.5, "and does not spin")
        check(app.output().count(WAYLAND) == 1, "the Wayland notice is printed once")
        check("keyboard chords" in app.output() and "system monitor" in app.output(),
              "it names what needs X11 and what still works")
        app.proc.terminate()
        check(app.proc.wait(30) == 0, "SIGTERM quits it cleanly")
        app.log.close()
    finally:
        desktop.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    args = parser.parse_args()
    without_desktop(args.tillory)
    try:
        wayland_session(args.tillory)
    except Skip as why:
        print(f"SKIPPED the Wayland session: {why}")
        return 77
    print("command line end-to-end: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
