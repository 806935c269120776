#!/usr/bin/env python3
"""Tillory's tray panel on a real X server with a tray host: a click on the icon opens the panel under it, Escape,
a click elsewhere and a second click on the icon close it, and a switch flipped on the home page is stored and
still off after a restart. Screenshots go to --out."""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Desktop, Skip, wait_for  # noqa: E402
from keyboard_e2e import Tillory, check, screenshot  # noqa: E402

PANEL_SIZE = (324, 640)


def panel(app):
    """The panel's frame when it shows, else None."""
    for frame in app.visible_windows():
        if frame[2:] == PANEL_SIZE:
            return frame
    return None


def pixel(path, x, y):
    out = subprocess.run(["convert", path, "-crop", f"1x1+{x}+{y}", "-depth", "8", "rgb:-"], capture_output=True,
                         check=True).stdout
    return tuple(out[:3])


def is_blue(rgb):
    r, g, b = rgb
    return b > 180 and r < 80


def first_switch(path, x, top, bottom):
    """The middle of the first blue run down column `x`: the "Window Switcher" switch, which is on."""
    out = subprocess.run(["convert", path, "-crop", f"1x{bottom - top}+{x}+{top}", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    blue = [is_blue(tuple(out[i:i + 3])) for i in range(0, len(out) - 2, 3)]
    start = blue.index(True)
    end = blue.index(False, start)
    return top + (start + end) // 2


def open_panel(desktop, app, icon):
    desktop.run(["xdotool", "mousemove", str(icon[0]), str(icon[1]), "click", "1"])
    return wait_for(lambda: panel(app), 10, "the panel to open")


def wait_closed(app, what):
    wait_for(lambda: panel(app) is None, 5, f"the panel to close on {what}")


def stored(home, key):
    with open(os.path.join(home, "config", "Tillory", "Tillory.conf")) as f:
        for line in f:
            if line.startswith(key + "="):
                return line.strip().split("=", 1)[1]
    return None


def run(desktop, tillory_bin, out):
    icon = desktop.start_tray()
    if icon is None:
        raise Skip("trayer is not installed")
    home = desktop.tmp
    app = Tillory(desktop, tillory_bin, home)
    time.sleep(1)  # the icon is embedded after start-up

    frame = open_panel(desktop, app, icon)
    # Centred under the icon would cross the right edge: kept 8 points inside it, 6 below the tray.
    check(frame[0] == 1280 - 324 - 8, f"the panel's left edge: {frame}")
    check(24 <= frame[1] <= 36, f"the panel hangs just below the tray: {frame}")
    time.sleep(0.6)
    shot = os.path.join(out, "panel-e2e-open.png")
    screenshot(desktop, shot)
    # Switch rows are 30 apart; the track's middle is 27 in from the sheet's right edge, its top 8 above the
    # middle, clear of the knob.
    x = frame[0] + 12 + 300 - 27
    switch = (x, first_switch(shot, x - 10, frame[1], frame[1] + 640) + 30)  # "Snap Layouts"
    track = (switch[0], switch[1] - 8)
    check(is_blue(pixel(shot, *track)), f"the snap switch shows on: {pixel(shot, *track)}")

    desktop.key("Escape")
    wait_closed(app, "Escape")

    open_panel(desktop, app, icon)
    time.sleep(0.5)
    desktop.run(["xdotool", "mousemove", str(icon[0]), str(icon[1]), "click", "1"])
    wait_closed(app, "a second click on the icon")
    time.sleep(1)
    check(panel(app) is None, "the click that closed the panel did not open it again")

    open_panel(desktop, app, icon)
    time.sleep(0.5)
    desktop.run(["xdotool", "mousemove", str(switch[0]), str(switch[1]), "click", "1"])
    wait_for(lambda: stored(home, "snapEnabled") == "false", 5, "snapEnabled=false stored")
    desktop.run(["xdotool", "mousemove", "200", "500", "click", "1"])
    wait_closed(app, "a click elsewhere")
    app.stop()

    # The wrapper writes the settings file afresh: it is given what the first run stored.
    app = Tillory(desktop, tillory_bin, home, settings={"snapEnabled": stored(home, "snapEnabled")})
    time.sleep(1)
    frame = open_panel(desktop, app, icon)
    time.sleep(0.6)
    shot = os.path.join(out, "panel-e2e-restarted.png")
    screenshot(desktop, shot)
    check(not is_blue(pixel(shot, *track)), f"the snap switch shows off after a restart: {pixel(shot, *track)}")
    app.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--out", default=".")
    args = parser.parse_args()
    try:
        desktop = Desktop()
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    try:
        run(desktop, args.tillory, args.out)
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    finally:
        desktop.close()
    print("panel end-to-end: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
