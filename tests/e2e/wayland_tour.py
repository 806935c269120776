#!/usr/bin/env python3
"""Takes the pictures of Tillory's overlays on sway for the README: inside a headless sway with a bar (run through
scripts/tour.sh --wayland), a few windows and a media player of our own, each overlay is opened as a person would
and the screen written as a PNG into --out, cropped to the overlay where the rest says nothing. Reuses the Wayland
session test's helpers, so an overlay is found the way its test finds it."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wayland_session_e2e import (HERE, Keys, Tillory, copy, overlay_rect, place_window, start_bar,  # noqa: E402
                                 wait_for)

SCREEN = (1280, 720)


class Tour:
    def __init__(self, args, home):
        self.args = args
        self.home = home
        self.out = args.out
        self.procs = []

    def save(self, name, box=None, margin=16):
        """Writes the screen (or `box`, x y w h, with a margin of desktop around it) as <out>/<name>.png."""
        path = os.path.join(self.out, f"{name}.png")
        raw = os.path.join(self.home, "shot.png")
        subprocess.run(["grim", raw], check=True, timeout=20)
        command = ["convert", raw]
        if box:
            x, y, w, h = box
            x0, y0 = max(0, x - margin), max(0, y - margin)
            x1, y1 = min(SCREEN[0], x + w + margin), min(SCREEN[1], y + h + margin)
            command += ["-crop", f"{x1 - x0}x{y1 - y0}+{x0}+{y0}", "+repage"]
        subprocess.run([*command, "-strip", path], check=True)
        if shutil.which("optipng"):
            subprocess.run(["optipng", "-quiet", "-o2", path], check=False)
        print(f"wrote {path} ({os.path.getsize(path) // 1024} KB)", flush=True)

    def client(self, title, *extra):
        env = {**os.environ, "QT_QPA_PLATFORM": "wayland", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
        proc = subprocess.Popen([self.args.client, "--title", title, "--class", title, *extra], env=env,
                                stdout=subprocess.DEVNULL)
        self.procs.append(proc)
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        wait_for(lambda: f'"name": "{title}"' in tree(), 15, f"the window {title}")
        return proc

    def terminal(self, title, command):
        """A foot terminal showing what `command` printed; a plain window where foot is missing."""
        if not shutil.which("foot"):
            return self.client(title)
        proc = subprocess.Popen(["foot", "--title", title, "--app-id", title.lower(), "sh", "-c",
                                 f"{command}; exec sleep 600"], cwd=os.path.join(HERE, "..", ".."),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(proc)
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        wait_for(lambda: f'"name": "{title}"' in tree(), 15, f"the window {title}")
        return proc

    def sway(self, command):
        subprocess.run(["swaymsg", command], capture_output=True, timeout=10)

    def keyboard_overlay(self, app, lines):
        """Types `lines` and waits until an overlay holds the keyboard."""
        entered = app.output().count("an overlay has the keyboard")
        self.keys(*lines)
        wait_for(lambda: app.output().count("an overlay has the keyboard") > entered, 15, "the overlay to open")
        time.sleep(0.8)  # pictures and fades come in

    def run(self):
        bar, _ = start_bar(self.home)
        self.keys = Keys(self.args.keys)
        app = Tillory(self.args.tillory, self.home)
        try:
            wait_for(lambda: "watching the clipboard" in app.output(), 15, "Tillory to start")
            # What's New comes up at a first start: put away for the pictures.
            time.sleep(1.5)
            self.sway('[title="^What.s New"] kill')
            for text in (b"git commit -m 'Snap on Wayland'", b"https://example.org/release-notes",
                         b"Meeting moved to 15:30", b"sudo apt install sway"):
                copy(data=text)
                time.sleep(0.4)

            self.terminal("Notes", "head -c 2400 README.md | fold -s -w 60")
            self.terminal("Terminal", "ls -l --color=never src/app src/clipboard | head -40")
            self.sway("[title=^Notes$] focus")
            time.sleep(1.0)  # the screen is copied a moment after the focus moves: the tiles' pictures
            self.keyboard_overlay(app, ["down Super_L", "down Tab", "up Tab"])
            self.save("wayland-switcher", overlay_rect(app, "switcher"))
            self.keys("up Super_L")
            time.sleep(0.5)

            self.client("Editor")
            place_window("Editor", (380, 420, 520, 80))
            self.sway("[title=^Editor$] focus")
            self.keys("down t", "up t", "down i", "up i", "down l", "up l")
            time.sleep(0.5)
            self.keyboard_overlay(app, ["down Super_L", "down v"])
            self.keys("up v")
            x, y, w, h = overlay_rect(app, "palette")
            self.save("wayland-palette", (min(x, 380), y, max(x + w, 900) - min(x, 380), 420 + 80 - y))
            self.keys("down Escape", "up Escape", "up Super_L")
            time.sleep(0.5)

            self.keyboard_overlay(app, ["down Control_L", "down Alt_L", "down z", "up z"])
            self.save("wayland-snap-picker", overlay_rect(app, "snap"))
            self.keys("down Escape", "up Escape", "up Alt_L", "up Control_L")
            time.sleep(0.5)

            covers = os.path.join(self.home, "covers")
            os.makedirs(covers, exist_ok=True)
            player = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "mpris_player.py"), "--name",
                                       "tourplayer", "--dir", covers, "--colours", "c2410c", "0e7490", "7c3aed"],
                                      stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
            self.procs.append(player)
            player.stdout.readline()
            time.sleep(2.0)
            self.keys("move 640,500", "move 640,6")
            time.sleep(1.2)
            self.save("wayland-island", (400, 0, 480, 160), margin=0)
            self.keys("move 640,500")
            time.sleep(1.0)
            self.save("wayland-desktop")
        finally:
            for proc in self.procs:
                if proc.stdin:
                    proc.stdin.close()
                proc.terminate()
                proc.wait(10)
            app.quit()
            self.keys.close()
            if bar:
                bar.terminate()
                bar.wait(10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--keys", required=True, help="the test keyboard and pointer (tillory_wl_keys)")
    parser.add_argument("--client", required=True, help="the stand-in application (tillory_text_client)")
    parser.add_argument("--out", default="docs")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    with tempfile.TemporaryDirectory(prefix="tillory-tour-") as home:
        Tour(args, home).run()


if __name__ == "__main__":
    main()
