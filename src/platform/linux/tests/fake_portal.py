#!/usr/bin/python3
"""The desktop portal's appearance setting for tests. Prints "ready" once it owns its bus name;
org.example.TestPortal.SetScheme(u) changes the colour scheme and signals it, as the portal does when the user
switches. --scheme picks the starting value; --nested wraps it in one variant more, as older portals answer."""
import argparse

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

SETTINGS = "org.freedesktop.portal.Settings"

parser = argparse.ArgumentParser()
parser.add_argument("--scheme", type=int, default=0)
parser.add_argument("--nested", action="store_true")
args = parser.parse_args()


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.scheme = args.scheme

    def value(self):
        inner = dbus.UInt32(self.scheme, variant_level=1)
        return dbus.UInt32(self.scheme, variant_level=2) if args.nested else inner

    @dbus.service.method(SETTINGS, in_signature="ss", out_signature="v")
    def Read(self, group, key):
        if (group, key) != ("org.freedesktop.appearance", "color-scheme"):
            raise dbus.exceptions.DBusException("no such setting",
                                                name="org.freedesktop.portal.Error.NotFound")
        return self.value()

    @dbus.service.signal(SETTINGS, signature="ssv")
    def SettingChanged(self, group, key, value):
        pass

    @dbus.service.method("org.example.TestPortal", in_signature="u")
    def SetScheme(self, scheme):
        self.scheme = scheme
        self.SettingChanged("org.freedesktop.appearance", "color-scheme", dbus.UInt32(scheme, variant_level=1))


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus)
portal = Portal(bus)
print("ready", flush=True)
GLib.MainLoop().run()
