#!/usr/bin/env python3
"""A long run of a real Tillory with every feature on, driven as a person would: does anything in it grow?

  python3 bench/soak.py --tillory build/release/src/app/tillory \
      --client build/release/tests/tillory_text_client [--minutes 60]

Runs on its own Xvfb with openbox, a tray host (trayer) and its own session bus, beside three text clients and a
test MPRIS player (tests/e2e/mpris_player.py). Every minute goes the same way: a copy (xclip) every 4 s throughout;
in its first 25 s or so the next track, the palette (Super+V held, Escape), the switcher (Super+Tab, then Escape or
letting go), a Control+Alt+Left/Right snap, a drag to a screen edge or onto the layout bar (then Snap Assist,
Escape), the layout picker (Control+Alt+Z, Escape) and the tray panel on its home, dashboard and clipboard pages;
after that only copies and one more track. Views are let go 30 s after they hide (the switcher's 10 minutes after,
so a session a minute keeps it), so each minute's reading at its end finds the same state: VmRSS, CPU over the
minute as a share of one core, open files and threads. It fails (exit 1) when RSS grew by 2 MiB or more from
minute 5 to the end, when threads varied by more than 1 or open files by more than 2 from minute 5 on, or when
Tillory died."""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tests", "e2e"))
from harness import Desktop, Skip, wait_for  # noqa: E402
from keyboard_e2e import Client, Tillory, hold_super_v, release_super, screenshot  # noqa: E402
from notch_e2e import Player  # noqa: E402
from panel_e2e import CPU_CHIP, CPU_RING, is_blue, open_panel, pixel, settled_layout, sheet_layout, \
    wait_closed  # noqa: E402
from snap_e2e import LEFT, OPENBOX_RC, RIGHT, Snapper, bar_zone_centre, place, right_edge, unit_frame, \
    wait_frame, workarea  # noqa: E402

TICK = os.sysconf("SC_CLK_TCK")
COPY_EVERY = 4
SETTINGS = {"clipboardEnabled": "true", "switcherEnabled": "true", "snapEnabled": "true", "notchEnabled": "true",
            "finderBackspaceDeletes": "true"}
TITLES = ("Alpha notes", "Beta sheet", "Gamma mail")


def reading(pid):
    """CPU seconds so far, VmRSS in KiB, open files and threads of the process."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    with open(f"/proc/{pid}/status") as f:
        status = dict(line.split(":", 1) for line in f)
    return ((int(fields[11]) + int(fields[12])) / TICK, int(status["VmRSS"].split()[0]),
            len(os.listdir(f"/proc/{pid}/fd")), int(status["Threads"]))


class Soak:
    def __init__(self, desktop, args, icon):
        self.desktop, self.args, self.icon = desktop, args, icon
        self.copies = 0
        self.tally = {}  # action -> [done, failed]
        self.clients = [Client(desktop, args.client, "--title", title, "--geometry",
                               f"520x320+{80 + 200 * i}+{140 + 110 * i}") for i, title in enumerate(TITLES)]
        self.player = Player(desktop, "soakplayer", "--length", str(3600 * 10**6))
        self.app = Tillory(desktop, args.tillory, desktop.tmp, SETTINGS, logging="tillory.clipboard.debug=true")
        self.snap = Snapper(desktop, self.app)
        self.area = workarea(desktop)
        self.minute = 0

    def copy(self):
        self.copies += 1
        # xclip stays behind owning the selection until the next copy takes it, then leaves.
        subprocess.run(["xclip", "-selection", "clipboard"], input=f"soak copy {self.copies} {time.time()}".encode(),
                       env=self.desktop.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)

    def wait_until(self, deadline):
        """Sleeps until `deadline`, copying every COPY_EVERY seconds meanwhile."""
        while True:
            now = time.monotonic()
            if now >= self.next_copy:
                self.copy()
                self.next_copy += COPY_EVERY
                continue
            if now >= deadline:
                return
            time.sleep(min(deadline, self.next_copy) - now)

    def act(self, name, body):
        counts = self.tally.setdefault(name, [0, 0])
        if self.app.proc.poll() is not None:
            raise RuntimeError(f"Tillory exited ({self.app.proc.returncode})")
        try:
            body()
            counts[0] += 1
        except (AssertionError, subprocess.TimeoutExpired) as why:
            counts[1] += 1
            print(f"    {name} did not complete: {why}", flush=True)
            # Whatever was left open or held must not spoil what follows.
            self.desktop.run(["xdotool", "mouseup", "1", "keyup", "super", "keyup", "ctrl", "keyup", "alt",
                              "key", "Escape"], check=False)
            time.sleep(0.5)

    def new_window(self, before):
        return set(self.app.visible_windows()) - before

    # What a person does.

    def palette(self):
        self.clients[self.minute % 3].activate()
        self.desktop.run(["xdotool", "mousemove", "640", "500"])
        try:
            hold_super_v(self.desktop, self.app)
            self.desktop.key("Escape")
        finally:
            release_super(self.desktop)
        wait_for(lambda: self.app.palette() is None, 5, "the palette to close")

    def switcher(self):
        before = set(self.app.visible_windows())
        self.desktop.run(["xdotool", "keydown", "super", "key", "--delay", "60", "Tab"])
        try:
            wait_for(lambda: self.new_window(before), 5, "the switcher")
            if self.minute % 2:
                self.desktop.run(["xdotool", "key", "Escape"])
        finally:
            release_super(self.desktop)
        wait_for(lambda: not self.new_window(before), 5, "the switcher to close")

    def chord(self):
        client = self.clients[self.minute % 3]
        client.activate()
        key, unit = ("Left", LEFT) if self.minute % 2 == 0 else ("Right", RIGHT)
        self.desktop.key(f"ctrl+alt+{key}")
        wait_frame(self.desktop, client.window, unit_frame(self.area, unit), f"Control+Alt+{key}")

    def drag(self):
        window = self.clients[(self.minute + 1) % 3].window
        place(self.desktop, window, (400, 250, 480, 300))
        if self.minute % 2 == 0:
            self.snap.drag(window, (right_edge(2), 400))
            wait_frame(self.desktop, window, unit_frame(self.area, RIGHT), "dragged to the right edge")
        else:
            self.snap.drag(window, bar_zone_centre(self.area, 0, 0))
            wait_frame(self.desktop, window, unit_frame(self.area, LEFT), "dropped on the bar's left half")
            self.snap.wait_panel(True, "Snap Assist")
            self.desktop.key("Escape")
        self.snap.wait_panel(False, "the snap overlay to go")

    def picker(self):
        self.clients[self.minute % 3].activate()
        self.desktop.key("ctrl+alt+z")
        self.snap.wait_panel(True, "the layout picker")
        self.desktop.key("Escape")
        self.snap.wait_panel(False, "the picker to close")

    def panel_page(self, page):
        frame = open_panel(self.desktop, self.app, self.icon)
        time.sleep(0.6)
        if page == "dashboard":
            self.desktop.run(["xdotool", "mousemove", str(frame[0] + CPU_RING[0]), str(frame[1] + CPU_RING[1]),
                              "click", "1"])
            shot = os.path.join(self.desktop.tmp, "soak-dashboard.png")
            wait_for(lambda: screenshot(self.desktop, shot) or
                     is_blue(pixel(shot, frame[0] + CPU_CHIP[0], frame[1] + CPU_CHIP[1])), 10, "the dashboard")
        elif page == "clipboard":
            _, (_, groups, _) = settled_layout(self.desktop, frame, self.desktop.tmp, "soak-home.png")
            if len(groups) < 3:
                raise AssertionError(f"no clipboard card on the home page: {groups}")
            card = groups[2]
            self.desktop.run(["xdotool", "mousemove", str(frame[0] + 160), str((card[0] + card[1]) // 2),
                              "click", "1"])
            shot = os.path.join(self.desktop.tmp, "soak-clipboard.png")
            wait_for(lambda: screenshot(self.desktop, shot) or sheet_layout(shot, frame)[1] != groups, 10,
                     "the clipboard page")
        time.sleep(1)
        self.desktop.key("Escape")
        wait_closed(self.app, f"Escape on the {page} page")
        self.desktop.run(["xdotool", "mousemove", "640", "500"])

    def run(self):
        track = lambda: self.player.send("next")  # noqa: E731
        actions = [("track", track), ("palette", self.palette), ("switcher", self.switcher),
                   ("chord", self.chord), ("drag", self.drag), ("picker", self.picker),
                   ("panel home", lambda: self.panel_page("home")),
                   ("panel dashboard", lambda: self.panel_page("dashboard")),
                   ("panel clipboard", lambda: self.panel_page("clipboard"))]
        time.sleep(5)  # start-up, the tray icon and the first cover
        pid = self.app.proc.pid
        start = time.monotonic()
        self.next_copy = start
        samples = [(0, *reading(pid), start)]
        print(f"Tillory {pid}, {self.args.minutes} min; minute 0: VmRSS {samples[0][2] / 1024:.1f} MiB, "
              f"files {samples[0][3]}, threads {samples[0][4]}", flush=True)
        for minute in range(1, self.args.minutes + 1):
            self.minute = minute
            begin = start + 60 * (minute - 1)
            for i, (name, body) in enumerate(actions):
                self.wait_until(begin + 1 + 2.5 * i)
                self.act(name, body)
            quiet_from = time.monotonic()
            self.wait_until(begin + 40)
            self.act("track", track)
            self.wait_until(start + 60 * minute)
            # What the player and the clients print is read and dropped: full pipes would stall them.
            self.player.read()
            self.player.lines.clear()
            for client in self.clients:
                client._read()
                client.lines.clear()
            if self.app.proc.poll() is not None:
                raise RuntimeError(f"Tillory exited ({self.app.proc.returncode})")
            now = time.monotonic()
            cpu, rss, files, threads = reading(pid)
            cpu_share = 100 * (cpu - samples[-1][1]) / (now - samples[-1][5])
            samples.append((minute, cpu, rss, files, threads, now))
            print(f"minute {minute:3d}  VmRSS {rss / 1024:7.1f} MiB  CPU {cpu_share:5.2f} %  files {files:3d}  "
                  f"threads {threads:3d}  copies {self.copies}  views shut {now - quiet_from:.0f} s", flush=True)
        return samples

    def summary(self, samples):
        base = samples[min(5, len(samples) - 1)]
        after = [s for s in samples if s[0] >= base[0]]
        growth = (samples[-1][2] - base[2]) / 1024
        files, threads = [s[3] for s in after], [s[4] for s in after]
        checks = [(growth < 2, f"RSS at minute {base[0]} {base[2] / 1024:.1f} MiB, at minute {samples[-1][0]} "
                               f"{samples[-1][2] / 1024:.1f} MiB: growth {growth:+.2f} MiB (under 2 MiB)"),
                  (max(files) - min(files) <= 2, f"open files from minute {base[0]}: {min(files)}..{max(files)}"),
                  (max(threads) - min(threads) <= 1, f"threads from minute {base[0]}: {min(threads)}..{max(threads)}")]
        total_cpu = 100 * (samples[-1][1] - samples[0][1]) / (samples[-1][5] - samples[0][5])
        print(f"Summary over {samples[-1][0]} min ({self.copies} copies; CPU {total_cpu:.2f} % of one core):")
        print("  actions: " + ", ".join(f"{name} {ok}" + (f" ({bad} failed)" if bad else "")
                                        for name, (ok, bad) in self.tally.items()))
        for ok, text in checks:
            print(f"  {'pass' if ok else 'FAIL'}: {text}")
        return all(ok for ok, _ in checks)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--client", required=True, help="tests' text client (tillory_text_client)")
    parser.add_argument("--minutes", type=int, default=60)
    args = parser.parse_args()
    if os.environ.get("TILLORY_SOAK_BUS") != "1":
        # A bus of its own: the player, the tray and Tillory must not meet the user's.
        return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv],
                               env=dict(os.environ, TILLORY_SOAK_BUS="1"))
    try:
        desktop = Desktop(manager_config=OPENBOX_RC.format(double=""))
    except Skip as why:
        print(f"cannot run: {why}")
        return 1
    try:
        desktop.run(["xset", "r", "off"])
        icon = desktop.start_tray()
        if icon is None:
            print("cannot run: trayer is not installed")
            return 1
        desktop.run(["xdotool", "mousemove", "640", "500"])
        soak = Soak(desktop, args, icon)
        try:
            passed = soak.summary(soak.run())
        finally:
            soak.player.quit()
            soak.app.stop()
    except (AssertionError, RuntimeError) as why:
        print(f"FAIL: {why}")
        return 1
    finally:
        desktop.close()
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
