#!/usr/bin/env python3
"""Tillory on a sway with two outputs side by side (tests/wayland/sway-session.sh --outputs 2 --bar runs this
script there): the keyboard-cleaning lock, started from the panel that the tray icon opens, dims both outputs and
takes every key, and the compositor's own bindings stay quiet while it is on."""

import argparse
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wayland_session_e2e import Keys, Tillory, check, screenshot, start_bar, tray_items, wait_for  # noqa: E402

import subprocess  # noqa: E402

# The panel drops at the centre of the output it opens on; its Keyboard Cleaning card sits 486 px down (measured on
# the 1280 x 720 output: the home page's card rows do not move).
CLEANING_CARD = (640, 486)


def brightness(pixel, x, y):
    return sum(pixel(x, y))


def run(args, home):
    bar, _ = start_bar(home)
    if not bar:
        print("SKIPPED: swaybar or grim is not installed")
        return
    keys = Keys(args.keys, "--extent", "2560x720")
    app = Tillory(args.tillory, home)
    fired = os.path.join(home, "fired")
    try:
        wait_for(lambda: "watching the clipboard" in app.output(), 15, "Tillory to start")
        time.sleep(1.5)
        subprocess.run(["swaymsg", '[title="^What.s New"] kill'], capture_output=True, timeout=10)
        wait_for(lambda: ":1." in tray_items(), 15, "the status icon in the bar")
        os.chmod(home, 0o777)
        subprocess.run(["swaymsg", f"bindsym Mod4+x exec touch {fired}"], capture_output=True, timeout=10)
        time.sleep(1.0)
        before = screenshot(home)
        # (x, y) inside each output, away from the bar, the island and the panel.
        probes = [(200, 300), (1280 + 200, 300), (1280 + 1000, 600)]
        # The tray's icon at the right end of the first output's bar; the panel opens on that output.
        keys("move 1268,707", "click left")
        wait_for(lambda: '"name": "Tillory"' in subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True,
                                                                 text=True).stdout, 10, "the panel to open")
        time.sleep(0.8)
        keys(f"move {CLEANING_CARD[0]},{CLEANING_CARD[1]}", "click left")
        wait_for(lambda: app.output().count("an overlay has the keyboard") > 0, 10, "the lock to take the keyboard")
        time.sleep(0.8)
        dimmed = screenshot(home)
        for x, y in probes:
            check(brightness(dimmed, x, y) < brightness(before, x, y),
                  f"the output under ({x},{y}) is dimmed ({before(x, y)} -> {dimmed(x, y)})")
        keys("down Super_L", "down x", "up x", "up Super_L")
        time.sleep(0.8)
        check(not os.path.exists(fired), "sway's own Super+x binding does not fire while the lock is on")
    finally:
        app.quit()
        keys.close()
        bar.terminate()
        bar.wait(10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--keys", required=True)
    args = parser.parse_args()
    if not os.environ.get("SWAYSOCK"):
        print("run it inside tests/wayland/sway-session.sh --outputs 2 --bar")
        return 77
    with tempfile.TemporaryDirectory(prefix="tillory-outputs-") as home:
        run(args, home)
    return 0


if __name__ == "__main__":
    sys.exit(main())
