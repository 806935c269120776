#!/usr/bin/env python3
"""The now-playing island on a real X server against real MPRIS players of our own (mpris_player.py) on a private
session bus: the island shows the playing track (its cover in the strip, title and artist on the card), hovering
expands it, the card's buttons pause, play, skip and go back in the player, a drag on the scrubber seeks, a volume
remembered for one player is handed back to it after another player was shown, a second player that starts
playing waits until the shown one pauses, the shown player keeps the card while paused and Play resumes it, and a
player that quits clears the island; with mpv (and its MPRIS plug-in) beside a test player, the card's Play
goes to the player shown, pausing keeps the card and each keeps its own volume. What Tillory did is checked from
the players' side (the calls they received) and from the screen's pixels. Every step runs and reports; the test fails when one did.
Runs under its own session bus (dbus-run-session)."""

import argparse
import os
import shutil
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Desktop, Skip, wait_for  # noqa: E402
from keyboard_e2e import Client, Tillory, check, screenshot  # noqa: E402
from snap_e2e import OPENBOX_MAXIMISES, OPENBOX_RC, frame, maximised  # noqa: E402

PLAYER_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mpris_player.py")
SYSTEM_PYTHON = "/usr/bin/python3"  # where Debian's python3-dbus and python3-gi are
POLL_WAIT = 15  # the collapsed island asks the players every 4 s; a loaded machine answers late

# The island on a 1280 x 800 screen without a panel: a notch area 200 x 32 at the top centre, so the strip is
# 264 x 32 (4 + 200 beside 30-point wings), the card 440 x 104 eight below the notch. Inside the card, padded
# 14 x 11: the 52-point cover, the title and artist, three 26-point buttons 6 apart at the right, and 7 below
# them the scrubber row (12 high) of a 30-point time, the bar and a 30-point time, 8 apart.
SCREEN_W = 1280
STRIP = (SCREEN_W // 2 - 132, 0, 264, 32)
LEFT_WING = (STRIP[0], 0, 30, 32)
CARD = (SCREEN_W // 2 - 220, 40, 440, 104)
CONTENT_X, ROW_Y = CARD[0] + 14, CARD[1] + 11
COVER = (CONTENT_X, ROW_Y, 52, 52)
BUTTONS_X = CONTENT_X + 412 - 3 * 26 - 2 * 6
PREVIOUS, PLAY_PAUSE, NEXT = ((BUTTONS_X + 13 + 32 * i, ROW_Y + 26) for i in range(3))
BAR_X, BAR_W, BAR_Y = CONTENT_X + 30 + 8, 412 - 2 * 30 - 2 * 8, ROW_Y + 52 + 7 + 6
TRACK_SECONDS = 200

MUSIC_COLOURS = ["dc2828", "28c828", "2850dc"]
SPOTIFY_COLOURS = ["c828c8", "c828c8", "c828c8"]
SECOND_COLOURS = ["e6c81e", "e6c81e", "e6c81e"]
THIRD_COLOURS = ["1ec8c8", "1ec8c8", "1ec8c8"]
MPV_MPRIS = "/usr/lib/mpv-mpris/mpris.so"  # Debian's mpv-mpris


def mpris(name, *args):
    """Asks the player org.mpris.MediaPlayer2.`name` on the session bus; answers the reply's last value."""
    out = subprocess.run(["dbus-send", "--session", "--print-reply", f"--dest=org.mpris.MediaPlayer2.{name}",
                          "/org/mpris/MediaPlayer2", *args], capture_output=True, text=True, timeout=10).stdout
    return out.split()[-1].strip('"') if out.split() else ""


def mpris_get(name, prop):
    return mpris(name, "org.freedesktop.DBus.Properties.Get", "string:org.mpris.MediaPlayer2.Player",
                 f"string:{prop}")


class Player:
    """One mpris_player.py: commands go to its stdin, what it received is read from its stdout."""
    started = []

    def __init__(self, desktop, name, *args):
        Player.started.append(self)
        self.name = name
        self.proc = desktop.spawn([SYSTEM_PYTHON, PLAYER_SCRIPT, "--name", name, "--dir", desktop.tmp, *args],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        os.set_blocking(self.proc.stdout.fileno(), False)
        self.lines = []
        wait_for(lambda: "ready" in self.read(), 10, f"player {name} on the bus")

    def read(self):
        try:
            chunk = self.proc.stdout.read()
        except (BlockingIOError, TypeError):
            chunk = None
        if chunk:
            self.lines += chunk.splitlines()
        return self.lines

    def send(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()

    def seen(self, prefix, after=0):
        """The lines from the `after`th on that start with `prefix`."""
        return [line for line in self.read()[after:] if line.startswith(prefix)]

    def wait(self, prefix, what, after=0, timeout=POLL_WAIT):
        return wait_for(lambda: self.seen(prefix, after), timeout, f"{what} (player {self.name} saw {prefix!r})")

    def mark(self):
        return len(self.read())

    def quit(self):
        self.send("quit")
        self.proc.wait(10)


class Shot:
    """A screenshot of the root window, read as pixels."""

    def __init__(self, desktop, path):
        screenshot(desktop, path)
        raw = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
        parts = raw.split(maxsplit=4)
        self.width, self.pixels = int(parts[1]), parts[4]

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.pixels[i:i + 3])

    def count(self, rect, wanted):
        x0, y0, w, h = rect
        return sum(1 for y in range(y0, y0 + h) for x in range(x0, x0 + w) if wanted(self.pixel(x, y)))


def near(colour, tolerance=40):
    rgb = tuple(int(colour[k:k + 2], 16) for k in (0, 2, 4))
    return lambda p: all(abs(a - b) <= tolerance for a, b in zip(p, rgb))


class Run:
    def __init__(self, desktop, args):
        self.desktop = desktop
        self.args = args
        self.artifacts = args.artifacts or desktop.tmp
        self.failures = []

    def step(self, name, body):
        try:
            body()
            print(f"ok: {name}", flush=True)
        except AssertionError as failure:
            self.failures.append(name)
            print(f"FAILED: {name}: {failure}", flush=True)
            traceback.print_exc(limit=3)
            for player in Player.started:
                print(f"--- player {player.name}, last lines:\n  " + "\n  ".join(player.read()[-12:]), flush=True)
            self.desktop.run(["xdotool", "mouseup", "1"], check=False)

    def shot(self, name):
        # Waiting takes a shot a try: the file keeps the last one.
        return Shot(self.desktop, os.path.join(self.artifacts, f"e2e-notch-{name}.png"))

    def wait_pixels(self, name, rect, colour, what, minimum=40, timeout=POLL_WAIT):
        """Waits until `rect` shows at least `minimum` pixels of `colour`; answers the screenshot."""
        shots = []

        def shown():
            shots.append(self.shot(name))
            return shots[-1].count(rect, near(colour)) >= minimum
        try:
            wait_for(shown, timeout, what)
        except AssertionError:
            raise AssertionError(f"{what}: {shots[-1].count(rect, near(colour))} pixels of #{colour} in "
                                 f"{rect}") from None
        return shots[-1]

    def pointer(self, point):
        # xdotool's absolute move warps the pointer, which no device reports; a step there and back, as a hand
        # makes, is what the island hears.
        self.desktop.run(["xdotool", "mousemove", str(point[0] + 1), str(point[1]), "mousemove_relative", "--", "-1",
                          "0"])

    def click(self, point):
        self.desktop.run(["xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1"])

    def run(self):
        desktop = self.desktop
        # A black island on a black root would not show.
        desktop.run(["xsetroot", "-solid", "#406080"])
        self.pointer((SCREEN_W // 2, 600))
        self.music = Player(desktop, "tilloryone", "--colours", *MUSIC_COLOURS, "--volume", "0.5")
        self.app = Tillory(desktop, self.args.tillory, desktop.tmp, {"notchEnabled": "true"})
        self.step("the island shows the playing track", self.shows_track)
        self.step("hovering expands the island", self.expands)
        self.step("play/pause pauses and plays the player", self.play_pause)
        self.step("next and previous change the track", self.next_previous)
        self.step("a drag on the scrubber seeks", self.scrub)
        self.step("a remembered volume comes back after another player", self.volume)
        self.step("a second player waits for the shown one, then keeps the card", self.takes_over)
        self.step("a player that quits clears the island", self.quits)
        self.step("a title double-click under the island reaches the title", self.title_double_click)
        self.step("mpv and a test player are told apart", self.real_player)
        self.app.stop()
        self.step("the width setting widens the strip", self.wider)

    def shows_track(self):
        panel = (STRIP[0] + 132 - 238, 0, 476, 180)
        wait_for(lambda: panel in self.app.visible_windows(), 10, f"the island's panel at {panel}")
        self.music.wait("getall :", "Tillory asking the player")
        shot = self.wait_pixels("collapsed", LEFT_WING, MUSIC_COLOURS[0], "the first track's cover on the strip")
        background = shot.pixel(STRIP[0] - 20, 40)
        self.collapsed = shot.count(CARD, lambda p: p != background)
        check(shot.count(STRIP, lambda p: p != background) > STRIP[2] * STRIP[3] // 2, "the strip is not drawn")
        check(self.collapsed < CARD[2] * CARD[3] // 4, "the collapsed island covers the card's place")
        self.background = background

    def expands(self):
        self.pointer((SCREEN_W // 2, 16))
        self.wait_pixels("expanded", COVER, MUSIC_COLOURS[0], "the card's cover", minimum=1500, timeout=10)
        # The card grows into its place for 0.4 s.
        shots = []

        def grown():
            shots.append(self.shot("expanded"))
            return shots[-1].count(CARD, lambda p: p != self.background) > CARD[2] * CARD[3] * 9 // 10
        wait_for(grown, 10, "the card to fill its place")
        shot = shots[-1]
        # Title and artist: light text in the column between the cover and the buttons.
        text = (COVER[0] + 64, ROW_Y + 4, BUTTONS_X - COVER[0] - 76, 44)
        check(shot.count(text, lambda p: min(p) > 150) > 30, "no title or artist on the card")

    def play_pause(self):
        for status in ("Paused", "Playing"):
            mark = self.music.mark()
            self.click(PLAY_PAUSE)
            self.music.wait("call PlayPause", f"play/pause to {status}", mark, timeout=10)
            self.music.wait(f"status {status}", f"the player {status}", mark, timeout=10)

    def next_previous(self):
        for button, method, colour in ((NEXT, "Next", MUSIC_COLOURS[1]), (PREVIOUS, "Previous", MUSIC_COLOURS[0])):
            mark = self.music.mark()
            self.click(button)
            self.music.wait(f"call {method}", method, mark, timeout=10)
            self.wait_pixels(method.lower(), COVER, colour, f"the cover after {method}", minimum=1500)

    def scrub(self):
        mark = self.music.mark()
        start, end = BAR_X + BAR_W // 4, BAR_X + BAR_W * 3 // 4
        self.desktop.run(["xdotool", "mousemove", str(start), str(BAR_Y), "mousedown", "1"])
        moves = []
        for x in range(start + 12, end + 1, 12):
            moves += ["mousemove", str(x), str(BAR_Y), "sleep", "0.01"]
        self.desktop.run(["xdotool", *moves, "mousemove", str(end), str(BAR_Y)])
        self.desktop.run(["xdotool", "mouseup", "1"])
        line = self.music.wait("call SetPosition", "the seek", mark, timeout=10)[0]
        seconds = int(line.split()[-1]) / 1e6
        wanted = TRACK_SECONDS * (end - BAR_X) / BAR_W
        check(abs(seconds - wanted) < 3, f"sought to {seconds:.1f} s, wanted about {wanted:.1f} s")

    def volume(self):
        mark = self.music.mark()
        self.music.send("volume 0.3")
        # Two polls that read it: the state query is one of them whatever else was asked.
        wait_for(lambda: len(self.music.seen("getall :", mark)) >= 2, POLL_WAIT, "Tillory to read the volume 0.3")
        self.music.send("pause")
        self.spotify = Player(self.desktop, "spotify", "--identity", "Other Player", "--colours",
                              *SPOTIFY_COLOURS, "--volume", "0.8", "--titles", "Other A", "Other B", "Other C")
        self.wait_pixels("other-player", COVER, SPOTIFY_COLOURS[0], "the other player shown", minimum=1500)
        mark = self.music.mark()
        self.music.send("volume 0.9")  # changed elsewhere while the other player was shown
        self.spotify.send("pause")
        self.music.send("play")
        self.wait_pixels("back", COVER, MUSIC_COLOURS[0], "the first player shown again", minimum=1500)
        line = self.music.wait("set Volume", "the remembered volume handed back", mark)[-1]
        check(abs(float(line.split()[-1]) - 0.3) < 0.005, f"volume handed back: {line}")
        self.spotify.quit()

    def takes_over(self):
        self.second = Player(self.desktop, "tillorytwo", "--colours", *SECOND_COLOURS, "--titles", "Fourth Song",
                             "Fifth Song", "Sixth Song")
        # While the shown player plays it keeps the island: two polls later the first cover still shows.
        mark = self.music.mark()
        wait_for(lambda: len(self.music.seen("getall :", mark)) >= 2, POLL_WAIT, "two polls of the shown player")
        check(self.shot("second-waits").count(COVER, near(MUSIC_COLOURS[0])) >= 1500,
              "a newly playing player took the island from one that still plays")
        self.music.send("pause")
        self.wait_pixels("second-player", COVER, SECOND_COLOURS[0], "the second player's cover", minimum=1500)
        # Pausing the shown player keeps its card even though another player was active since, and Play on the
        # card resumes that player and no other.
        self.second.send("pause")
        mark, first = self.second.mark(), self.music.mark()
        wait_for(lambda: len(self.second.seen("getall :", mark)) >= 2, POLL_WAIT, "two polls after the pause")
        check(self.shot("paused-keeps").count(COVER, near(SECOND_COLOURS[0])) >= 1500,
              "pausing the shown player handed the island to another")
        self.click(PLAY_PAUSE)
        self.second.wait("status Playing", "Play on the card reaching the shown player", mark, timeout=10)
        check(not self.music.seen("call", first) and not self.music.seen("set Volume", first),
              f"the other player was commanded: {self.music.seen('call', first) + self.music.seen('set', first)}")

    def quits(self):
        self.second.quit()
        self.wait_pixels("first-again", COVER, MUSIC_COLOURS[0], "the first player back", minimum=1500)
        self.music.quit()
        shots = []

        def cleared():
            shots.append(self.shot("cleared"))
            return shots[-1].count(COVER, near(MUSIC_COLOURS[0])) == 0
        wait_for(cleared, POLL_WAIT, "no cover once the last player quit")
        self.pointer((SCREEN_W // 2, 600))
        wait_for(lambda: self.shot("cleared-collapsed").count(CARD, lambda p: p != self.background) <=
                 self.collapsed, 10, "the island to collapse")
        shot = self.shot("cleared-collapsed")
        check(shot.count(LEFT_WING, near(MUSIC_COLOURS[0])) == 0, "the strip still shows a cover")


    def real_player(self):
        check(shutil.which("mpv") and os.path.exists(MPV_MPRIS), "mpv with its MPRIS plug-in is not installed")
        third = Player(self.desktop, "tillorythree", "--colours", *THIRD_COLOURS, "--volume", "0.5")
        mpv = self.desktop.spawn(["mpv", "--no-config", f"--script={MPV_MPRIS}", "--no-video", "--ao=null",
                                  "--volume=30", "--pause", "--loop-file=inf", "--force-media-title=Real Song",
                                  "av://lavfi:sine=frequency=440:duration=600"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_for(lambda: mpris_get("mpv", "PlaybackStatus") == "Paused", 15, "mpv paused on the bus")
            self.pointer((SCREEN_W // 2, 16))
            self.wait_pixels("real-third", COVER, THIRD_COLOURS[0], "the test player on the card", minimum=1500)
            # Play/pause on the card goes to the player it shows, and pausing it keeps the card.
            mark = third.mark()
            self.click(PLAY_PAUSE)
            third.wait("status Paused", "the card's pause reaching the test player", mark, timeout=10)
            wait_for(lambda: len(third.seen("getall :", mark)) >= 2, POLL_WAIT, "two polls after the pause")
            check(self.shot("real-keeps").count(COVER, near(THIRD_COLOURS[0])) >= 1500,
                  "pausing the shown player handed the card to mpv")
            check(mpris_get("mpv", "PlaybackStatus") == "Paused", "mpv was started by a command for another")
            # mpv plays by its own controls and takes the island; neither player gets the other's volume.
            mark = third.mark()
            mpris("mpv", "org.mpris.MediaPlayer2.Player.Play")
            wait_for(lambda: self.shot("real-mpv").count(COVER, near(THIRD_COLOURS[0])) < 100, POLL_WAIT,
                     "mpv on the card")
            time.sleep(4)  # a few polls of mpv, the only one asked while it plays on the card
            volume = float(mpris_get("mpv", "Volume"))
            check(abs(volume - 0.3) < 0.01, f"mpv's volume became {volume}, the other player's")
            mpris("mpv", "org.mpris.MediaPlayer2.Player.Pause")
            third.send("play")
            self.wait_pixels("real-third-again", COVER, THIRD_COLOURS[0], "the test player back", minimum=1500)
            mark = third.mark()
            wait_for(lambda: len(third.seen("getall :", mark)) >= 2, POLL_WAIT, "polls of the test player")
            sets = third.seen("set Volume", mark)
            check(all(abs(float(line.split()[-1]) - 0.5) < 0.01 for line in sets),
                  f"the test player was given mpv's volume: {sets}")
        finally:
            mpv.terminate()
            mpv.wait(10)
            third.quit()
            self.pointer((SCREEN_W // 2, 600))

    def title_double_click(self):
        client = Client(self.desktop, self.args.client, "--title", "Under the island", "--geometry",
                        "500x300+300+300")
        window = client.window
        try:
            out = self.desktop.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"])
            title_y = int(out.split("=", 1)[1].split(",")[2]) // 2
            x, y, w, _ = frame(self.desktop, window)
            self.desktop.run(["xdotool", "mousemove", str(x + w // 2), str(y + title_y), "click", "--repeat", "2",
                              "--delay", "120", "1"])
            wait_for(lambda: maximised(self.desktop, window) and frame(self.desktop, window)[1] == 0, 10,
                     "the window maximised by a double click on its title")
            self.pointer((SCREEN_W // 2, 600))
            time.sleep(0.6)  # two double clicks, not one triple
            check(title_y < STRIP[3], f"the title bar at y {title_y} is not under the strip")
            # Straight onto the title and a double click, as a person who aims there does.
            self.desktop.run(["xdotool", "mousemove", str(SCREEN_W // 2), str(title_y), "click", "--repeat", "2",
                              "--delay", "120", "1"])
            wait_for(lambda: not maximised(self.desktop, window), 10, "the double click to restore the window")
            shot = self.shot("title-double-click")
            check(shot.count(CARD, lambda p: p != self.background) < CARD[2] * CARD[3] // 2,
                  "the card opened under the title's double click")
        finally:
            self.pointer((SCREEN_W // 2, 600))
            client.proc.terminate()

    def wider(self):
        self.app = Tillory(self.desktop, self.args.tillory, self.desktop.tmp,
                           {"notchEnabled": "true", "notchWidth": "300"})
        # 300 + 4 between two 30-point wings; sampled below the wing's symbol, clear of the rounded corners.
        half = (300 + 4) // 2 + 30
        strip = (SCREEN_W // 2 - half + 16, 26, 2 * half - 32, 1)
        wait_for(lambda: self.shot("wide").count(strip, lambda p: p == (0, 0, 0)) == strip[2], 10,
                 "a strip 364 wide")
        shot = self.shot("wide")
        check(shot.pixel(SCREEN_W // 2 - half - 4, 16) == self.background, "the strip is wider than 364")
        self.app.stop()


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
                    sys.stderr.write(f"--- {name} (last lines)\n" + "".join(f.readlines()[-40:]))
        raise AssertionError(f"failed: {', '.join(test.failures)}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--artifacts")
    args = parser.parse_args()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        if not shutil.which("dbus-run-session"):
            print("SKIPPED: dbus-run-session is not installed")
            return 77
        return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv])
    for tool in ("xdotool", "xsetroot", "xprop", "xwininfo", "import", "convert"):
        if not shutil.which(tool):
            print(f"SKIPPED: {tool} is not installed")
            return 77
    if subprocess.run([SYSTEM_PYTHON, "-c", "import dbus, gi; from gi.repository import GLib"],
                      capture_output=True).returncode != 0:
        print("SKIPPED: python3-dbus or python3-gi is not installed")
        return 77
    try:
        desktop = Desktop(manager_config=OPENBOX_RC.format(double=OPENBOX_MAXIMISES))
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    try:
        run(desktop, args)
    finally:
        desktop.close()
    print("notch end-to-end: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
