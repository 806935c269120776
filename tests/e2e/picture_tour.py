#!/usr/bin/env python3
"""Takes the pictures of Tillory's views for the README: a virtual 1280 x 800 display with openbox, a tray host,
a few windows and a media player of our own, then each view opened as a person would and written as a PNG into
--out (cropped to the view where the rest of the screen says nothing). Reuses the end-to-end tests' helpers, so a
view that moves is found the same way its test finds it. Run it through scripts/tour.sh."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Desktop, Skip, wait_for  # noqa: E402
from keyboard_e2e import (Client, Tillory, copy, drag, hold_super_v, knob_centre, release_super,  # noqa: E402
                          screenshot)
from notch_e2e import CARD, LEFT_WING, MUSIC_COLOURS, STRIP, Player, Shot, near  # noqa: E402
from panel_e2e import (CPU_CHIP, CPU_RING, FOOTER_ABOVE_BOTTOM, PANEL_SIZE, QUIT_X, click, is_blue,  # noqa: E402
                       open_panel, panel, pixel, settled_layout, wait_rows)
from snap_e2e import OPENBOX_RC, Snapper, bar_zone_centre, place, workarea  # noqa: E402
from switcher_e2e import Switcher  # noqa: E402

CSD_CLIENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "csd_client.py")
SCREEN = (1280, 800)
BUSY_APP = """
import gi
gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk
window = Gtk.Window(title="Render")
window.set_wmclass("render", "Render")
window.set_default_size(220, 120)
window.move(700, 560)
window.show_all()
GLib.idle_add(lambda: sum(range(200000)) >= 0)
Gtk.main()
"""
SHORTCUTS_X = QUIT_X - 20 - 2 - 30  # inside the footer's Shortcuts button, left of Quit


class Tour:
    def __init__(self, desktop, tillory, out):
        self.desktop = desktop
        self.tillory = tillory
        self.out = out
        self.raw = os.path.join(desktop.tmp, "shot.png")
        self.home = desktop.tmp
        self.app = None
        self.made = []

    # Pictures

    def save(self, name, box=None, margin=16, shot=None):
        """Writes the screen (or `box`, x y w h, with a margin of desktop around it) as docs/<name>.png."""
        if shot is None:
            screenshot(self.desktop, self.raw)
            shot = self.raw
        path = os.path.join(self.out, f"{name}.png")
        args = ["convert", shot]
        if box:
            x, y, w, h = box
            x0, y0 = max(0, x - margin), max(0, y - margin)
            x1, y1 = min(SCREEN[0], x + w + margin), min(SCREEN[1], y + h + margin)
            args += ["-crop", f"{x1 - x0}x{y1 - y0}+{x0}+{y0}", "+repage"]
        subprocess.run([*args, "-strip", path], check=True)
        for tool, options in (("optipng", ["-quiet", "-o2"]), ("pngcrush", ["-q", "-ow"])):
            if shutil.which(tool):
                subprocess.run([tool, *options, path], check=False)
                break
        self.made.append(path)
        print(f"wrote {path} ({os.path.getsize(path) // 1024} KB)", flush=True)

    # Set-up

    def start(self, settings=None):
        if self.app:
            self.app.stop()
        self.app = Tillory(self.desktop, self.tillory, self.home, settings)
        time.sleep(1)  # the tray icon is embedded after start-up

    def windows(self):
        d = self.desktop
        d.run(["xsetroot", "-solid", "#406080"])
        others = [["xeyes", "-geometry", "180x140+1060+620"],
                  ["xterm", "-geometry", "90x22+40+420", "-title", "Terminal", "-bg", "#1e1e1e", "-fg", "#d0d0d0",
                   "-e", "sh", "-c", "ls -l /usr/share; exec sh"]]
        others = [args for args in others if shutil.which(args[0])]
        for args in others:
            d.spawn(args)
        self.gtk = [Client(d, "/usr/bin/python3", CSD_CLIENT, "--title", title, "--geometry", geometry).window
                    for title, geometry in (("Notes", "520x340+120+80"), ("Mail", "560x360+560+160"))]
        wait_for(lambda: len(self.client_names()) >= 2 + len(others), 10, "the windows")

    def client_names(self):
        out = self.desktop.run(["xprop", "-root", "_NET_CLIENT_LIST"], check=False)
        ids = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out)]
        return {w: self.desktop.run(["xdotool", "getwindowname", str(w)], check=False).strip() for w in ids}

    # Views

    def palette(self):
        for text in ("Meeting moved to 3 pm", "https://example.org/notes", "git log --oneline", "42 Main Street"):
            recorded = self.app.output().count("recorded copy of")
            copy(self.desktop, text)
            self.app.wait_line("recorded copy of", recorded + 1)
        self.desktop.run(["xdotool", "mousemove", "400", "200"])
        frame = hold_super_v(self.desktop, self.app)
        time.sleep(0.6)
        self.save("palette", frame, margin=40)
        self.desktop.key("Escape")
        release_super(self.desktop)
        wait_for(lambda: self.app.palette() is None, 5, "the palette to close")

    def cleaning_lock(self):
        self.desktop.run(["xdotool", "mousemove", *map(str, self.tray), "click", "3"])
        wait_for(lambda: any(w[2] > 60 and w[3] > 20 for w in self.app.visible_windows()), 5, "the tray menu")
        self.desktop.key("Down", "Return")
        wait_for(lambda: any(w[2:] == SCREEN for w in self.app.visible_windows()), 5, "the cleaning overlay")

        def knob():
            screenshot(self.desktop, self.raw)
            try:
                return knob_centre(self.desktop, self.raw)
            except AssertionError:
                return None
        centre = wait_for(knob, 5, "the slider")
        time.sleep(0.5)
        self.save("cleaning-lock")
        drag(self.desktop, centre, 260)
        wait_for(lambda: not any(w[2:] == SCREEN for w in self.app.visible_windows()), 5, "the lock to end")

    def panel_pages(self):
        d = self.desktop
        frame = open_panel(d, self.app, self.tray)
        shot, (bottom, groups, _) = settled_layout(d, frame, d.tmp, "home.png")
        # The tray host above the panel belongs in the picture: it says where the panel comes from.
        box = (frame[0], 0, SCREEN[0] - frame[0], bottom)
        self.save("panel-home", box, shot=shot)
        card = groups[2]
        click(d, frame[0] + 160, (card[0] + card[1]) // 2)
        shot, _ = wait_rows(d, frame, d.tmp, "clipboard.png", 4)
        _, (bottom, _, _) = settled_layout(d, frame, d.tmp, "clipboard.png")
        self.save("panel-clipboard", (frame[0], 0, SCREEN[0] - frame[0], bottom))
        d.key("Escape")
        wait_for(lambda: panel(self.app) is None, 5, "the panel to close")

        # A busy application with a window, so the dashboard's Apps scope has something to name.
        spinner = d.spawn(["/usr/bin/python3", "-c", BUSY_APP])
        try:
            # Its window takes the focus when it maps, which closes a panel already open.
            wait_for(lambda: d.run(["xdotool", "search", "--onlyvisible", "--name", "^Render$"], check=False).strip(),
                     10, "the busy application's window")
            time.sleep(0.5)  # the window manager hands it the focus just after mapping it
            frame = open_panel(d, self.app, self.tray)
            time.sleep(2)
            click(d, frame[0] + CPU_RING[0], frame[1] + CPU_RING[1])

            def on_cpu():
                screenshot(d, self.raw)
                return is_blue(pixel(self.raw, frame[0] + CPU_CHIP[0], frame[1] + CPU_CHIP[1]))
            wait_for(on_cpu, 10, "the dashboard on CPU")
            time.sleep(2.5)  # a few ticks: the history graph and the process list fill in
            _, (bottom, _, _) = settled_layout(d, frame, d.tmp, "dashboard.png")
            self.save("panel-dashboard", (frame[0], 0, SCREEN[0] - frame[0], bottom))
        finally:
            spinner.kill()
            spinner.wait()
        d.key("Escape")
        wait_for(lambda: panel(self.app) is None, 5, "the panel to close")

        frame = open_panel(d, self.app, self.tray)
        _, (bottom, _, _) = settled_layout(d, frame, d.tmp, "home.png")
        before = set(self.app.visible_windows())
        click(d, frame[0] + SHORTCUTS_X, bottom - FOOTER_ABOVE_BOTTOM)
        window = wait_for(lambda: next((w for w in self.app.visible_windows()
                                        if w not in before and w[2:] != PANEL_SIZE and w[2] > 200), None),
                          10, "the shortcuts window")
        time.sleep(1)
        window = next((w for w in self.app.visible_windows() if w[2] > 200 and w[2:] != PANEL_SIZE), window)
        self.save("shortcuts", window, margin=24)
        self.close_windows()

    def close_windows(self):
        """Asks the window manager to close Tillory's windows, as their title bar's close button does."""
        for wid in self.desktop.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.app.proc.pid)],
                                    check=False).split():
            self.desktop.run(["wmctrl", "-i", "-c", wid], check=False)
        wait_for(lambda: not any(w[2] > 200 for w in self.app.visible_windows()), 5, "Tillory's windows to close")

    def switcher(self):
        d = self.desktop
        d.run(["xdotool", "windowactivate", "--sync", str(self.gtk[1])])
        switcher = Switcher(d, self.app, self.client_names())
        switcher.open()
        wait_for(lambda: "first frame of the session shown" in self.app.output(), 5, "the switcher's first frame")
        time.sleep(0.8)  # the window pictures arrive one by one
        self.save("switcher", switcher.panel(), margin=40)
        d.run(["xdotool", "key", "Escape", "keyup", "super"])
        switcher.wait_closed()

    def snap(self):
        d = self.desktop
        area = workarea(d)
        snap = Snapper(d, self.app)
        notes, mail = self.gtk
        place(d, mail, (700, 380, 520, 320))
        place(d, notes, (380, 240, 520, 340))
        snap.drag(notes, bar_zone_centre(area, 2, 1), held=lambda: (snap.wait_panel(True, "the layout bar"),
                                                                     time.sleep(0.5), self.save("snap-overlay")))
        snap.wait_panel(True, "Snap Assist after the drop")
        time.sleep(0.8)
        self.save("snap-assist")
        d.key("Escape")
        snap.wait_panel(False, "Snap Assist to close")

        place(d, notes, (380, 240, 520, 340))
        d.key("ctrl+alt+z")
        snap.wait_panel(True, "the layout picker")
        time.sleep(0.6)
        self.save("snap-picker")
        d.key("Escape")
        snap.wait_panel(False, "the picker to close")

    def whats_new(self):
        self.start({"lastSeenWhatsNewVersion": "0.0.1"})
        window = wait_for(lambda: next((w for w in self.app.visible_windows() if w[2] == 420), None), 10,
                          "the what's-new window")
        time.sleep(1)
        window = next((w for w in self.app.visible_windows() if w[2] == 420), window)
        self.save("whats-new", window, margin=24)

    def island(self):
        self.player = Player(self.desktop, "tillorytour", "--colours", *MUSIC_COLOURS, "--volume", "0.5")
        self.start({"notchEnabled": "true"})
        self.desktop.run(["xdotool", "mousemove", "640", "600"])
        area = (STRIP[0] - 110, 0, STRIP[2] + 220, 60)

        def shows(rect, minimum):
            shot = Shot(self.desktop, self.raw)
            return shot.count(rect, near(MUSIC_COLOURS[0])) >= minimum
        wait_for(lambda: shows(LEFT_WING, 40), 15, "the track's cover on the island")
        time.sleep(0.5)
        self.save("island-collapsed", area, margin=0)
        self.desktop.run(["xdotool", "mousemove", "640", "16"])
        wait_for(lambda: shows((CARD[0] + 14, CARD[1] + 11, 52, 52), 1500), 10, "the expanded card")
        time.sleep(0.8)
        self.save("island-expanded", (area[0], 0, area[2], 170), margin=0)

    def run(self):
        self.tray = self.desktop.start_tray()
        if self.tray is None:
            raise Skip("trayer is not installed")
        self.desktop.run(["xset", "r", "off"])
        self.start()
        self.windows()
        for view in (self.palette, self.cleaning_lock, self.panel_pages, self.switcher, self.snap, self.whats_new,
                     self.island):
            view()
        self.app.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv])
    os.makedirs(args.out, exist_ok=True)
    try:
        desktop = Desktop(manager_config=OPENBOX_RC.format(double=""))
    except Skip as why:
        print(f"cannot take the pictures: {why}", file=sys.stderr)
        return 1
    tour = Tour(desktop, os.path.abspath(args.tillory), os.path.abspath(args.out))
    try:
        desktop.start_accessibility_bus()
        tour.run()
    except (AssertionError, Skip) as failure:
        log = tour.app.output()[-3000:] if tour.app else ""
        print(f"the tour stopped: {failure}\n{log}", file=sys.stderr)
        return 1
    finally:
        desktop.close()
    print(f"{len(tour.made)} pictures in {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
