#!/usr/bin/env python3
"""The window switcher on a real X server under a given window manager (openbox or icewm), with four windows of our
text client, typed with xdotool: Super+Tab opens the panel on the second most recent window and letting go of Super
switches to it; Tab steps, Super+Shift+Tab opens on the last, Escape switches nothing, a click on a tile switches;
a window closed while the panel is open breaks nothing; a minimised window and one on another workspace come
forward; no session lists a window of Tillory's; xlogo, which names no process, is switched to, and a quick
Super+Tab then goes back to the window it was switched from; switched off, Super+Tab reaches the application. Under
icewm, once more with icewm's own preferences, which hold the keyboard while Super is down: Tillory says that
Super+Tab never reaches it. Runs under its own session bus (dbus-run-session)."""

import argparse
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Desktop, Skip, wait_for  # noqa: E402
from keyboard_e2e import KEY_TRAFFIC, Client, Tillory, check, screenshot  # noqa: E402

TITLES = ("Alpha notes", "Beta sheet", "Gamma mail", "Delta shell")
SESSION = re.compile(r"tillory\.switcher: session of (\d+) windows, selected (\d+): (.*)")
# Tiles are 190 points wide and 144 high, 6 apart, inside a padding of 12.
TILE_W, TILE_H, GAP, PAD = 190, 144, 6, 12
DELAY = "60"  # milliseconds between keys: quick hands, slower than a key repeat

# icewm as installed, except that Super alone does not open its start menu (a real desktop would, and the switcher
# must not care), and nothing is animated.
ICEWM_PREFERENCES = "Win95Keys=0\nTaskBarAutoHide=0\nShowPopupsAbovePointer=0\n"


def active(desktop):
    out = desktop.run(["xprop", "-root", "_NET_ACTIVE_WINDOW"], check=False)
    found = re.search(r"# (0x[0-9a-f]+)", out)
    return int(found.group(1), 16) if found else 0


def root_cardinal(desktop, name):
    found = re.search(r"= (\d+)", desktop.run(["xprop", "-root", name], check=False))
    return int(found.group(1)) if found else None


def client_list(desktop):
    out = desktop.run(["xprop", "-root", "_NET_CLIENT_LIST"], check=False)
    return {int(w, 16) for w in re.findall(r"0x[0-9a-f]+", out)}


class Switcher:
    """Tillory as the switcher's user sees it: its panel and the sessions it reports."""

    def __init__(self, desktop, app, names):
        self.desktop = desktop
        self.app = app
        self.names = names  # window id -> title, of every window a session may list

    def panel(self):
        return next((w for w in self.app.visible_windows() if w[2] >= TILE_W), None)

    def sessions(self):
        found = []
        for line in self.app.output().splitlines():
            match = SESSION.match(line)
            if match:
                ids = [int(w, 16) for w in match.group(3).split()]
                check(len(ids) == int(match.group(1)), f"session line lists {len(ids)} ids: {line}")
                found.append((ids, int(match.group(2))))
        return found

    def open(self, *keys):
        """Holds Super, types `keys` (Tab by default) and answers the session's windows (titles) and selection once
        the panel shows."""
        before = len(self.sessions())
        self.desktop.run(["xdotool", "keydown", "--delay", DELAY, "super", "key", "--delay", DELAY,
                          *(keys or ("Tab",))])
        wait_for(lambda: len(self.sessions()) > before, 5, "a switcher session")
        wait_for(self.panel, 5, "the switcher panel")
        ids, selected = self.sessions()[-1]
        foreign = [hex(w) for w in ids if w not in self.names]
        check(not foreign, f"the session lists windows that are not the clients': {foreign}")
        return [self.names[w] for w in ids], selected

    def let_go(self):
        self.desktop.run(["xdotool", "keyup", "super"])

    def wait_closed(self):
        wait_for(lambda: self.panel() is None, 5, "the panel to close")

    def choose(self, title, names=None):
        """Opens a session, steps to `title` and lets go."""
        titles, selected = self.open()
        steps = (titles.index(title) - selected) % len(titles)
        if steps:
            self.desktop.run(["xdotool", "key", "--delay", DELAY, *(["Tab"] * steps)])
        self.let_go()
        self.wait_closed()


def wait_active(desktop, window, what):
    wait_for(lambda: active(desktop) == window, 5, f"{what} (active is {hex(active(desktop))}, wanted {hex(window)})")


def start_client(desktop, binary, index, title):
    args = ["--class", f"switcher-{index}", "--title", title, "--geometry", f"560x360+{40 + 90 * index}+{40 + 70 * index}"]
    try:
        return Client(desktop, binary, *args)
    except AssertionError:
        # A window mapped in the moment a window manager starts managing can be lost by it: one more try.
        desktop.procs[-1].kill()
        return Client(desktop, binary, *args)


def run_steps(desktop, args, home):
    artifacts = args.artifacts or home
    desktop.run(["xset", "r", "off"])
    app = Tillory(desktop, args.tillory, home)
    clients = [start_client(desktop, args.client, i, title) for i, title in enumerate(TITLES)]
    by_title = {title: c.window for title, c in zip(TITLES, clients)}
    switcher = Switcher(desktop, app, {c.window: title for title, c in zip(TITLES, clients)})
    alpha, beta, gamma, delta = (by_title[t] for t in TITLES)
    wait_active(desktop, delta, "the last client started")

    # Opened forward on the second most recent window, most recent first; the panel is the centred card.
    titles, selected = switcher.open()
    check(titles == ["Delta shell", "Gamma mail", "Beta sheet", "Alpha notes"] and selected == 1,
          f"first session {titles}, selected {selected}")
    x, y, width, height = switcher.panel()
    check(width == 2 * PAD + 4 * TILE_W + 3 * GAP and x == (1280 - width) // 2, f"panel at {x},{y} {width}x{height}")
    app.wait_line("captures delivered: 4")
    wait_for(lambda: "first frame of the session shown" in app.output(), 5, "the panel's first frame")
    screenshot(desktop, os.path.join(artifacts, f"e2e-switcher-{desktop.manager}.png"))
    switcher.let_go()
    wait_active(desktop, gamma, "letting go of Super")
    switcher.wait_closed()

    # Tab steps on from the second: 1, 2, 3.
    switcher.open("Tab", "Tab", "Tab")
    switcher.let_go()
    wait_active(desktop, alpha, "three Tabs")

    # Backwards, the session opens on the least recent window.
    before = len(switcher.sessions())
    desktop.run(["xdotool", "keydown", "--delay", DELAY, "super", "keydown", "shift", "key", "--delay", DELAY, "Tab",
                 "keyup", "shift"])
    wait_for(lambda: len(switcher.sessions()) > before, 5, "the backward session")
    ids, selected = switcher.sessions()[-1]
    check(selected == len(ids) - 1, f"backward session selected {selected} of {len(ids)}")
    switcher.let_go()
    wait_active(desktop, beta, "Super+Shift+Tab")

    # Escape closes without switching: the next session still starts with the same window.
    switcher.open()
    desktop.run(["xdotool", "key", "Escape"])
    switcher.wait_closed()
    switcher.let_go()
    titles, _ = switcher.open()
    check(titles[0] == "Beta sheet" and active(desktop) == beta, f"Escape switched: {titles}")

    # A click on a tile switches at once, Super still held.
    x, y, _, _ = switcher.panel()
    target = titles[2]
    desktop.run(["xdotool", "mousemove", str(x + PAD + 2 * (TILE_W + GAP) + TILE_W // 2), str(y + PAD + TILE_H // 2),
                 "click", "1"])
    wait_active(desktop, by_title[target], "a click on the third tile")
    switcher.wait_closed()
    switcher.let_go()
    desktop.run(["xdotool", "mousemove", "1270", "790"])

    # The highlighted window closes while the panel is open: letting go ends the session, and the next one lists
    # the three that are left and switches as usual.
    titles, selected = switcher.open()
    doomed = titles[selected]
    clients[TITLES.index(doomed)].proc.terminate()
    wait_for(lambda: by_title[doomed] not in client_list(desktop), 5, "the window to close")
    switcher.let_go()
    switcher.wait_closed()
    titles, _ = switcher.open()
    check(len(titles) == 3 and doomed not in titles, f"after closing {doomed!r}: {titles}")
    switcher.let_go()
    wait_active(desktop, by_title[titles[1]], "the switch after a window closed")
    left = [t for t in TITLES if t != doomed]

    # A minimised window comes back when chosen.
    hidden = by_title[left[0]]
    desktop.run(["xdotool", "windowminimize", "--sync", str(hidden)])
    wait_for(lambda: active(desktop) != hidden, 5, "the minimised window to lose the focus")
    switcher.choose(left[0])
    wait_active(desktop, hidden, "choosing the minimised window")
    check("IsViewable" in desktop.run(["xwininfo", "-id", str(hidden)]), "the chosen window is still minimised")

    # So does a window on another workspace, taking the desktop there.
    away = by_title[left[1]]
    desktop.run(["xdotool", "set_desktop_for_window", str(away), "1"])
    wait_for(lambda: "= 1" in desktop.run(["xprop", "-id", str(away), "_NET_WM_DESKTOP"], check=False), 5,
             "the window to move to workspace 2")
    switcher.choose(left[1])
    wait_for(lambda: root_cardinal(desktop, "_NET_CURRENT_DESKTOP") == 1, 5, "the switch to workspace 2")
    wait_active(desktop, away, "choosing the window on workspace 2")
    run_xlogo(desktop, switcher, away, left[1], artifacts)
    check("never reaches Tillory" not in app.output(), "a chord that did arrive was reported as held elsewhere")
    app.stop()

    # Switched off, Super+Tab reaches the application in front untouched.
    app = Tillory(desktop, args.tillory, home, {"switcherEnabled": "false"})
    front = clients[TITLES.index(left[1])]
    front.activate()
    desktop.run(["xdotool", "keydown", "super", "key", "Tab", "keyup", "super"])
    wait_for(lambda: ["Tab", "0x10000000"] in front.presses(), 5, "Super+Tab in the application")
    check("tillory.taps: press" not in app.output(), "Super+Tab went through Tillory with the switcher off")
    check(not SESSION.search(app.output()), "a session opened with the switcher off")
    app.stop()


def run_xlogo(desktop, switcher, away, away_title, artifacts):
    """xlogo sets no _NET_WM_PID and keeps its icon in WM_HINTS only: it is listed, a switch reaches it, and a quick
    Super+Tab goes straight back to the window it was switched from."""
    if not shutil.which("xlogo"):
        print("xlogo is not installed: its steps are left out")
        return
    desktop.spawn(["xlogo", "-geometry", "300x300+600+200"])
    logo = int(desktop.run(["xdotool", "search", "--sync", "--class", "XLogo"]).split()[0])
    switcher.names[logo] = "xlogo"
    wait_for(lambda: logo in client_list(desktop), 5, "xlogo to be managed")
    desktop.run(["xdotool", "windowactivate", "--sync", str(away)])
    wait_active(desktop, away, "the window before xlogo")
    titles, _ = switcher.open()
    check("xlogo" in titles, f"xlogo is not listed: {titles}")
    screenshot(desktop, os.path.join(artifacts, f"e2e-switcher-xlogo-{desktop.manager}.png"))
    steps = (titles.index("xlogo") - 1) % len(titles)
    if steps:
        desktop.run(["xdotool", "key", "--delay", DELAY, *(["Tab"] * steps)])
    switcher.let_go()
    wait_active(desktop, logo, "choosing xlogo")
    switcher.wait_closed()
    titles, selected = switcher.open()
    check(titles[:2] == ["xlogo", away_title] and selected == 1, f"after xlogo: {titles}, selected {selected}")
    switcher.let_go()
    wait_active(desktop, away, "a quick Super+Tab back")
    switcher.wait_closed()


def run_icewm_as_shipped(args):
    """icewm's own preferences open its menu with Super alone, and so hold the whole keyboard while Super is down:
    Super+Tab never reaches Tillory. That is said, not left to silence."""
    try:
        desktop = Desktop("icewm")
    except Skip as why:
        print(f"icewm as shipped left out: {why}")
        return
    try:
        desktop.run(["xset", "r", "off"])
        app = Tillory(desktop, args.tillory, desktop.tmp)
        start_client(desktop, args.client, 0, TITLES[0])
        desktop.run(["xdotool", "keydown", "--delay", DELAY, "super", "key", "--delay", DELAY, "Tab"])
        app.wait_line("the key Super+Tab never reaches Tillory")
        desktop.run(["xdotool", "keyup", "super", "key", "Escape"])
        check(not SESSION.search(app.output()), "a session opened while icewm held the keyboard")
        app.stop()
    finally:
        desktop.close()


def run(desktop, args):
    home = desktop.tmp
    try:
        run_steps(desktop, args, home)
    except AssertionError:
        for name in sorted(os.listdir(home)):
            if name.startswith("tillory-") and name.endswith(".log"):
                with open(os.path.join(home, name)) as f:
                    lines = [line for line in f if not KEY_TRAFFIC.match(line)]
                sys.stderr.write(f"--- {name} (last lines, key traffic left out)\n" + "".join(lines[-60:]))
        raise


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--manager", choices=("openbox", "icewm"), default="openbox")
    parser.add_argument("--artifacts")
    args = parser.parse_args()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        if not shutil.which("dbus-run-session"):
            print("SKIPPED: dbus-run-session is not installed")
            return 77
        return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv])
    for tool in ("xdotool", "xprop", "xwininfo", "import"):
        if not shutil.which(tool):
            print(f"SKIPPED: {tool} is not installed")
            return 77
    try:
        desktop = Desktop(args.manager, ICEWM_PREFERENCES if args.manager == "icewm" else None)
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    try:
        run(desktop, args)
    finally:
        desktop.close()
    if args.manager == "icewm":
        run_icewm_as_shipped(args)
    print(f"switcher end-to-end under {args.manager}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
