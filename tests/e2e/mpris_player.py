#!/usr/bin/python3
"""A silent media player for end-to-end tests: it owns org.mpris.MediaPlayer2.<name> on the session bus and speaks
the MediaPlayer2 and MediaPlayer2.Player interfaces as players do (properties, PropertiesChanged, Seeked), over a
playlist of three tracks, each with a cover of one colour. The position runs on the monotonic clock while playing.

Commands, one a line on stdin: play, pause, next, volume <0..1>, quit. Every call and property write it receives is
written to stdout as one line: `call <method> <args…>`, `set <property> <value>`, `getall <sender>`, `get
<property> <sender>`, `status <new status>`; `ready` once it owns its name."""

import argparse
import os
import struct
import sys
import time
import zlib

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ROOT, PLAYER = "org.mpris.MediaPlayer2", "org.mpris.MediaPlayer2.Player"
PROPERTIES = "org.freedesktop.DBus.Properties"
PATH = "/org/mpris/MediaPlayer2"


def write_png(path, rgb, side=64):
    row = b"\x00" + bytes(rgb) * side
    raw = zlib.compress(row * side)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", side, side, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", raw) + chunk(b"IEND", b""))


def say(*words):
    print(*words, flush=True)


class Player(dbus.service.Object):
    def __init__(self, bus, args):
        super().__init__(bus, PATH)
        self.args = args
        self.tracks = []
        for i, (title, colour) in enumerate(zip(args.titles, args.colours)):
            cover = os.path.join(args.dir, f"{args.name}-{i}.png")
            write_png(cover, [int(colour[k:k + 2], 16) for k in (0, 2, 4)])
            self.tracks.append({"title": title, "cover": cover, "id": f"/org/tillory/{args.name}/track/{i}"})
        self.index = 0
        self.status = "Playing" if args.playing else "Paused"
        self.volume = args.volume
        self.offset, self.since = 0, time.monotonic()  # microseconds into the track at `since`

    def position(self):
        if self.status == "Playing":
            return min(self.offset + int((time.monotonic() - self.since) * 1e6), self.args.length)
        return self.offset

    def set_position(self, micros):
        self.offset, self.since = max(0, min(micros, self.args.length)), time.monotonic()

    def metadata(self):
        t = self.tracks[self.index]
        return dbus.Dictionary({
            "mpris:trackid": dbus.ObjectPath(t["id"]), "mpris:length": dbus.Int64(self.args.length),
            "mpris:artUrl": self.args.art_url or "file://" + t["cover"], "xesam:title": t["title"],
            "xesam:artist": dbus.Array([self.args.artist], signature="s")}, signature="sv")

    def player_properties(self):
        return dbus.Dictionary({
            "PlaybackStatus": self.status, "Metadata": self.metadata(), "Position": dbus.Int64(self.position()),
            "Volume": dbus.Double(self.volume), "Rate": 1.0, "MinimumRate": 1.0, "MaximumRate": 1.0,
            "CanSeek": True, "CanGoNext": True, "CanGoPrevious": True, "CanPlay": True, "CanPause": True,
            "CanControl": True, "LoopStatus": "None", "Shuffle": False}, signature="sv")

    def root_properties(self):
        return dbus.Dictionary({
            "Identity": self.args.identity, "CanQuit": True, "CanRaise": False, "HasTrackList": False,
            "DesktopEntry": self.args.name, "SupportedUriSchemes": dbus.Array([], signature="s"),
            "SupportedMimeTypes": dbus.Array([], signature="s")}, signature="sv")

    def changed(self, *names):
        props = self.player_properties()
        self.PropertiesChanged(PLAYER, {n: props[n] for n in names}, [])

    def set_status(self, status):
        if status != self.status:
            self.set_position(self.position())
            self.status = status
            say("status", status)
            self.changed("PlaybackStatus")

    def go(self, step):
        self.index = (self.index + step) % len(self.tracks)
        self.set_position(0)
        self.changed("Metadata")

    def set_volume(self, volume):
        self.volume = max(0.0, min(float(volume), 1.0))
        self.changed("Volume")

    @dbus.service.method(PROPERTIES, in_signature="ss", out_signature="v", sender_keyword="sender")
    def Get(self, interface, name, sender=None):
        say("get", name, sender)
        return (self.player_properties() if interface == PLAYER else self.root_properties())[name]

    @dbus.service.method(PROPERTIES, in_signature="s", out_signature="a{sv}", sender_keyword="sender")
    def GetAll(self, interface, sender=None):
        say("getall", sender)
        return self.player_properties() if interface == PLAYER else self.root_properties()

    @dbus.service.method(PROPERTIES, in_signature="ssv")
    def Set(self, interface, name, value):
        say("set", name, float(value) if name == "Volume" else value)
        if interface == PLAYER and name == "Volume":
            self.set_volume(value)
        else:
            raise dbus.exceptions.DBusException(f"{name} is read-only",
                                                name="org.freedesktop.DBus.Error.PropertyReadOnly")

    @dbus.service.signal(PROPERTIES, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.signal(PLAYER, signature="x")
    def Seeked(self, position):
        pass

    @dbus.service.method(ROOT)
    def Raise(self):
        say("call Raise")

    @dbus.service.method(ROOT)
    def Quit(self):
        say("call Quit")
        GLib.idle_add(loop.quit)

    @dbus.service.method(PLAYER)
    def PlayPause(self):
        say("call PlayPause")
        self.set_status("Paused" if self.status == "Playing" else "Playing")

    @dbus.service.method(PLAYER)
    def Play(self):
        say("call Play")
        self.set_status("Playing")

    @dbus.service.method(PLAYER)
    def Pause(self):
        say("call Pause")
        self.set_status("Paused")

    @dbus.service.method(PLAYER)
    def Stop(self):
        say("call Stop")
        self.set_position(0)
        self.set_status("Stopped")

    @dbus.service.method(PLAYER)
    def Next(self):
        say("call Next")
        self.go(1)

    @dbus.service.method(PLAYER)
    def Previous(self):
        say("call Previous")
        self.go(-1)

    @dbus.service.method(PLAYER, in_signature="ox")
    def SetPosition(self, track, micros):
        say("call SetPosition", track, int(micros))
        if track == self.tracks[self.index]["id"] and 0 <= micros <= self.args.length:
            self.set_position(int(micros))
            self.Seeked(dbus.Int64(self.position()))

    @dbus.service.method(PLAYER, in_signature="x")
    def Seek(self, offset):
        say("call Seek", int(offset))
        self.set_position(self.position() + int(offset))
        self.Seeked(dbus.Int64(self.position()))

    @dbus.service.method(PLAYER, in_signature="s")
    def OpenUri(self, uri):
        say("call OpenUri", uri)


def command(player, line):
    words = line.split()
    if not words:
        return
    if words[0] == "play":
        player.set_status("Playing")
    elif words[0] == "pause":
        player.set_status("Paused")
    elif words[0] == "next":
        player.go(1)
    elif words[0] == "volume":
        player.set_volume(words[1])
    elif words[0] == "quit":
        loop.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--name", required=True)
    parser.add_argument("--identity", default="Test Player")
    parser.add_argument("--artist", default="The Testers")
    parser.add_argument("--titles", nargs=3, default=["First Song", "Second Song", "Third Song"])
    parser.add_argument("--colours", nargs=3, default=["dc2828", "28c828", "2850dc"], help="cover colours, rrggbb")
    parser.add_argument("--length", type=int, default=200_000_000, help="microseconds")
    parser.add_argument("--volume", type=float, default=0.5)
    parser.add_argument("--paused", dest="playing", action="store_false")
    parser.add_argument("--dir", required=True, help="where the covers go")
    parser.add_argument("--art-url", help="one cover address for every track, instead of the painted ones")
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    player = Player(bus, args)
    name = dbus.service.BusName(f"{ROOT}.{args.name}", bus, do_not_queue=True)  # noqa: F841 (owns the name)
    say("ready")

    pending = b""

    def on_stdin(source, condition):
        # Raw reads: a buffered readline would take two commands sent together and leave the second unread until
        # more input woke the watch.
        nonlocal pending
        chunk = os.read(sys.stdin.fileno(), 4096)
        if not chunk:
            loop.quit()
            return False
        pending += chunk
        while b"\n" in pending:
            line, pending = pending.split(b"\n", 1)
            command(player, line.decode())
        return True
    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP, on_stdin)
    loop.run()


loop = GLib.MainLoop()

if __name__ == "__main__":
    main()
