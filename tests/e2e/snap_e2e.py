#!/usr/bin/env python3
"""Window snapping on a real X server under a given window manager (openbox, icewm or fluxbox, the last with a panel
that reserves a strip at the top and its toolbar at the bottom, and once on the second of two monitors), with windows
of our text client, one that cannot be narrower than 800 pixels, a dialog of fixed size and one that draws its own
title bar (GTK header bar), driven
with xdotool as a person would: press on the title, move in relative steps, let go. Edges give halves, corners
quarters, a zone of the layout bar its frame and then Snap Assist, whose tiles fill the next zones; Control+Alt
arrows snap, maximise and centre, Control+Alt+Z opens the layout picker; a double click on a title maximises and
restores when the window manager does nothing with it, and Tillory stands back when the window manager maximises
itself; a window wider than the half keeps to the edge it was snapped to and the zone's height, a dialog keeps its
size and the zone's top-left corner; switched off, nothing moves. Every step
runs and reports; the test fails when one did. Runs under its own session bus (dbus-run-session)."""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Desktop, Skip, wait_for  # noqa: E402
from keyboard_e2e import KEY_TRAFFIC, Client, Tillory, check, screenshot  # noqa: E402

# The monitor the test works on (x, y, width, height); with two monitors, the right one.
SCREEN = (0, 0, 1280, 800)
TOLERANCE = 2

LEFT, RIGHT = (0, 0, 0.5, 1), (0.5, 0, 0.5, 1)
FULL, CENTRED = (0, 0, 1, 1), (0.1, 0.08, 0.8, 0.84)
TOP_LEFT, TOP_RIGHT, BOTTOM_LEFT = (0, 0, 0.5, 0.5), (0.5, 0, 0.5, 0.5), (0, 0.5, 0.5, 0.5)
THIRD = 1 / 3
# The layout bar's cards in order, with their zones.
LAYOUTS = [
    [LEFT, RIGHT],
    [(0, 0, 2 * THIRD, 1), (2 * THIRD, 0, THIRD, 1)],
    [(0, 0, THIRD, 1), (THIRD, 0, THIRD, 1), (2 * THIRD, 0, THIRD, 1)],
    [LEFT, (0.5, 0, 0.5, 0.5), (0.5, 0.5, 0.5, 0.5)],
    [TOP_LEFT, TOP_RIGHT, BOTTOM_LEFT, (0.5, 0.5, 0.5, 0.5)],
]

# Title bar bindings as openbox ships them; `{double}` is what a double click does. Its keys stay free for Tillory's
# chords, and a window dragged to a screen edge does not take the desktop along.
OPENBOX_RC = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <keyboard></keyboard>
  <mouse>
    <dragThreshold>1</dragThreshold>
    <doubleClickTime>500</doubleClickTime>
    <screenEdgeWarpTime>0</screenEdgeWarpTime>
    <context name="Titlebar">
      <mousebind button="Left" action="Drag"><action name="Move"/></mousebind>
      {double}
    </context>
    <context name="Titlebar Top Right Bottom Left TLCorner TRCorner BRCorner BLCorner">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
    <context name="Client">
      <mousebind button="Left" action="Press"><action name="Focus"/><action name="Raise"/></mousebind>
    </context>
  </mouse>
</openbox_config>
"""
OPENBOX_MAXIMISES = '<mousebind button="Left" action="DoubleClick"><action name="ToggleMaximize"/></mousebind>'

# fluxbox's title bar: press raises, a drag moves; `{double}` is what a double click does. No keys are bound, so
# Tillory's chords are free.
FLUXBOX_KEYS = """OnTitlebar Mouse1 :MacroCmd {{Raise}} {{Focus}} {{ActivateTab}}
OnTitlebar Move1 :StartMoving
{double}
"""
FLUXBOX_MAXIMISES = "OnTitlebar Double Mouse1 :Maximize"

# icewm as installed, with its Control+Alt+arrow workspace keys freed for Tillory's chords.
ICEWM_PREFERENCES = "".join(f'KeySysWorkspace{k}=""\nKeySysWorkspace{k}TakeWin=""\n'
                            for k in ("Prev", "Next", "Last")) + \
    "Win95Keys=0\nTaskBarAutoHide=0\nShowPopupsAbovePointer=0\nTitleBarMaximizeButton={button}\n"


def numbers(text):
    return [int(v) for v in re.findall(r"-?\d+", text)]


def workarea(desktop):
    """The work area on the monitor under test: the desktop's, which panels along whole edges make the same on
    every monitor, within the monitor."""
    x, y, w, h = numbers(desktop.run(["xprop", "-root", "_NET_WORKAREA"]).split("=", 1)[1])[:4]
    left, right = max(x, SCREEN[0]), min(x + w, SCREEN[0] + SCREEN[2])
    return (left, y, right - left, h)


def at(x, y):
    """A point given on the monitor under test, on the root."""
    return (SCREEN[0] + x, SCREEN[1] + y)


def right_edge(x):
    """`x` pixels in from the monitor's right edge, on the root."""
    return SCREEN[0] + SCREEN[2] - x


def frame(desktop, window):
    """What a person sees of the window: its frame with the decorations, less the shadow of a window that draws
    its own."""
    info = desktop.run(["xwininfo", "-id", str(window)])
    x, y = (int(re.search(rf"Absolute upper-left {a}:\s+(-?\d+)", info).group(1)) for a in "XY")
    w, h = (int(re.search(rf"{a}:\s+(\d+)", info).group(1)) for a in ("Width", "Height"))

    def extents(name):
        out = desktop.run(["xprop", "-id", str(window), name], check=False)
        return numbers(out.split("=", 1)[1]) if "=" in out else [0, 0, 0, 0]
    left, right, top, bottom = extents("_NET_FRAME_EXTENTS")
    gl, gr, gt, gb = extents("_GTK_FRAME_EXTENTS")
    return (x - left + gl, y - top + gt, w + left + right - gl - gr, h + top + bottom - gt - gb)


def unit_frame(area, unit):
    ax, ay, aw, ah = area
    ux, uy, uw, uh = unit
    return (ax + ux * aw, ay + uy * ah, uw * aw, uh * ah)


def close(a, b, tolerance=TOLERANCE):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def show(r):
    return "(" + ", ".join(f"{v:.0f}" for v in r) + ")"


def wait_frame(desktop, window, expected, what, timeout=5):
    seen = []

    def arrived():
        seen.append(frame(desktop, window))
        return close(seen[-1], expected)
    try:
        wait_for(arrived, timeout, what)
    except AssertionError:
        raise AssertionError(f"{what}: frame {show(seen[-1])}, wanted {show(expected)}") from None


def steady_frame(desktop, window, expected, what, settle=1.0):
    """The frame is there and still there a moment later, after Tillory would have acted."""
    wait_frame(desktop, window, expected, what)
    time.sleep(settle)
    now = frame(desktop, window)
    check(close(now, expected), f"{what}: frame moved on to {show(now)} after reaching {show(expected)}")


def window_ids(text):
    return [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", text)]


def client_list(desktop):
    return window_ids(desktop.run(["xprop", "-root", "_NET_CLIENT_LIST"], check=False))


def maximised(desktop, window):
    state = desktop.run(["xprop", "-id", str(window), "_NET_WM_STATE"], check=False)
    return "_NET_WM_STATE_MAXIMIZED_VERT" in state and "_NET_WM_STATE_MAXIMIZED_HORZ" in state


def bar_zone_centre(area, layout, zone):
    """The centre of a zone on a card of the layout bar: the bar is 660 wide, centred on the screen, 14 below the
    work area's top; its cards are 116 x 72, 12 apart, from 16 in and 12 down; a zone sits 3 in from its share of
    the card less a 6-point margin."""
    bar_x, bar_y = SCREEN[0] + (SCREEN[2] - 660) / 2, area[1] + 14
    card_x, card_y = bar_x + 16 + 128 * layout, bar_y + 12
    ux, uy, uw, uh = LAYOUTS[layout][zone]
    x, y = card_x + 6 + ux * 104 + 3, card_y + 6 + uy * 60 + 3
    return round(x + (uw * 104 - 6) / 2), round(y + (uh * 60 - 6) / 2)


def assist_tile_centre(count, index):
    """The centre of a candidate's preview in Snap Assist: a card centred on the display, 22 in, with its title,
    the layout (220 x 138) and a centred row of 132-wide tiles 12 apart, 14 between rows."""
    row = count * 132 + (count - 1) * 12
    content = max(row, 360)
    card_w, card_h = content + 44, 44 + 20 + 14 + 138 + 14 + 106 + 14 + 14
    card_x, card_y = SCREEN[0] + (SCREEN[2] - card_w) // 2, SCREEN[1] + (SCREEN[3] - card_h) // 2
    return (card_x + 22 + (content - row) // 2 + 144 * index + 66, card_y + 22 + 20 + 14 + 138 + 14 + 42)


class Snapper:
    """Drives the pointer and keyboard and looks at what Tillory shows."""

    def __init__(self, desktop, app=None):
        self.desktop = desktop
        self.app = app

    def title_point(self, window):
        x, y, w, _ = frame(self.desktop, window)
        out = self.desktop.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], check=False)
        top = numbers(out.split("=", 1)[1])[2] if "=" in out else 0
        # A header bar drawn by the window is some 46 pixels tall; a frame's title bar is `top`.
        return x + w // 2, y + (top // 2 if top >= 10 else 16)

    def drag(self, window, to, pause=0.15, held=None):
        """Presses on the window's title, moves to `to` in steps of about 20 pixels every 8 ms and lets go; runs
        `held` just before letting go."""
        x, y = self.title_point(window)
        self.desktop.run(["xdotool", "mousemove", str(x), str(y), "mousedown", "1"])
        dx, dy = to[0] - x, to[1] - y
        steps = max(8, int(max(abs(dx), abs(dy)) / 20))
        moves, done = [], (0, 0)
        for i in range(1, steps + 1):
            step = (round(dx * i / steps) - done[0], round(dy * i / steps) - done[1])
            done = (done[0] + step[0], done[1] + step[1])
            moves += ["mousemove_relative", "--", str(step[0]), str(step[1]), "sleep", "0.008"]
        self.desktop.run(["xdotool", *moves])
        time.sleep(pause)
        try:
            if held:
                held()
        finally:
            self.desktop.run(["xdotool", "mouseup", "1"])

    def double_click(self, window):
        x, y = self.title_point(window)
        self.desktop.run(["xdotool", "mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "120", "1"])

    def click(self, point):
        self.desktop.run(["xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1"])

    def panel(self):
        """Tillory's snap panel when it is on screen: the window covering the whole monitor."""
        return next((w for w in self.app.visible_windows() if w == SCREEN), None)

    def wait_panel(self, shown, what):
        wait_for(lambda: (self.panel() is not None) == shown, 5,
                 f"{what}: the snap panel to be {'shown' if shown else 'gone'}")


def place(desktop, window, geometry):
    """Puts a window back to a plain frame (x, y, width, height of the client) and brings it forward."""
    if shutil.which("wmctrl"):  # only a step that failed leaves a window maximised
        desktop.run(["wmctrl", "-i", "-r", str(window), "-b", "remove,maximized_vert,maximized_horz"], check=False)
    x, y, w, h = geometry
    x, y = at(x, y)
    desktop.run(["xdotool", "windowsize", str(window), str(w), str(h), "windowmove", str(window), str(x), str(y)])
    desktop.run(["xdotool", "windowactivate", "--sync", str(window)])
    # The window manager applies all this in its own time: the frame it ends with is the same twice running.
    seen = [None]

    def settled():
        seen.append(frame(desktop, window))
        time.sleep(0.05)
        return seen[-1] == seen[-2]
    wait_for(settled, 5, "the window to settle")
    return seen[-1]


def start_client(desktop, args, *extra):
    try:
        return Client(desktop, *args, *extra)
    except AssertionError:
        # A window mapped in the moment a window manager starts managing can be lost by it: one more try.
        desktop.procs[-1].kill()
        return Client(desktop, *args, *extra)


class Run:
    def __init__(self, desktop, args):
        self.desktop = desktop
        self.args = args
        self.home = desktop.tmp
        self.artifacts = args.artifacts or desktop.tmp
        self.failures = []
        self.app = None
        self.maximises = False  # what the window manager was started with

    def step(self, name, body):
        try:
            body()
            print(f"ok: {name}", flush=True)
        except AssertionError as failure:
            self.failures.append(name)
            print(f"FAILED: {name}: {failure}", flush=True)
            traceback.print_exc(limit=3)
            # Whatever was left open must not spoil the next step.
            self.desktop.run(["xdotool", "mouseup", "1", "key", "Escape"], check=False)
            time.sleep(0.3)

    def start(self, settings=None):
        if self.app:
            self.app.stop()
        self.app = Tillory(self.desktop, self.args.tillory, self.home, settings)
        self.snap = Snapper(self.desktop, self.app)

    def shot(self, name):
        two = "-two-monitors" if self.args.monitors == 2 else ""
        screenshot(self.desktop, os.path.join(self.artifacts, f"e2e-snap-{name}-{self.desktop.manager}{two}.png"))

    def manager_maximises(self, maximises):
        """Gives the window manager a title double click that maximises, or one that does nothing."""
        desktop = self.desktop
        if maximises == self.maximises:
            return
        self.maximises = maximises
        if desktop.manager == "openbox":
            with open(os.path.join(desktop.tmp, "openbox-rc.xml"), "w") as f:
                f.write(OPENBOX_RC.format(double=OPENBOX_MAXIMISES if maximises else ""))
            desktop.run(["openbox", "--reconfigure"])
            time.sleep(0.5)
            return
        if desktop.manager == "fluxbox":
            with open(os.path.join(desktop.tmp, "fluxbox", ".fluxbox", "keys"), "w") as f:
                f.write(FLUXBOX_KEYS.format(double=FLUXBOX_MAXIMISES if maximises else ""))
            # SIGHUP has it load its configuration, the keys too; SIGUSR1 leaves the keys as they were.
            desktop.procs[1].send_signal(signal.SIGHUP)
            time.sleep(1.0)
            windows = (self.alpha, self.beta, self.gamma)
            wait_for(lambda: all(w in client_list(desktop) for w in windows), 10, "fluxbox to take the windows again")
            return
        with open(os.path.join(desktop.tmp, "icewm", "preferences"), "w") as f:
            f.write(ICEWM_PREFERENCES.format(button=1 if maximises else 0))
        # The restarted icewm makes its check window again, under the same id: a mark on the old one tells them apart.
        check_window = window_ids(desktop.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]))[0]
        mark = ["xprop", "-id", str(check_window), "-f", "_TILLORY_MARK", "8s"]
        desktop.run([*mark, "-set", "_TILLORY_MARK", "old"])
        desktop.procs[1].send_signal(signal.SIGHUP)  # icewm starts afresh and reads its preferences again

        def restarted():
            out = subprocess.run([*mark[:3], "_TILLORY_MARK"], env=desktop.env(), capture_output=True, text=True)
            return out.returncode == 0 and "not found" in out.stdout
        wait_for(restarted, 10, "icewm to restart")
        windows = (self.alpha, self.beta, self.gamma)
        wait_for(lambda: all(w in client_list(desktop) for w in windows), 10, "icewm to take the windows again")

    def run(self):
        desktop, args = self.desktop, self.args
        desktop.run(["xset", "r", "off"])
        self.start()
        area = workarea(desktop)
        client = [args.client, "--geometry"]
        self.alpha_client = start_client(desktop, [*client, "500x300+%d+%d" % at(300, 200), "--title", "Alpha notes"])
        self.alpha = self.alpha_client.window
        self.beta = start_client(desktop, [*client, "420x260+%d+%d" % at(120, 420), "--title", "Beta sheet"]).window
        self.gamma = start_client(desktop, ["/usr/bin/python3", args.csd_client, "--title", "Gamma header",
                                            "--geometry", "460x280+%d+%d" % at(700, 300)]).window
        print(f"work area {area}", flush=True)

        self.step("drags to edges and corners", lambda: self.edges(area))
        self.step("drag onto a zone of the layout bar, then Snap Assist", lambda: self.bar_and_assist(area))
        self.step("Control+Alt chords and the picker", lambda: self.chords(area))
        self.step("title double click when the window manager does nothing", lambda: self.double_click(area, False))
        self.step("title double click when the window manager maximises", lambda: self.double_click(area, True))
        self.step("a window wider than half keeps to the edge", lambda: self.wide(area))
        self.step("a dialog keeps its size and the zone's corner", lambda: self.dialog(area))
        self.step("switched off, nothing moves", lambda: self.switched_off(area))
        self.app.stop()

    def edges(self, area):
        cases = [
            (self.alpha, at(2, 400), LEFT, "left edge"),
            (self.alpha, (right_edge(3), area[1] + 3), TOP_RIGHT, "top-right corner"),
            (self.alpha, (area[0] + 3, area[1] + area[3] - 3), BOTTOM_LEFT, "bottom-left corner"),
            (self.gamma, (right_edge(2), 420), RIGHT, "header bar window to the right edge"),
            (self.gamma, (area[0] + 3, area[1] + 3), TOP_LEFT, "header bar window to the top-left corner"),
        ]
        for window, point, unit, what in cases:
            place(self.desktop, window, (400, 250, 480, 300))
            self.snap.drag(window, point)
            wait_frame(self.desktop, window, unit_frame(area, unit), what)
            self.snap.wait_panel(False, what)

    def bar_and_assist(self, area):
        desktop, snap = self.desktop, self.snap
        # Front to back: Alpha, Beta, Gamma; Beta is then the first window Snap Assist offers.
        place(desktop, self.gamma, (760, 420, 460, 280))
        place(desktop, self.beta, (80, 440, 420, 260))
        place(desktop, self.alpha, (400, 250, 480, 300))
        thirds = LAYOUTS[2]

        def overlay():
            snap.wait_panel(True, "the layout bar during the drag")
            self.shot("bar")
        snap.drag(self.alpha, bar_zone_centre(area, 2, 1), held=overlay)
        wait_frame(desktop, self.alpha, unit_frame(area, thirds[1]), "dropped on the middle third")
        snap.wait_panel(True, "Snap Assist after the drop")
        self.shot("assist")
        snap.click(assist_tile_centre(2, 0))
        wait_frame(desktop, self.beta, unit_frame(area, thirds[0]), "the first tile into the left third")
        check(snap.panel() is not None, "Snap Assist closed with a zone and a window left")
        snap.click(assist_tile_centre(1, 0))
        wait_frame(desktop, self.gamma, unit_frame(area, thirds[2]), "the next tile into the right third")
        snap.wait_panel(False, "every zone filled")

    def chords(self, area):
        desktop, snap = self.desktop, self.snap
        place(desktop, self.alpha, (400, 250, 480, 300))
        for key, unit in (("Left", LEFT), ("Right", RIGHT), ("Up", FULL), ("Down", CENTRED)):
            desktop.key(f"ctrl+alt+{key}")
            wait_frame(desktop, self.alpha, unit_frame(area, unit), f"Control+Alt+{key}")
        desktop.key("ctrl+alt+z")
        snap.wait_panel(True, "the picker")
        self.shot("picker")
        # Tab to the second card, Right to its narrow zone.
        desktop.key("Tab", "Right", "Return")
        wait_frame(desktop, self.alpha, unit_frame(area, LAYOUTS[1][1]), "the picker's choice")
        check(snap.panel() is not None, "Snap Assist did not follow the picker")
        desktop.key("Escape")
        snap.wait_panel(False, "Escape in Snap Assist")

    def double_click(self, area, manager_maximises):
        desktop, snap = self.desktop, self.snap
        self.manager_maximises(manager_maximises)
        before = place(desktop, self.alpha, (200, 150, 600, 400))
        snap.double_click(self.alpha)
        if manager_maximises:
            wait_for(lambda: maximised(desktop, self.alpha), 5, "the window manager to maximise")
            steady_frame(desktop, self.alpha, frame(desktop, self.alpha), "maximised by the window manager")
            check(maximised(desktop, self.alpha), "the window is no longer maximised")
        else:
            steady_frame(desktop, self.alpha, unit_frame(area, FULL), "maximised by a double click")
        time.sleep(0.6)  # two double clicks, not one triple
        snap.double_click(self.alpha)
        steady_frame(desktop, self.alpha, before, "restored by a second double click")
        check(not maximised(desktop, self.alpha), "the window is still maximised")

    def wide(self, area):
        desktop, snap = self.desktop, self.snap
        wide = start_client(desktop, [self.args.client, "--title", "Wide sheet", "--min-width", "800",
                                      "--geometry", "820x300+%d+%d" % at(200, 250)])
        try:
            for point, edge in (((right_edge(2), 400), "right"), (at(2, 400), "left")):
                place(desktop, wide.window, (200, 250, 820, 300))
                snap.drag(wide.window, point)

                def at_edge():
                    x, y, w, h = frame(desktop, wide.window)
                    # As tall as the half: a window manager that made up a height would push it off the screen.
                    return w >= 800 and (x + w == area[0] + area[2] if edge == "right" else x == area[0]) and \
                        (y, h) == (area[1], area[3])
                try:
                    wait_for(at_edge, 5, f"the wide window at the {edge} edge")
                except AssertionError:
                    raise AssertionError(f"snapped {edge}, the wide window's frame is "
                                         f"{show(frame(desktop, wide.window))}") from None
        finally:
            wide.proc.terminate()

    def dialog(self, area):
        desktop, snap = self.desktop, self.snap
        fixed = start_client(desktop, [self.args.client, "--title", "Fixed dialog", "--fixed",
                                       "--geometry", "420x240+%d+%d" % at(300, 300)])
        try:
            for point, unit, what in ((at(2, 400), LEFT, "left half"),
                                      ((area[0] + 3, area[1] + area[3] - 3), BOTTOM_LEFT, "bottom-left quarter")):
                before = place(desktop, fixed.window, (300, 300, 420, 240))
                snap.drag(fixed.window, point)
                zone = unit_frame(area, unit)
                # Its size, at the zone's left edge; at its top when the zone reaches from top to bottom, else at
                # its bottom.
                top = zone[1] if unit[3] == 1 else zone[1] + zone[3] - before[3]
                steady_frame(desktop, fixed.window, (zone[0], top, *before[2:]), f"the dialog snapped to the {what}",
                             settle=0.5)
        finally:
            fixed.proc.terminate()

    def switched_off(self, area):
        desktop = self.desktop
        self.start({"snapEnabled": "false"})
        snap = self.snap
        for point, what in ((at(2, 400), "left edge"), (bar_zone_centre(area, 2, 1), "layout bar")):
            before = place(desktop, self.alpha, (400, 250, 480, 300))
            start = snap.title_point(self.alpha)
            snap.drag(self.alpha, point)
            time.sleep(0.5)
            after = frame(desktop, self.alpha)
            check(after[2:] == before[2:], f"dragged to the {what} switched off, the size changed to {show(after)}")
            check(snap.panel() is None, f"the snap panel showed for a drag to the {what} switched off")
            moved = (after[0] - before[0], after[1] - before[1])
            wanted = (point[0] - start[0], point[1] - start[1])
            check(moved != (0, 0) or wanted == (0, 0), f"the window manager did not move the window ({what})")
        client = self.alpha_client
        desktop.key("ctrl+alt+Left")
        wait_for(lambda: any(p[0] == "Left" for p in client.presses()), 5, "Control+Alt+Left in the application")


def run(desktop, args):
    test = Run(desktop, args)
    try:
        test.run()
    except AssertionError:
        test.failures.append("setting up")
        traceback.print_exc()
    if test.failures:
        for name in sorted(os.listdir(desktop.tmp)):
            if name.startswith("tillory-") and name.endswith(".log"):
                with open(os.path.join(desktop.tmp, name)) as f:
                    lines = [line for line in f if not KEY_TRAFFIC.match(line)]
                sys.stderr.write(f"--- {name} (last lines, key traffic left out)\n" + "".join(lines[-40:]))
        raise AssertionError(f"failed under {desktop.manager}: {', '.join(test.failures)}")


def reserve_top_strip(desktop, monitor):
    """A panel along the top of the monitor under test (trayer's `monitor`: it spans one monitor) that reserves 24
    pixels (_NET_WM_STRUT_PARTIAL) for itself."""
    if not shutil.which("trayer"):
        raise Skip("trayer is not installed")
    top = desktop.run(["xprop", "-root", "_NET_WORKAREA"])
    desktop.spawn(["trayer", "--edge", "top", "--align", "left", "--monitor", str(monitor),
                   "--widthtype", "percent", "--width", "100",
                   "--height", "24", "--SetDockType", "true", "--SetPartialStrut", "true", "--transparent", "false",
                   "--tint", "0x303030"])
    wait_for(lambda: desktop.run(["xprop", "-root", "_NET_WORKAREA"]) != top, 10, "the panel's strip to be reserved")


def main():
    global SCREEN
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--csd-client", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                             "csd_client.py"))
    parser.add_argument("--manager", choices=("openbox", "icewm", "fluxbox"), default="openbox")
    parser.add_argument("--monitors", type=int, choices=(1, 2), default=1,
                        help="2: a root twice as wide, split into two monitors; the test runs on the right one")
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
    if subprocess.run(["/usr/bin/python3", "-c", "import gi; gi.require_version('Gtk', '3.0')"],
                      capture_output=True).returncode != 0:
        print("SKIPPED: GTK 3 for python3 is not installed")
        return 77
    config = {"openbox": OPENBOX_RC.format(double=""), "icewm": ICEWM_PREFERENCES.format(button=0),
              "fluxbox": FLUXBOX_KEYS.format(double="")}[args.manager]
    two = args.monitors == 2
    try:
        desktop = Desktop(args.manager, config, size=(2560, 800) if two else (1280, 800))
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    try:
        if two:
            desktop.run(["xrandr", "--setmonitor", "left", "1280/339x800/212+0+0", "screen"])
            desktop.run(["xrandr", "--setmonitor", "right", "1280/339x800/212+1280+0", "none"])
            SCREEN = (1280, 0, 1280, 800)
        if args.manager == "fluxbox":
            reserve_top_strip(desktop, 1 if two else 0)
        run(desktop, args)
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    finally:
        desktop.close()
    print(f"snap end-to-end under {args.manager}{' on two monitors' if two else ''}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
