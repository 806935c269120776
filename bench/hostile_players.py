#!/usr/bin/env python3
"""What hostile players cost the now-playing island: a giant cover, an endless cover download and a cover server
that never answers. Measured on a real run, never asserted:

  python3 bench/hostile_players.py --tillory build/release/src/app/tillory [--tries 10] [--only giant|endless|silent]

Runs on its own Xvfb with openbox and its own session bus, with the tests' MPRIS player (tests/e2e/mpris_player.py)
pointing its cover address where each case wants it.

- Giant cover: a real 20000 x 20000 PNG on disk, the player moving to the next track every 3 s. Tillory's CPU over
  the run, and for each try the time from the pointer reaching the island to the card drawn.
- Endless cover: an HTTP address that sends bytes for ever, from a player in the "Spotify" slot. Tillory's resident
  size before and after --tries track changes.
- Silent cover server: an https address whose server takes the connection and never answers. For each try, the
  time from a click on Play to the player hearing PlayPause."""

import argparse
import http.server
import os
import shutil
import socket
import struct
import subprocess
import sys
import threading
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
from harness import Desktop, Skip  # noqa: E402
from keyboard_e2e import Tillory  # noqa: E402
from notch_e2e import CARD, PLAY_PAUSE, SCREEN_W, Player, Shot  # noqa: E402
from notch_compare import cpu_seconds, rss_kib  # noqa: E402


def giant_png(path, side=20000):
    """A real PNG of side x side grey pixels, written row by row so it never sits whole in memory."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    squeeze = zlib.compressobj(9)
    row = b"\x00" + b"\x80" * side
    body = b"".join(squeeze.compress(row) for _ in range(side)) + squeeze.flush()
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 0, 0, 0, 0)) +
                chunk(b"IDAT", body) + chunk(b"IEND", b""))


class Endless(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "image/png")
        self.end_headers()
        chunk = b"\x89PNG" + b"\0" * 65532
        try:
            while True:
                self.wfile.write(chunk)
        except OSError:
            pass

    def log_message(self, *args):
        pass


def serve_endless():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Endless)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def silent_server():
    """Accepts connections and never says a word."""
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(16)
    held = []
    threading.Thread(target=lambda: [held.append(listener.accept()) for _ in iter(int, 1)], daemon=True).start()
    return listener


def card_drawn(desktop, path, background):
    shot = Shot(desktop, path)
    return shot.count(CARD, lambda p: p != background) > CARD[2] * CARD[3] * 3 // 4


def hover_times(desktop, tries, tmp):
    background = Shot(desktop, os.path.join(tmp, "bg.png")).pixel(20, 400)
    times = []
    for _ in range(tries):
        desktop.run(["xdotool", "mousemove", str(SCREEN_W // 2), "600"])
        time.sleep(1.0)
        start = time.monotonic()
        # A warp is no movement: the step back is what the island hears.
        desktop.run(["xdotool", "mousemove", str(SCREEN_W // 2 + 1), "16", "mousemove_relative", "--", "-1", "0"])
        while not card_drawn(desktop, os.path.join(tmp, "hover.png"), background):
            if time.monotonic() - start > 10:
                break
        times.append(time.monotonic() - start)
    desktop.run(["xdotool", "mousemove", str(SCREEN_W // 2), "600"])
    return times


def giant_cover(desktop, args, tmp):
    path = os.path.join(tmp, "giant.png")
    giant_png(path)
    player = Player(desktop, "giant", "--art-url", "file://" + path)
    app = Tillory(desktop, args.tillory, tmp, {"notchEnabled": "true"})
    stop = threading.Event()
    threading.Thread(target=lambda: [player.send("next") for _ in iter(lambda: stop.wait(3), True)],
                     daemon=True).start()
    try:
        time.sleep(4)
        cpu0, t0 = cpu_seconds(app.proc.pid), time.monotonic()
        times = hover_times(desktop, args.tries, tmp)
        cpu1, t1 = cpu_seconds(app.proc.pid), time.monotonic()
    finally:
        stop.set()
        app.stop()
        player.quit()
    return 100 * (cpu1 - cpu0) / (t1 - t0), times


def endless_cover(desktop, args, tmp):
    server = serve_endless()
    player = Player(desktop, "spotify", "--art-url", f"http://127.0.0.1:{server.server_port}/cover.png")
    app = Tillory(desktop, args.tillory, tmp, {"notchEnabled": "true"})
    try:
        time.sleep(5)
        before = rss_kib(app.proc.pid)
        for i in range(args.tries):
            player.send("next")
            time.sleep(3)
            print(f"  after track {i + 1}: {rss_kib(app.proc.pid)} KiB", flush=True)
        after = rss_kib(app.proc.pid)
    finally:
        app.stop()
        player.quit()
        server.shutdown()
    return before, after


def silent_cover(desktop, args, tmp):
    listener = silent_server()
    player = Player(desktop, "silent", "--art-url", f"https://127.0.0.1:{listener.getsockname()[1]}/cover.png")
    app = Tillory(desktop, args.tillory, tmp, {"notchEnabled": "true"})
    times = []
    try:
        time.sleep(4)
        # A warp is no movement: the step back is what the island hears.
        desktop.run(["xdotool", "mousemove", str(SCREEN_W // 2 + 1), "16", "mousemove_relative", "--", "-1", "0"])
        time.sleep(1)
        for _ in range(args.tries):
            player.send("next")  # a new track: its cover is asked for again, and hangs
            time.sleep(0.3)
            mark = player.mark()
            start = time.monotonic()
            desktop.run(["xdotool", "mousemove", str(PLAY_PAUSE[0]), str(PLAY_PAUSE[1]), "click", "1"])
            while not player.seen("call PlayPause", mark) and time.monotonic() - start < 10:
                time.sleep(0.005)
            times.append(time.monotonic() - start)
            time.sleep(0.5)
    finally:
        app.stop()
        player.quit()
    return times


def run(desktop, args):
    tmp = desktop.tmp
    desktop.run(["xsetroot", "-solid", "#406080"])
    desktop.run(["xdotool", "mousemove", str(SCREEN_W // 2), "600"])
    if args.only in (None, "giant"):
        cpu, hovers = giant_cover(desktop, args, tmp)
        print(f"Giant cover (20000 x 20000 PNG), the next track every 3 s: Tillory {cpu:.1f} % of one core; "
              f"hover to card drawn: median {sorted(hovers)[len(hovers) // 2]:.3f} s, worst {max(hovers):.3f} s",
              flush=True)
    if args.only in (None, "endless"):
        before, after = endless_cover(desktop, args, tmp)
        print(f"Endless cover download, {args.tries} tracks: resident {before} KiB before, {after} KiB after "
              f"({(after - before) / 1024:+.1f} MiB)", flush=True)
    if args.only in (None, "silent"):
        plays = silent_cover(desktop, args, tmp)
        print(f"Silent cover server: click on Play to the player hearing it: median "
              f"{sorted(plays)[len(plays) // 2]:.3f} s, worst {max(plays):.3f} s", flush=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--tries", type=int, default=10)
    parser.add_argument("--only", choices=["giant", "endless", "silent"], help="one case alone")
    args = parser.parse_args()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        if not shutil.which("dbus-run-session"):
            print("dbus-run-session is not installed")
            return 1
        return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv])
    try:
        desktop = Desktop()
    except Skip as why:
        print(f"cannot run: {why}")
        return 1
    try:
        run(desktop, args)
    finally:
        desktop.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
