#!/usr/bin/env python3
"""Tillory beside the single-purpose tools it stands in for, measured in one run, alternating, and printed as a
Markdown table of medians with the ratio Tillory / peer.

  python3 bench/peers_compare.py [--runs 5] [--seconds 60] [--only ROW[,ROW...]] [--build build/release]
      [--tillory PATH] [--probe PATH] [--client PATH] [--sessions 10] [--windows 10,50,200] [--drops 20]

Rows (--only takes their names):
  switcher    the switcher's key press to its window mapped and to its first frame, with 10, 50 and 200 windows,
              beside alttab
  background  every feature on, no view shown, no player, a copy every 3 s: CPU, memory and threads, beside
              copyq's server getting the same copies
  island      a track playing, the island collapsed, the pointer far and resting in the top 112 px: CPU and
              memory, beside `playerctl --follow metadata`
  dashboard   the tray panel's dashboard open on the processor (1 s sampling): CPU and memory, beside btop and
              htop refreshing every second in a 120 x 40 pseudo-terminal
  snap        a window dropped at a screen edge to its half-screen frame, beside openbox moving and resizing it to
              the same frame from a key binding

Every row runs on a desktop of its own (Xvfb 1280 x 800 and openbox), all under one session bus of its own. Each
program is started afresh for each of the --runs runs and measured alone; the order flips every run (ABBA) so that
a machine growing busier or quieter weighs on both alike. CPU is user + system time from /proc of the process
and its children over the window, as a share of one core. Missing peers are installed with apt-get (as root);
otherwise their columns say so. Defaults take about an hour.

Needs a release build (cmake --preset release && cmake --build --preset release) and what
scripts/install-deps.sh installs."""

import argparse
import ctypes
import fcntl
import math
import os
import platform
import shutil
import signal
import struct
import subprocess
import sys
import termios
import threading
import time
import traceback

import measure  # puts tests/e2e on the path too
from measure import CpuReading, ensure_peer, median, tree_memory
from harness import Desktop, Skip, wait_for
from keyboard_e2e import Client, copy, screenshot
from keyboard_e2e import Tillory as E2eTillory
import notch_compare
import panel_e2e
import snap_compare
import switcher_compare
from snap_e2e import OPENBOX_RC as SNAP_OPENBOX_RC, close, frame, unit_frame, workarea

ROWS = ("switcher", "background", "island", "dashboard", "snap")
PEERS = {"switcher": ["alttab"], "background": ["copyq"], "island": ["playerctl"], "dashboard": ["btop", "htop"],
         "snap": []}
EVERY_FEATURE = {"clipboardEnabled": "true", "switcherEnabled": "true", "snapEnabled": "true",
                 "notchEnabled": "true", "finderBackspaceDeletes": "true"}
SETTLE = 5  # seconds after a start before measuring: start-up work, first polls and first paints are done
COPY_EVERY = 3  # seconds: 20 copies a minute
POINTER_FAR = (640, 600)
POINTER_TOP = (160, 60)  # inside the top 112 px (the island's 32 and 80 below it), well beside the island
TERMINAL = (40, 120)  # rows, columns of the monitors' pseudo-terminal


def log(*words):
    print(*words, file=sys.stderr, flush=True)


def in_order(run, contenders):
    """ABBA: the contenders in turn, the other way round on every second run."""
    return list(contenders) if run % 2 == 0 else list(reversed(contenders))


def load():
    return os.getloadavg()


class Row:
    """One row's figures: samples per (program, measure), and what the table says about them."""

    def __init__(self, key, title):
        self.key, self.title = key, title
        self.samples = {}
        self.lines = []  # (measure, unit, digits, tillory key, peer name, peer key)
        self.how = ""
        self.notes = []
        self.load = (load(), None)

    def add(self, who, what, value):
        self.samples.setdefault((who, what), []).append(value)

    def median(self, who, what):
        return median(self.samples.get((who, what), []))

    def line(self, what, unit, digits, peer=None, peer_what=None, tillory_what=None):
        self.lines.append((what, unit, digits, tillory_what or what, peer, peer_what or what))


def watch(pid, seconds, action=None, every=COPY_EVERY):
    """The process tree's CPU over `seconds` as % of one core, calling action(n) every `every` seconds from the
    start meanwhile; answers the CPU and how often the action ran."""
    cpu0, t0 = CpuReading(pid), time.monotonic()
    done = 0
    while True:
        now = time.monotonic()
        if now - t0 >= seconds:
            break
        if action and now >= t0 + done * every:
            action(done)
            done += 1
        wake = t0 + seconds
        if action:
            wake = min(wake, t0 + done * every)
        time.sleep(max(0.0, wake - time.monotonic()))
    cpu1, t1 = CpuReading(pid), time.monotonic()
    return 100 * cpu1.since(cpu0) / (t1 - t0), done


def stop_tree(proc, ask=None, env=None, timeout=10):
    """Ends a program we started and any helpers it left behind: the command `ask` first (a polite request, run
    with `env`), else SIGTERM."""
    if proc.poll() is not None:
        return
    tree = [(pid, started_at(pid)) for pid in measure.process_tree(proc.pid)]
    if ask:
        subprocess.run(ask, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout,
                       check=False)
    try:
        proc.wait(timeout if ask else 0.01)
    except subprocess.TimeoutExpired:
        proc.terminate()
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    for pid, started in tree[1:]:
        # The same process still, not a new one that got its number.
        if started is not None and started_at(pid) == started:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass


def started_at(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[19]
    except (FileNotFoundError, ProcessLookupError, IndexError):
        return None


def fresh_home(desktop, name):
    path = os.path.join(desktop.tmp, f"{name}-{time.monotonic_ns()}")
    os.makedirs(os.path.join(path, "config"))
    return path


# --- Switcher ------------------------------------------------------------------------------------------------------

def switcher_sessions(probe, modifier, count, ready_within=15):
    """One warm-up session (retried until the switcher answers), then `count` timed ones: (mapped, painted) in ms,
    -1 where it did not show; and how many did not open or close."""
    deadline = time.monotonic() + ready_within
    while True:
        _, mapped, _ = switcher_compare.session(probe, modifier)
        if mapped >= 0:
            break
        if time.monotonic() > deadline:
            raise AssertionError(f"no switcher window appeared for {modifier}+Tab in {ready_within} s")
        time.sleep(0.5)
    timings, failed = [], 0
    for _ in range(count):
        try:
            _, mapped, painted = switcher_compare.session(probe, modifier)
        except AssertionError:
            failed += 1
            continue
        if mapped < 0:
            failed += 1
        timings.append((mapped, painted))
    return timings, failed


def row_switcher(args, row):
    desktop = Desktop()  # no key bindings of openbox's own: Alt+Tab and Super+Tab are free
    try:
        desktop.run(["xset", "r", "off"])
        probe = switcher_compare.Probe(desktop, args.probe)
        have_alttab = shutil.which("alttab") is not None
        made, failures = 0, {"tillory": 0, "alttab": 0}
        for count in args.windows:
            answer = probe.ask(f"windows {count - made}")
            if answer != f"windows {count - made}":
                raise AssertionError(f"openbox did not manage the probe's windows: {answer}")
            made = count
            for run in range(args.runs):
                for who in in_order(run, ["tillory"] + (["alttab"] if have_alttab else [])):
                    log(f"  switcher, {count} windows, run {run + 1}: {who}")
                    if who == "tillory":
                        app = switcher_compare.Tillory(desktop, args.tillory, os.path.join(desktop.tmp, "home"))
                        proc, modifier = app.proc, "super"
                    else:
                        proc = desktop.spawn(["alttab"], env=desktop.env(HOME=fresh_home(desktop, "alttab")))
                        app, modifier = None, "alt"
                    try:
                        time.sleep(switcher_compare.SETTLE)
                        timings, failed = switcher_sessions(probe, modifier, args.sessions)
                    finally:
                        if app:
                            app.stop()
                        else:
                            stop_tree(proc)
                    failures[who] += failed
                    for mapped, painted in timings:
                        if mapped >= 0:
                            row.add(who, f"mapped {count}", mapped)
                        if painted >= 0:
                            row.add(who, f"painted {count}", painted)
        peer = "alttab" if have_alttab else None
        for count in args.windows:
            row.line(f"{count} windows: key press to switcher window mapped", "ms", 1, peer,
                     tillory_what=f"mapped {count}", peer_what=f"mapped {count}")
            row.line(f"{count} windows: key press to its first frame on screen", "ms", 1, peer,
                     tillory_what=f"painted {count}", peer_what=f"painted {count}")
        row.notes += [f"{who}: {n} sessions did not open or close" for who, n in failures.items() if n]
        if not have_alttab:
            row.notes.append("alttab is not installed: its column is empty")
    finally:
        desktop.close()
    sessions = args.runs * args.sessions
    row.how = (f"{', '.join(map(str, args.windows))} plain 800x600 windows (bench/switcher_probe.cpp) under openbox; "
               "the probe presses the chord through XTest and times, from the press reaching the X server, the "
               "MapNotify of the switcher's override-redirect window seen on the root and the first change of its "
               f"pixels on screen; Tillory on Super+Tab (live thumbnails), alttab on its default Alt+Tab (icons "
               f"only); each started afresh per run after {switcher_compare.SETTLE} s, one warm-up session, then "
               f"median of {sessions} sessions ({args.runs} runs x {args.sessions}), closed with Escape")


# --- Background: every feature on, copies --------------------------------------------------------------------------

class CopyQ:
    def __init__(self, desktop):
        home = fresh_home(desktop, "copyq")
        self.env = desktop.env(HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"),
                               XDG_DATA_HOME=os.path.join(home, "data"), XDG_CACHE_HOME=os.path.join(home, "cache"))
        self.proc = desktop.spawn(["copyq"], env=self.env)
        wait_for(lambda: self.count() is not None, 20, "copyq's server to answer")

    def count(self):
        if self.proc.poll() is not None:
            raise AssertionError(f"copyq exited ({self.proc.returncode})")
        result = subprocess.run(["copyq", "count"], env=self.env, capture_output=True, text=True, timeout=20)
        return int(result.stdout) if result.returncode == 0 and result.stdout.strip().isdigit() else None

    def stop(self):
        stop_tree(self.proc, ask=["copyq", "exit"], env=self.env)


def row_background(args, row):
    desktop = Desktop()
    have_copyq = shutil.which("copyq") is not None
    try:
        for run in range(args.runs):
            for who in in_order(run, ["tillory"] + (["copyq"] if have_copyq else [])):
                log(f"  background, run {run + 1}: {who}")
                if who == "tillory":
                    app = E2eTillory(desktop, args.tillory, fresh_home(desktop, "tillory"), EVERY_FEATURE,
                                     logging="tillory.clipboard.debug=true")
                    pid = app.proc.pid
                else:
                    app = CopyQ(desktop)
                    pid = app.proc.pid
                    before = app.count()
                try:
                    time.sleep(SETTLE)
                    cpu, copies = watch(pid, args.seconds,
                                        lambda n, r=run, w=who: copy(desktop, f"peers bench {w} {r} copy {n}"))
                    rss, pss, threads, processes = tree_memory(pid)
                    if who == "tillory":
                        recorded = app.output().count("recorded copy of")
                    else:
                        time.sleep(1)
                        recorded = (app.count() or 0) - (before or 0)
                finally:
                    app.stop()
                if recorded < copies - 1:
                    row.notes.append(f"{who} run {run + 1}: recorded {recorded} of {copies} copies")
                row.add(who, "cpu", cpu)
                row.add(who, "rss", rss)
                row.add(who, "pss", pss)
                row.add(who, "threads", threads)
                row.add(who, "processes", processes)
    finally:
        desktop.close()
    peer = "copyq" if have_copyq else None
    row.line("CPU, % of one core", "%", 2, peer, tillory_what="cpu", peer_what="cpu")
    row.line("resident memory (RSS)", "MiB", 1, peer, tillory_what="rss", peer_what="rss")
    row.line("proportional memory (PSS)", "MiB", 1, peer, tillory_what="pss", peer_what="pss")
    row.line("threads", "", 0, peer, tillory_what="threads", peer_what="threads")
    if not have_copyq:
        row.notes.append("copyq is not installed: its column is empty")
    processes = row.median("copyq", "processes")
    row.how = (f"Tillory with every feature on, no view shown, no player, and copyq's server (`copyq`, a fresh "
               f"profile), each with a new text put on the clipboard by xclip every {COPY_EVERY} s; after {SETTLE} s, "
               f"CPU of the process and its children over {args.seconds:.0f} s, memory summed over them at the end"
               f"{f' (copyq: {processes:.0f} processes)' if processes else ''}; median of {args.runs} runs")


# --- Island --------------------------------------------------------------------------------------------------------

def row_island(args, row):
    desktop = Desktop()
    have_playerctl = shutil.which("playerctl") is not None
    player = None
    try:
        player = notch_compare.Player(desktop, "benchplayer", "--length", str(3600 * 10**6))
        contenders = ["tillory far", "tillory top"] + (["playerctl"] if have_playerctl else [])
        for run in range(args.runs):
            for who in in_order(run, contenders):
                log(f"  island, run {run + 1}: {who}")
                if who.startswith("tillory"):
                    pointer = POINTER_FAR if who.endswith("far") else POINTER_TOP
                    desktop.run(["xdotool", "mousemove", *map(str, pointer)])
                    app = E2eTillory(desktop, args.tillory, fresh_home(desktop, "tillory"), EVERY_FEATURE,
                                     logging="tillory.clipboard.debug=true")
                    proc = app.proc
                else:
                    out = os.path.join(desktop.tmp, f"playerctl-{run}.out")
                    with open(out, "w") as sink:
                        proc = desktop.spawn(["playerctl", "--follow", "metadata"], stdout=sink)
                try:
                    time.sleep(SETTLE)  # start-up, the first polls and the cover are done
                    cpu, _ = watch(proc.pid, args.seconds)
                    rss, _, threads, _ = tree_memory(proc.pid)
                finally:
                    if who.startswith("tillory"):
                        app.stop()
                    else:
                        stop_tree(proc)
                if who == "playerctl" and os.path.getsize(out) == 0:
                    row.notes.append(f"playerctl run {run + 1} printed nothing: it did not see the player")
                row.add(who, "cpu", cpu)
                row.add(who, "rss", rss)
                row.add(who, "threads", threads)
    finally:
        if player:
            player.quit()
        desktop.close()
    peer = "playerctl" if have_playerctl else None
    row.line("CPU, pointer far, % of one core", "%", 2, peer, tillory_what=("tillory far", "cpu"), peer_what="cpu")
    row.line("CPU, pointer resting in the top 112 px", "%", 2, peer, tillory_what=("tillory top", "cpu"),
             peer_what="cpu")
    row.line("resident memory (RSS), pointer far", "MiB", 1, peer, tillory_what=("tillory far", "rss"),
             peer_what="rss")
    if not have_playerctl:
        row.notes.append("playerctl is not installed: its column is empty")
    row.how = (f"a test MPRIS player (tests/e2e/mpris_player.py) playing a 10-hour track; Tillory with every feature "
               f"on and the island collapsed, the pointer at {POINTER_FAR} or resting at {POINTER_TOP}; `playerctl "
               f"--follow metadata` printing to a file; after {SETTLE} s, CPU over {args.seconds:.0f} s; median of "
               f"{args.runs} runs")


# --- Dashboard -----------------------------------------------------------------------------------------------------

def _controlling_terminal():
    os.setsid()
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)


class Terminal:
    """A program on a pseudo-terminal of TERMINAL's size whose output is read and dropped, as a terminal emulator
    that draws nothing would."""

    def __init__(self, desktop, command, env):
        master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", TERMINAL[0], TERMINAL[1], 0, 0))
        self.master = master
        self.tail = b""
        self.proc = subprocess.Popen(command, stdin=slave, stdout=slave, stderr=slave, env=env, close_fds=True,
                                     preexec_fn=_controlling_terminal)
        desktop.procs.append(self.proc)
        os.close(slave)
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()

    def _drain(self):
        while True:
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                return
            if not chunk:
                return
            self.tail = (self.tail + chunk)[-2048:]

    def check(self, name):
        if self.proc.poll() is not None:
            raise AssertionError(f"{name} exited ({self.proc.returncode}): {self.tail[-400:]!r}")

    def stop(self):
        stop_tree(self.proc)
        os.close(self.master)
        self.reader.join(5)


def start_monitor(desktop, name):
    home = fresh_home(desktop, name)
    env = desktop.env(HOME=home, XDG_CONFIG_HOME=os.path.join(home, "config"), TERM="xterm-256color",
                      LANG="C.UTF-8", LC_ALL="C.UTF-8", COLUMNS=str(TERMINAL[1]), LINES=str(TERMINAL[0]))
    if name == "btop":
        os.makedirs(os.path.join(home, "config", "btop"))
        with open(os.path.join(home, "config", "btop", "btop.conf"), "w") as f:
            f.write("update_ms = 1000\n")
        command = ["btop", "--utf-force"]
    else:
        command = ["htop", "--delay=10"]  # tenths of a second
    return Terminal(desktop, command, env)


def open_dashboard(desktop, app, tray):
    frame_ = panel_e2e.open_panel(desktop, app, tray)
    panel_e2e.click(desktop, frame_[0] + panel_e2e.CPU_RING[0], frame_[1] + panel_e2e.CPU_RING[1])
    shot = os.path.join(desktop.tmp, "dashboard.png")

    def on_cpu():
        screenshot(desktop, shot)
        return panel_e2e.is_blue(panel_e2e.pixel(shot, frame_[0] + panel_e2e.CPU_CHIP[0],
                                                 frame_[1] + panel_e2e.CPU_CHIP[1]))
    wait_for(on_cpu, 10, "the dashboard to open on the processor")
    # Off the panel, without a click (which would close it): no hover on a process row meanwhile.
    desktop.run(["xdotool", "mousemove", "200", "600"])


def row_dashboard(args, row):
    desktop = Desktop()
    monitors = [m for m in ("btop", "htop") if shutil.which(m)]
    try:
        tray = desktop.start_tray()
        if tray is None:
            raise Skip("trayer is not installed (the dashboard opens from the tray panel)")
        for run in range(args.runs):
            for who in in_order(run, ["tillory"] + monitors):
                log(f"  dashboard, run {run + 1}: {who}")
                if who == "tillory":
                    app = E2eTillory(desktop, args.tillory, fresh_home(desktop, "tillory"), EVERY_FEATURE,
                                     logging="tillory.clipboard.debug=true")
                    try:
                        time.sleep(1)  # the tray icon is embedded after start-up
                        open_dashboard(desktop, app, tray)
                        time.sleep(SETTLE)
                        if not panel_e2e.panel(app):
                            raise AssertionError("the panel closed before the measurement")
                        cpu, _ = watch(app.proc.pid, args.seconds)
                        rss, _, threads, _ = tree_memory(app.proc.pid)
                        if not panel_e2e.panel(app):
                            raise AssertionError("the panel closed during the measurement")
                    finally:
                        app.stop()
                else:
                    term = start_monitor(desktop, who)
                    try:
                        time.sleep(SETTLE)
                        term.check(who)
                        cpu, _ = watch(term.proc.pid, args.seconds)
                        term.check(who)
                        rss, _, threads, _ = tree_memory(term.proc.pid)
                    finally:
                        term.stop()
                row.add(who, "cpu", cpu)
                row.add(who, "rss", rss)
                row.add(who, "threads", threads)
    finally:
        desktop.close()
    for peer in monitors or [None]:
        row.line("CPU, % of one core", "%", 2, peer, tillory_what="cpu", peer_what="cpu")
    for peer in monitors or [None]:
        row.line("resident memory (RSS)", "MiB", 1, peer, tillory_what="rss", peer_what="rss")
    for missing in {"btop", "htop"} - set(monitors):
        row.notes.append(f"{missing} is not installed: left out")
    row.how = (f"Tillory's tray panel opened from trayer and its dashboard on the processor (process list, 1 s "
               f"sampling), the pointer off the panel; btop (update_ms = 1000) and htop (--delay=10) each on a "
               f"{TERMINAL[1]}x{TERMINAL[0]} pseudo-terminal whose output is read and dropped; after {SETTLE} s, CPU "
               f"over {args.seconds:.0f} s; median of {args.runs} runs")


# --- Snapping ------------------------------------------------------------------------------------------------------

class KeyX(snap_compare.X):
    """The snap bench's X connection, with keys."""

    def __init__(self, display):
        super().__init__(display)
        self.x11.XStringToKeysym.argtypes, self.x11.XStringToKeysym.restype = [ctypes.c_char_p], ctypes.c_ulong
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.restype = ctypes.c_int

    def tap(self, name):
        code = self.x11.XKeysymToKeycode(self.dpy, self.x11.XStringToKeysym(name.encode()))
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        self.xtst.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x11.XFlush(self.dpy)


# openbox moves and resizes the front window to a half of the screen on these keys, which nothing else here uses.
HALF_KEYS = {"left": "F9", "right": "F10"}


def half_screen_bindings(desktop):
    """openbox key bindings that give the front window the frames snapping gives it (MoveResizeTo's numbers are
    the frame's, decorations included), and those frames."""
    area = workarea(desktop)
    binds, frames = [], {}
    for side, unit in (("left", (0, 0, 0.5, 1)), ("right", (0.5, 0, 0.5, 1))):
        frames[side] = unit_frame(area, unit)
        x, y, w, h = (round(v) for v in frames[side])
        binds.append(f'<keybind key="{HALF_KEYS[side]}"><action name="MoveResizeTo"><x>{x}</x><y>{y}</y>'
                     f'<width>{w}</width><height>{h}</height></action></keybind>')
    return "".join(binds), frames


def measure_key_moves(desktop, x, window, frames, moves):
    """openbox's own move and resize to a half: from the key press sent to the X server to the ConfigureNotify that
    gives the frame its final geometry; each move goes to the half the window is not in."""
    top = x.top_level(window)
    latencies, misses = [], 0
    for _ in range(moves):
        side = "left" if close(frame(desktop, window), frames["right"]) else "right"
        x.pump(time.monotonic() + 0.05)
        x.events.clear()
        pressed = time.monotonic()
        x.tap(HALF_KEYS[side])
        x.pump(pressed + 1.0)
        mine = [(t, geometry) for t, kind, w, geometry in x.events if kind == "configure" and w == top]
        if not mine or not close(frame(desktop, window), frames[side]):
            misses += 1
            continue
        final = mine[-1][1]
        reached = next(t for t, geometry in mine if geometry == final)
        latencies.append((reached - pressed) * 1000)
    return latencies, misses


def row_snap(args, row):
    rc = SNAP_OPENBOX_RC.format(double="")
    desktop = Desktop("openbox", rc)
    try:
        desktop.run(["xset", "r", "off"])
        x = KeyX(desktop.display)
        client = Client(desktop, args.client, "--title", "Bench sheet", "--geometry", "500x300+300+200")
        binds, frames = half_screen_bindings(desktop)
        with open(os.path.join(desktop.tmp, "openbox-rc.xml"), "w") as f:
            f.write(rc.replace("<keyboard></keyboard>", f"<keyboard>{binds}</keyboard>"))
        desktop.run(["openbox", "--reconfigure"])
        time.sleep(0.5)
        per_run = math.ceil(args.drops / args.runs)
        missed = {"tillory": 0, "openbox": 0}
        for run in range(args.runs):
            for who in in_order(run, ["tillory", "openbox"]):
                log(f"  snap, run {run + 1}: {who}")
                if who == "tillory":
                    app = E2eTillory(desktop, args.tillory, fresh_home(desktop, "tillory"))
                    try:
                        time.sleep(1)
                        latencies, misses = snap_compare.measure_drops(desktop, x, client.window, per_run)
                    finally:
                        app.stop()
                else:
                    client.activate()
                    latencies, misses = measure_key_moves(desktop, x, client.window, frames, per_run)
                missed[who] += misses
                for value in latencies:
                    row.add(who, "latency", value)
        row.notes += [f"{who}: {n} of {per_run * args.runs} moves missed the half-screen frame"
                      for who, n in missed.items() if n]
    finally:
        desktop.close()
    row.line("drop to final frame (openbox: key press to final frame)", "ms", 1, "openbox", tillory_what="latency",
             peer_what="latency")
    row.how = (f"a Qt text window (tests/tillory_text_client) under openbox: Tillory's drop at a side edge (bench/"
               f"snap_compare.py: pointer driven through XTest, from the button release sent to the ConfigureNotify "
               f"of the frame's final geometry) beside openbox's MoveResizeTo bound to a key, to the same half-screen "
               f"frame, from the key press sent; {per_run} of each per run, {args.runs} runs, median of all")


# --- Table ---------------------------------------------------------------------------------------------------------

def shown(value, unit, digits):
    if value is None:
        return "—"
    if digits == 0:
        text = f"{value:.0f}" if float(value).is_integer() else f"{value:.1f}"
    else:
        if 0 < abs(value) < 10 ** -digits:
            digits = 1 - math.floor(math.log10(abs(value)))  # two significant figures of a small figure
        text = f"{value:.{digits}f}"
    return f"{text} {unit}".strip() if unit != "%" else f"{text} %"


def table(rows, args):
    out = ["| Row | Measure | Tillory | Peer | Peer's | Tillory / peer |", "| --- | --- | ---: | --- | ---: | ---: |"]
    for row in rows:
        first = True
        if not row.lines:
            out.append(f"| {row.title} | not measured | — | | | |")
            continue
        for what, unit, digits, tillory_what, peer, peer_what in row.lines:
            tillory_key = tillory_what if isinstance(tillory_what, tuple) else ("tillory", tillory_what)
            mine = row.median(*tillory_key)
            theirs = row.median(peer, peer_what) if peer else None
            ratio = f"{mine / theirs:.2f}" if mine is not None and theirs else "—"
            out.append(f"| {row.title if first else ''} | {what} | {shown(mine, unit, digits)} | {peer or '—'} | "
                       f"{shown(theirs, unit, digits)} | {ratio} |")
            first = False
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5, help="times each program is started and measured (default 5)")
    parser.add_argument("--seconds", type=float, default=60, help="the window CPU is read over (default 60)")
    parser.add_argument("--only", action="append", default=[],
                        help=f"rows to run, comma separated or repeated: {', '.join(ROWS)} (default: all)")
    parser.add_argument("--build", default=os.path.join(measure.REPO, "build", "release"),
                        help="the build folder the programs below come from (default build/release)")
    parser.add_argument("--tillory", help="the Tillory binary (default BUILD/src/app/tillory)")
    parser.add_argument("--probe", help="the switcher probe (default BUILD/bench/tillory_switcher_probe)")
    parser.add_argument("--client", help="the text client (default BUILD/tests/tillory_text_client)")
    parser.add_argument("--sessions", type=int, default=10, help="switcher sessions timed per run (default 10)")
    parser.add_argument("--windows", default="10,50,200", help="window counts for the switcher (default 10,50,200)")
    parser.add_argument("--drops", type=int, default=20, help="drops (and openbox moves) in all (default 20)")
    args = parser.parse_args()
    args.windows = sorted(int(n) for n in args.windows.split(","))
    only = [name.strip() for item in args.only for name in item.split(",") if name.strip()] or list(ROWS)
    unknown = [name for name in only if name not in ROWS]
    if unknown:
        parser.error(f"unknown rows {unknown}; choose from {', '.join(ROWS)}")
    if args.runs < 1:
        parser.error("--runs must be 1 or more")
    args.tillory = args.tillory or os.path.join(args.build, "src", "app", "tillory")
    args.probe = args.probe or os.path.join(args.build, "bench", "tillory_switcher_probe")
    args.client = args.client or os.path.join(args.build, "tests", "tillory_text_client")
    needed = [args.tillory] + ([args.probe] if "switcher" in only else []) + ([args.client] if "snap" in only else [])
    missing = [path for path in needed if not os.access(path, os.X_OK)]
    if missing:
        print(f"not built: {', '.join(missing)} (cmake --preset release && cmake --build --preset release)")
        return 2

    if not shutil.which("dbus-daemon"):
        print("dbus-daemon is not installed (apt-get install dbus)")
        return 2
    bus = measure.PrivateSessionBus()
    try:
        return run_rows(args, only)
    finally:
        bus.close()


def run_rows(args, only):
    for row in only:
        for peer in PEERS[row]:
            ensure_peer(peer)

    titles = {"switcher": "Switcher", "background": "Staying on", "island": "Island", "dashboard": "Dashboard",
              "snap": "Snapping"}
    functions = {"switcher": row_switcher, "background": row_background, "island": row_island,
                 "dashboard": row_dashboard, "snap": row_snap}
    started = load()
    rows = []
    for key in ROWS:
        if key not in only:
            continue
        row = Row(key, titles[key])
        log(f"{row.title}...")
        try:
            functions[key](args, row)
        except Exception as why:  # noqa: BLE001 - one row failing leaves the others to run
            row.notes.append(f"not measured: {why}")
            log(traceback.format_exc())
        for (who, what), values in row.samples.items():
            if what == "cpu" and not who.startswith("tillory") and median(values) == 0:
                row.notes.append(f"{who} did not run at all in the windows measured (no CPU time): no ratio")
        row.load = (row.load[0], load())
        rows.append(row)

    print(f"Tillory beside its peers: {os.cpu_count()} cores, {platform.release()}, {args.runs} runs, "
          f"{args.seconds:.0f} s windows, {time.strftime('%Y-%m-%d')}; load average {started[0]:.2f} at the start, "
          f"{load()[0]:.2f} at the end")
    print()
    print(table(rows, args))
    print()
    for row in rows:
        (a, _, _), (b, _, _) = row.load
        print(f"- {row.title} (load average {a:.2f} → {b:.2f}): {row.how or 'not measured'}.")
        for note in row.notes:
            print(f"  - {note}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
