#!/usr/bin/python3
"""A scripted MPRIS player for tests: deterministic (the position moves only when set), two tracks.

Prints "ready" once it owns its bus name. org.example.TestPlayer.SetStatus(s) changes the playback status as a
user would, which counts as activity.
"""
import argparse

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

ROOT = "org.mpris.MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
PROPS = "org.freedesktop.DBus.Properties"
CONTROL = "org.example.TestPlayer"

parser = argparse.ArgumentParser()
parser.add_argument("--name", required=True)
parser.add_argument("--title", default="First")
parser.add_argument("--artist", action="append")
parser.add_argument("--status", default="Playing")
parser.add_argument("--position", type=float, default=12.5)
parser.add_argument("--length", type=float, default=200.25)
parser.add_argument("--volume", type=float, default=0.4)
parser.add_argument("--no-volume", action="store_true")
parser.add_argument("--no-trackid", action="store_true")
parser.add_argument("--string-trackid", action="store_true", help="a plain string, as some players send")
parser.add_argument("--art", default="")
parser.add_argument("--hang", action="store_true", help="take every call and never answer")
args = parser.parse_args()


class Player(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/mpris/MediaPlayer2")
        self.tracks = [args.title, "Second"]
        self.index = 0
        self.status = args.status
        self.position = int(args.position * 1e6)
        self.volume = args.volume
        self.held = []

    def metadata(self):
        m = {"xesam:title": self.tracks[self.index],
             "xesam:artist": dbus.Array(args.artist or ["Artist"], signature="s"),
             "mpris:length": dbus.Int64(int(args.length * 1e6))}
        if args.string_trackid:
            m["mpris:trackid"] = "player:track:%d" % self.index
        elif not args.no_trackid:
            m["mpris:trackid"] = dbus.ObjectPath("/org/example/track/%d" % self.index)
        if args.art:
            m["mpris:artUrl"] = args.art
        return dbus.Dictionary(m, signature="sv")

    def player_props(self):
        p = {"PlaybackStatus": self.status, "Rate": 1.0, "Metadata": self.metadata(),
             "Position": dbus.Int64(self.position), "CanGoNext": True, "CanGoPrevious": True, "CanPlay": True,
             "CanPause": True, "CanSeek": True, "CanControl": True}
        if not args.no_volume:
            p["Volume"] = self.volume
        return p

    def changed(self, **props):
        self.PropertiesChanged(PLAYER, dbus.Dictionary(props, signature="sv"), dbus.Array([], signature="s"))

    def hold(self, ok, err):
        if args.hang:
            self.held.append((ok, err))
            return True
        return False

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v", async_callbacks=("ok", "err"))
    def Get(self, interface, name, ok, err):
        if self.hold(ok, err):
            return
        props = self.player_props() if interface == PLAYER else {"Identity": args.name}
        if name not in props:
            err(dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.InvalidArgs"))
        else:
            ok(props[name])

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}", async_callbacks=("ok", "err"))
    def GetAll(self, interface, ok, err):
        if self.hold(ok, err):
            return
        ok(self.player_props() if interface == PLAYER else {"Identity": args.name})

    @dbus.service.method(PROPS, in_signature="ssv")
    def Set(self, interface, name, value):
        if name != "Volume" or args.no_volume:
            raise dbus.exceptions.DBusException("read only", name="org.freedesktop.DBus.Error.PropertyReadOnly")
        self.volume = float(value)
        self.changed(Volume=self.volume)

    @dbus.service.signal(PROPS, signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.signal(PLAYER, signature="x")
    def Seeked(self, position):
        pass

    @dbus.service.method(PLAYER)
    def PlayPause(self):
        self.status = "Paused" if self.status == "Playing" else "Playing"
        self.changed(PlaybackStatus=self.status)

    @dbus.service.method(PLAYER)
    def Next(self):
        self.index = min(self.index + 1, len(self.tracks) - 1)
        self.changed(Metadata=self.metadata())

    @dbus.service.method(PLAYER)
    def Previous(self):
        self.index = max(self.index - 1, 0)
        self.changed(Metadata=self.metadata())

    @dbus.service.method(PLAYER, in_signature="ox")
    def SetPosition(self, track, position):
        if not args.no_trackid and str(track) == "/org/example/track/%d" % self.index:
            self.position = int(position)
            self.Seeked(self.position)

    @dbus.service.method(PLAYER, in_signature="x")
    def Seek(self, offset):
        self.position = max(0, self.position + int(offset))
        self.Seeked(self.position)

    @dbus.service.method(CONTROL, in_signature="s")
    def SetStatus(self, status):
        self.status = status
        self.changed(PlaybackStatus=status)


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
player = Player(bus)
name = dbus.service.BusName(ROOT + "." + args.name, bus)
print("ready", flush=True)
GLib.MainLoop().run()
