#!/usr/bin/env python3
"""Tillory's resident memory once each of its views has been shown, beside a peer clipboard manager's.

  python3 bench/view_memory_compare.py --tillory build/release/src/app/tillory \
      --client build/release/tests/tillory_text_client [--peer parcellite] [--gpu] [--artifacts DIR]

Runs on its own Xvfb with openbox and a tray host, under its own session bus. Tillory is started, two copies are
made, the palette is opened by holding Super+V over a text field and closed, and the keyboard-cleaning lock is
started from the tray menu and ended with its slider; VmRSS, VmHWM and the thread count are read from /proc after
each step. The peer (a single-purpose clipboard manager from Debian's packages; installed with apt-get when missing
and running as root) gets the same copies and shows its history once. `--gpu` runs Tillory a second time with the
GPU scene graph (QT_QUICK_BACKEND=rhi) for comparison. Screenshots of the palette and the overlay go to
`--artifacts`."""

import argparse
import os
import subprocess
import sys
import time

# measure puts tests/e2e on the path.
from measure import ensure_peer, memory_mib as memory, own_session_bus, write_settings
from harness import Desktop, Skip, wait_for
from keyboard_e2e import Client, copy, drag, hold_super_v, knob_centre, release_super, screenshot

SETTLE = 3  # seconds after each step before reading: late allocations and freed memory show by then
SHOWN = 0.6  # seconds from a view's first frame to its screenshot: fades and first paints are done by then
LIMIT_MIB = 60  # what Tillory should stay under with every view shown once


class Tillory:
    def __init__(self, desktop, binary, home, extra_env):
        config = os.path.join(home, "config")
        write_settings(config, binary)
        self.log_path = os.path.join(home, f"tillory-{time.monotonic_ns()}.log")
        self.log = open(self.log_path, "w")
        env = desktop.env(XDG_CONFIG_HOME=config, XDG_DATA_HOME=os.path.join(home, "data"),
                          QT_LOGGING_RULES="tillory.clipboard.debug=true", **extra_env)
        self.desktop = desktop
        self.proc = desktop.spawn([binary], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        self.wait_line("the pasteboard")
        self.tray = None

    def output(self):
        with open(self.log_path) as f:
            return f.read()

    def wait_line(self, text, count=1):
        def seen():
            if self.proc.poll() is not None:
                raise AssertionError(f"Tillory exited ({self.proc.returncode}):\n{self.output()}")
            return self.output().count(text) >= count
        wait_for(seen, 10, repr(text))

    def visible_windows(self):
        found = self.desktop.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)], check=False)
        windows = []
        for wid in found.split():
            shell = self.desktop.run(["xdotool", "getwindowgeometry", "--shell", wid], check=False)
            values = dict(line.split("=", 1) for line in shell.splitlines() if "=" in line)
            if "WIDTH" in values:
                windows.append(tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
        return windows

    def palette(self):
        return next((w for w in self.visible_windows() if w[2] == 360), None)

    def overlay(self):
        return any(w[2] == 1280 and w[3] == 800 for w in self.visible_windows())

    def stop(self):
        self.proc.terminate()
        self.proc.wait(30)
        self.log.close()


def measure_tillory(desktop, args, tray, editor, label, extra_env):
    home = os.path.join(desktop.tmp, label)
    os.makedirs(home)
    app = Tillory(desktop, args.tillory, home, extra_env)
    rows = []
    try:
        for n, text in enumerate(("alpha", "beta"), 1):
            copy(desktop, text)
            app.wait_line("recorded copy of", n)
        time.sleep(SETTLE)
        rows.append(("started, two copies", *memory(app.proc.pid)))

        editor.activate()
        hold_super_v(desktop, app)
        time.sleep(SHOWN)
        screenshot(desktop, os.path.join(args.artifacts, f"bench-palette-{label}.png"))
        desktop.key("Escape")
        release_super(desktop)
        wait_for(lambda: app.palette() is None, 5, "the palette to close")
        time.sleep(SETTLE)
        rows.append(("palette shown once", *memory(app.proc.pid)))

        desktop.run(["xdotool", "mousemove", *map(str, tray), "click", "3"])
        wait_for(lambda: any(w[2] > 60 and w[3] > 20 for w in app.visible_windows()), 5, "the tray menu")
        desktop.key("Down", "Return")
        wait_for(app.overlay, 5, "the cleaning overlay")
        shot = os.path.join(args.artifacts, f"bench-keyboard-cleaning-{label}.png")

        def knob():
            screenshot(desktop, shot)
            try:
                return knob_centre(desktop, shot)
            except AssertionError:
                return None
        start = wait_for(knob, 5, "the slider to be drawn")
        time.sleep(SHOWN)
        screenshot(desktop, shot)
        drag(desktop, start, 240)
        wait_for(lambda: not app.overlay(), 5, "the lock to end")
        time.sleep(SETTLE)
        rows.append(("lock started and ended", *memory(app.proc.pid)))
    finally:
        app.stop()
    return rows


def measure_peer(desktop, args, editor):
    env = desktop.env(HOME=os.path.join(desktop.tmp, "peer"))
    os.makedirs(env["HOME"])
    peer = desktop.spawn([args.peer], env=env)
    rows = []
    try:
        time.sleep(SETTLE)  # no log to wait on: give it the time Tillory's start-up had
        for text in ("alpha", "beta"):
            copy(desktop, text)
            time.sleep(1)
        time.sleep(SETTLE)
        rows.append(("started, two copies", *memory(peer.pid)))
        editor.activate()
        desktop.key("ctrl+alt+h")  # the history popup's usual hotkey
        time.sleep(1)
        screenshot(desktop, os.path.join(args.artifacts, f"bench-peer-{args.peer}.png"))
        desktop.key("Escape")
        time.sleep(SETTLE)
        rows.append(("history shown once", *memory(peer.pid)))
    finally:
        peer.terminate()
        peer.wait(10)
    return rows


def print_table(columns):
    print(f"{'program':26} {'after':26} {'RSS MiB':>8} {'peak MiB':>9} {'threads':>8}")
    for name, rows in columns:
        for step, rss, hwm, threads in rows:
            print(f"{name:26} {step:26} {rss:8.1f} {hwm:9.1f} {threads:8d}")


def run(desktop, args):
    desktop.run(["xset", "r", "off"])
    tray = desktop.start_tray()
    if tray is None:
        raise Skip("trayer is not installed (the lock is started from the tray menu)")
    editor = Client(desktop, args.client, "--class", "editor", "--geometry", "500x60+100+100")
    columns = [("Tillory", measure_tillory(desktop, args, tray, editor, "default", {}))]
    if args.gpu:
        columns.append(("Tillory, GPU scene graph",
                        measure_tillory(desktop, args, tray, editor, "gpu", {"QT_QUICK_BACKEND": "rhi"})))
    if ensure_peer(args.peer):
        columns.append((args.peer, measure_peer(desktop, args, editor)))
    print_table(columns)
    worst = max(rss for _, rss, _, _ in columns[0][1])
    peer = f"; {columns[-1][0]} with its history shown once: {columns[-1][1][-1][1]:.1f} MiB" \
        if columns[-1][0] == args.peer else ""
    print(f"Tillory with every view shown once: {worst:.1f} MiB resident "
          f"({'under' if worst < LIMIT_MIB else 'OVER'} the {LIMIT_MIB} MiB goal){peer}")
    return 0 if worst < LIMIT_MIB else 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--client", required=True, help="tests/tillory_text_client from the same build")
    parser.add_argument("--peer", default="parcellite")
    parser.add_argument("--gpu", action="store_true", help="also measure with the GPU scene graph")
    parser.add_argument("--artifacts", default=os.getcwd())
    args = parser.parse_args()
    status = own_session_bus()
    if status is not None:
        return status
    try:
        desktop = Desktop()
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    try:
        desktop.start_accessibility_bus()
        return run(desktop, args)
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    finally:
        desktop.close()


if __name__ == "__main__":
    sys.exit(main())
