#!/usr/bin/env python3
"""How quickly a dropped window takes its snapped frame, how the drag overlay keeps up with a 60 Hz pointer, and
what window snapping costs in CPU when nothing is dragged.

  python3 bench/snap_compare.py --tillory build/release/src/app/tillory \
      --client build/release/tests/tillory_text_client [--drags 20]

Runs on its own Xvfb with openbox and its own session bus. The pointer is driven through XTest from this script
(libX11, libXtst and libXdamage through ctypes), in relative steps as a mouse moves, so that every time stamp is
taken next to the request it belongs to:

- drop: from the button release sent to the X server to the ConfigureNotify that gives the window's frame its final
  geometry (read 1 s later), over --drags drags between the left and right screen edges;
- overlay: while a window is dragged through the layout bar for 2 s with one step every 16.7 ms, the repaints of
  Tillory's overlay window (DAMAGE events, those within 3 ms of each other counted as one frame) against the
  changes of the bar zone under the pointer, and how soon a frame follows each change; without a compositing manager,
  and with xcompmgr when it is installed (the overlay then animates: every 60 Hz frame missed in the 120 ms fade
  after a change counts);
- CPU: the time all of Tillory's threads ran (/proc/<pid>/task/*/schedstat) over 10 s idle and over 10 s of
  pointer movement without a button held, with snapping on and off."""

import argparse
import ctypes
import select
import shutil
import statistics
import sys
import time

from measure import own_session_bus, percentile, threads_cpu_seconds  # puts tests/e2e on the path too
from harness import Desktop, Skip
from keyboard_e2e import Client, Tillory
from snap_e2e import LAYOUTS, OPENBOX_RC, SCREEN, close, frame, unit_frame, workarea

STEP = 1 / 60
FADE = 0.12  # seconds a bar zone's highlight takes to change where the overlay animates
CONFIGURE_NOTIFY, MAP_NOTIFY = 22, 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
DAMAGE_REPORT_NON_EMPTY = 3


class XAnyEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong)]


class XConfigureEvent(ctypes.Structure):
    _fields_ = XAnyEvent._fields_[:4] + [
        ("event", ctypes.c_ulong), ("window", ctypes.c_ulong), ("x", ctypes.c_int), ("y", ctypes.c_int),
        ("width", ctypes.c_int), ("height", ctypes.c_int), ("border_width", ctypes.c_int),
        ("above", ctypes.c_ulong), ("override_redirect", ctypes.c_int)]


class XMapEvent(ctypes.Structure):
    _fields_ = XAnyEvent._fields_[:4] + [("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                                         ("override_redirect", ctypes.c_int)]


class XDamageNotifyEvent(ctypes.Structure):
    _fields_ = XAnyEvent._fields_[:4] + [("drawable", ctypes.c_ulong), ("damage", ctypes.c_ulong)]


class XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("pad", ctypes.c_long * 24)]


ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)


class X:
    """One connection of this script: fakes the pointer and time-stamps the events it selected."""

    def __init__(self, display):
        self.x11 = x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = xtst = ctypes.CDLL("libXtst.so.6")
        self.xdamage = xdamage = ctypes.CDLL("libXdamage.so.1")
        p, ul, i = ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int
        for name, args, result in [
            ("XOpenDisplay", [ctypes.c_char_p], p), ("XDefaultRootWindow", [p], ul),
            ("XConnectionNumber", [p], i), ("XSelectInput", [p, ul, ctypes.c_long], i), ("XPending", [p], i),
            ("XNextEvent", [p, ctypes.POINTER(XEvent)], i), ("XFlush", [p], i), ("XSync", [p, i], i),
            ("XQueryTree", [p, ul, ctypes.POINTER(ul), ctypes.POINTER(ul), ctypes.POINTER(ctypes.POINTER(ul)),
                            ctypes.POINTER(ctypes.c_uint)], i),
            ("XFree", [p], i), ("XSetErrorHandler", [ERROR_HANDLER], p), ("XCloseDisplay", [p], i)]:
            getattr(x11, name).argtypes, getattr(x11, name).restype = args, result
        for name, args in [("XTestFakeMotionEvent", [p, i, i, i, ul]), ("XTestFakeRelativeMotionEvent", [p, i, i, ul]),
                           ("XTestFakeButtonEvent", [p, ctypes.c_uint, i, ul])]:
            getattr(xtst, name).argtypes, getattr(xtst, name).restype = args, i
        for name, args, result in [("XDamageQueryExtension", [p, ctypes.POINTER(i), ctypes.POINTER(i)], i),
                                   ("XDamageCreate", [p, ul, i], ul), ("XDamageSubtract", [p, ul, ul, ul], None),
                                   ("XDamageDestroy", [p, ul], None)]:
            getattr(xdamage, name).argtypes, getattr(xdamage, name).restype = args, result
        # A window that goes away under a request is no reason to exit.
        self.on_error = ERROR_HANDLER(lambda display, error: 0)
        x11.XSetErrorHandler(self.on_error)
        self.dpy = x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise Skip(f"cannot open display {display}")
        self.root = x11.XDefaultRootWindow(self.dpy)
        self.fd = x11.XConnectionNumber(self.dpy)
        base, error = ctypes.c_int(), ctypes.c_int()
        if not xdamage.XDamageQueryExtension(self.dpy, ctypes.byref(base), ctypes.byref(error)):
            raise Skip("the X server has no DAMAGE extension")
        self.damage_notify = base.value
        x11.XSelectInput(self.dpy, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        x11.XSync(self.dpy, 0)
        self.events = []  # (monotonic time, kind, window, payload)
        self.damages = {}  # damage handle -> window

    def top_level(self, window):
        """The child of the root holding `window`: the window manager's frame."""
        root, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        while True:
            if not self.x11.XQueryTree(self.dpy, window, ctypes.byref(root), ctypes.byref(parent),
                                       ctypes.byref(children), ctypes.byref(count)):
                return window
            if children:
                self.x11.XFree(children)
            if parent.value in (root.value, 0):
                return window
            window = parent.value

    def watch_damage(self, window):
        damage = self.xdamage.XDamageCreate(self.dpy, window, DAMAGE_REPORT_NON_EMPTY)
        self.damages[damage] = window
        self.x11.XFlush(self.dpy)
        return damage

    def forget_damage(self, damage):
        self.xdamage.XDamageDestroy(self.dpy, damage)
        self.damages.pop(damage, None)
        self.x11.XFlush(self.dpy)

    def pump(self, until):
        """Takes in events until the monotonic time `until`, stamping each as it is read."""
        event = XEvent()
        while True:
            while self.x11.XPending(self.dpy):
                self.x11.XNextEvent(self.dpy, ctypes.byref(event))
                now = time.monotonic()
                kind = event.type
                if kind == CONFIGURE_NOTIFY:
                    c = ctypes.cast(ctypes.byref(event), ctypes.POINTER(XConfigureEvent)).contents
                    self.events.append((now, "configure", c.window, (c.x, c.y, c.width, c.height, c.border_width)))
                elif kind == MAP_NOTIFY:
                    m = ctypes.cast(ctypes.byref(event), ctypes.POINTER(XMapEvent)).contents
                    self.events.append((now, "map", m.window, None))
                elif kind == self.damage_notify:
                    d = ctypes.cast(ctypes.byref(event), ctypes.POINTER(XDamageNotifyEvent)).contents
                    # Taking the damage away arms the next report: one report per repaint.
                    self.xdamage.XDamageSubtract(self.dpy, d.damage, 0, 0)
                    self.x11.XFlush(self.dpy)
                    self.events.append((now, "damage", d.drawable, None))
            left = until - time.monotonic()
            if left <= 0:
                return
            select.select([self.fd], [], [], left)

    def move_to(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, int(x), int(y), 0)
        self.x11.XFlush(self.dpy)

    def move_by(self, dx, dy):
        self.xtst.XTestFakeRelativeMotionEvent(self.dpy, int(dx), int(dy), 0)
        self.x11.XFlush(self.dpy)

    def button(self, press):
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1 if press else 0, 0)
        self.x11.XFlush(self.dpy)

    def glide(self, path, interval):
        """Moves through `path` (absolute points, reached by relative steps) one step every `interval` seconds;
        answers when each step was sent."""
        sent = []
        here = path[0]
        next_at = time.monotonic()
        for point in path[1:]:
            next_at += interval
            self.pump(next_at)
            sent.append(time.monotonic())
            self.move_by(point[0] - here[0], point[1] - here[1])
            here = point
        return sent


def line(a, b, step):
    count = max(1, int(max(abs(b[0] - a[0]), abs(b[1] - a[1])) / step))
    return [(round(a[0] + (b[0] - a[0]) * i / count), round(a[1] + (b[1] - a[1]) * i / count))
            for i in range(count + 1)]


def there_and_back(i, period):
    """0 at step 0, 1 half a period later, 0 again after a whole one."""
    return 1 - abs(2 * (i % period) / period - 1)


def title_point(desktop, window):
    x, y, w, _ = frame(desktop, window)
    return x + w // 2, y + 10


def measure_drops(desktop, x, window, drags):
    area = workarea(desktop)
    top = x.top_level(window)
    latencies, misses = [], 0
    edges = [((SCREEN[2] - 2, 400), unit_frame(area, (0.5, 0, 0.5, 1))), ((2, 400), unit_frame(area, (0, 0, 0.5, 1)))]
    for n in range(drags):
        target, wanted = edges[n % 2]
        start = title_point(desktop, window)
        x.move_to(*start)
        x.pump(time.monotonic() + 0.05)
        x.button(True)
        x.glide(line(start, target, 20), 0.008)
        x.pump(time.monotonic() + 0.15)
        x.events.clear()
        released = time.monotonic()
        x.button(False)
        x.pump(released + 1.0)
        mine = [(t, geometry) for t, kind, w, geometry in x.events if kind == "configure" and w == top]
        if not mine or not close(frame(desktop, window), wanted):
            misses += 1
            continue
        final = mine[-1][1]
        reached = next(t for t, geometry in mine if geometry == final)
        latencies.append((reached - released) * 1000)
    return latencies, misses


def bar_zone_at(area, point):
    """The bar zone under a point, or None: the layout bar as Tillory lays it out."""
    bar_x, bar_y = (SCREEN[2] - 660) / 2, area[1] + 14
    for layout, zones in enumerate(LAYOUTS):
        card_x, card_y = bar_x + 16 + 128 * layout, bar_y + 12
        for zone, (ux, uy, uw, uh) in enumerate(zones):
            zx, zy = card_x + 6 + ux * 104 + 3, card_y + 6 + uy * 60 + 3
            if zx <= point[0] < zx + uw * 104 - 6 and zy <= point[1] < zy + uh * 60 - 6:
                return layout, zone
    return None


def tillory_windows(desktop, app):
    found = desktop.run(["xdotool", "search", "--pid", str(app.proc.pid)], check=False)
    return {int(w) for w in found.split()}


def measure_overlay(desktop, x, app, window):
    """Drags the window into the layout bar and sweeps across it for 2 s at 60 Hz."""
    area = workarea(desktop)
    start = title_point(desktop, window)
    x.move_to(*start)
    x.pump(time.monotonic() + 0.05)
    x.events.clear()
    x.button(True)
    # Into the middle of the bar's first card, then across all five cards and back.
    row = area[1] + 14 + 12 + 36
    left, right = (SCREEN[2] - 660) // 2 + 20, (SCREEN[2] + 660) // 2 - 20
    # Down first: a window already at the top would reach the bar in too few steps to be seen moving.
    below = (left, row + 200)
    x.glide(line(start, below, 10) + line(below, (left, row), 10)[1:], 0.008)
    x.pump(time.monotonic() + 0.3)
    ours = tillory_windows(desktop, app)
    mapped = [w for _, kind, w, _ in x.events if kind == "map" and w in ours]
    if not mapped:
        x.button(False)
        x.pump(time.monotonic() + 0.5)
        return None
    damage = x.watch_damage(mapped[-1])
    x.pump(time.monotonic() + 0.1)
    x.events.clear()
    steps = int(2 / STEP)
    sweep = [(round(left + (right - left) * there_and_back(i, steps)), row) for i in range(steps + 1)]
    sent = x.glide(sweep, STEP)
    x.pump(time.monotonic() + 0.3)
    x.forget_damage(damage)
    # Let go away from every target, so that nothing snaps and no Snap Assist stays open for the next run.
    x.glide(line(sweep[-1], (SCREEN[2] // 2, SCREEN[3] // 2), 20), 0.008)
    x.pump(time.monotonic() + 0.15)
    x.button(False)
    x.pump(time.monotonic() + 0.5)

    changes = [t for t, a, b in zip(sent, sweep, sweep[1:]) if bar_zone_at(area, a) != bar_zone_at(area, b)]
    stamps = sorted(t for t, kind, _, _ in x.events if kind == "damage")
    frames = []
    for t in stamps:
        if not frames or t - frames[-1] > 0.003:
            frames.append(t)
    ends = changes[1:] + [sent[-1] + 0.3]
    unshown = sum(1 for begin, end in zip(changes, ends) if not any(begin <= f < end for f in frames))
    reactions = [(next(f for f in frames if f >= c) - c) * 1000 for c in changes if any(f >= c for f in frames)]
    # A zone's highlight fades for 120 ms after each change: frame after frame is due then.
    missed, longest = 0, 0
    for c in changes:
        due = [f for f in frames if c <= f <= c + FADE]
        for a, b in zip(due, due[1:]):
            longest = max(longest, b - a)
            if b - a > 1.5 * STEP:
                missed += round((b - a) / STEP) - 1
    return {"frames": len(frames), "changes": len(changes), "unshown": unshown, "missed": missed,
            "longest": longest * 1000, "seconds": sent[-1] - sent[0],
            "reaction": (statistics.median(reactions), max(reactions)) if reactions else None}


def measure_cpu(x, pid, moving, seconds=10):
    before = threads_cpu_seconds(pid)
    began = time.monotonic()
    if moving:
        # Back and forth over 300 pixels in the middle of the screen, no button held.
        x.move_to(490, 400)
        path = [(490 + round(300 * there_and_back(i, 120)), 400) for i in range(int(seconds / STEP))]
        x.glide(path, STEP)
    else:
        time.sleep(seconds)
    return (threads_cpu_seconds(pid) - before) / (time.monotonic() - began) * 100


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--drags", type=int, default=20)
    args = parser.parse_args()
    status = own_session_bus()
    if status is not None:
        return status
    try:
        desktop = Desktop("openbox", OPENBOX_RC.format(double=""))
    except Skip as why:
        print(f"skipped: {why}")
        return 0
    rows = []
    try:
        desktop.run(["xset", "r", "off"])
        x = X(desktop.display)
        app = Tillory(desktop, args.tillory, desktop.tmp)
        client = Client(desktop, args.client, "--title", "Bench sheet", "--geometry", "500x300+300+200")

        latencies, misses = measure_drops(desktop, x, client.window, args.drags)
        if latencies:
            rows.append(("drop to final frame, median", f"{statistics.median(latencies):.1f} ms"))
            rows.append(("drop to final frame, p90", f"{percentile(latencies, 0.9):.1f} ms"))
            rows.append(("drop to final frame, max", f"{max(latencies):.1f} ms"))
        rows.append(("drags measured / missed", f"{len(latencies)} / {misses}"))

        compositors = [None] + (["xcompmgr"] if shutil.which("xcompmgr") else [])
        for compositor in compositors:
            cm = desktop.spawn([compositor, "-n"]) if compositor else None
            if cm:
                time.sleep(0.5)
            result = measure_overlay(desktop, x, app, client.window)
            if cm:
                cm.terminate()
                cm.wait(5)
            label = f"overlay ({compositor or 'no compositing manager'})"
            if not result:
                rows.append((label, "never mapped"))
                continue
            rows.append((f"{label}: frames in {result['seconds']:.1f} s at 60 Hz steps",
                         f"{result['frames']} (at most {round(result['seconds'] * 60)})"))
            rows.append((f"{label}: bar zone changes / shown by no frame",
                         f"{result['changes']} / {result['unshown']}"))
            if result["reaction"]:
                rows.append((f"{label}: zone change to next frame, median / max",
                             "{:.1f} / {:.1f} ms".format(*result["reaction"])))
            if compositor:
                rows.append((f"{label}: 60 Hz frames missed in the 120 ms fades", str(result["missed"])))
                rows.append((f"{label}: longest time between frames in the fades", f"{result['longest']:.1f} ms"))

        for snapping, settings in (("on", None), ("off", {"snapEnabled": "false"})):
            app.stop()
            app = Tillory(desktop, args.tillory, desktop.tmp, settings)
            time.sleep(2)  # start-up work done
            rows.append((f"CPU, 10 s idle, snapping {snapping}", f"{measure_cpu(x, app.proc.pid, False):.3f} %"))
            rows.append((f"CPU, 10 s pointer moving, no button, snapping {snapping}",
                         f"{measure_cpu(x, app.proc.pid, True):.3f} %"))
        app.stop()
    finally:
        desktop.close()
    width = max(len(r[0]) for r in rows)
    for name, value in rows:
        print(f"{name.ljust(width)}  {value}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
