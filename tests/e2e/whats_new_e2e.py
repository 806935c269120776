#!/usr/bin/env python3
"""Tillory's what's-new window on a real X server: the first start of a version opens it centred on the screen,
"Continue" closes it and remembers the version, and the next start of that version leaves it shut. Screenshots go
to --out."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import run_on_desktop, wait_for  # noqa: E402
from keyboard_e2e import Tillory, check, running_version, screenshot  # noqa: E402
from panel_e2e import stored  # noqa: E402

WIDTH = 420


def whats_new(app):
    return next((w for w in app.visible_windows() if w[2] == WIDTH), None)


def run(desktop, tillory_bin, out):
    home = desktop.tmp
    version = running_version(tillory_bin)
    app = Tillory(desktop, tillory_bin, home, settings={"lastSeenWhatsNewVersion": "0.0.1"})
    wait_for(lambda: whats_new(app), 10, "the what's-new window")
    time.sleep(0.5)
    x, y, w, h = whats_new(app)
    check(abs(x - (1280 - WIDTH) // 2) <= 1 and 0 <= y and y + h <= 800 and abs(y + h // 2 - 400) <= 30,
          f"centred on the 1280 × 800 screen: {(x, y, w, h)}")
    time.sleep(0.5)
    screenshot(desktop, os.path.join(out, "whats-new-e2e.png"))
    # The window is taller than this screen: its content scrolls, and "Continue" is last.
    desktop.run(["xdotool", "mousemove", str(x + w // 2), str(y + h // 2), "click", "--repeat", "12", "5"])
    time.sleep(0.5)
    desktop.run(["xdotool", "mousemove", str(x + w // 2), str(y + h - 28 - 17), "click", "1"])
    wait_for(lambda: whats_new(app) is None, 5, "Continue to close the window")
    app.stop()
    check(stored(home, "lastSeenWhatsNewVersion") == version, f"{version} remembered")

    app = Tillory(desktop, tillory_bin, home, settings={"lastSeenWhatsNewVersion": version})
    time.sleep(2)
    check(whats_new(app) is None, "the window stays shut for a version already seen")
    app.stop()


if __name__ == "__main__":
    sys.exit(run_on_desktop(run, "what's-new"))
