#!/usr/bin/python3
"""A GTK 3 window with one text entry, for the Wayland session test: a toolkit other than Qt copying, pasting and
being clicked. Prints one flushed line each:
  ready                   once the window is shown and active
  active 1, active 0      as it gains and loses the keyboard focus
  text <text as JSON>     after each change of the entry
  click <x> <y>           for each button press that reaches the window (window coordinates)
and reads commands from stdin: "copy <text>" puts the text on the clipboard as this program's own copy.
Run with the system's python3, which has the GTK bindings."""

import argparse
import json
import sys

import gi

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--title", default="GTK entry")
    args = parser.parse_args()

    window = Gtk.Window(title=args.title)
    box = Gtk.EventBox()
    entry = Gtk.Entry()
    entry.set_margin_top(60)
    entry.set_margin_bottom(60)
    box.add(entry)
    window.add(box)
    window.set_default_size(400, 200)
    window.connect("destroy", Gtk.main_quit)
    entry.connect("changed", lambda e: print("text " + json.dumps(e.get_text()), flush=True))

    def clicked(_, event):
        print(f"click {int(event.x)} {int(event.y)}", flush=True)
        return False
    box.add_events(Gdk.EventMask.BUTTON_PRESS_MASK)
    box.connect("button-press-event", clicked)

    clipboard = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD)

    def command(channel, _):
        line = channel.readline()
        if not line:
            Gtk.main_quit()
            return False
        verb, _, rest = line.rstrip("\n").partition(" ")
        if verb == "copy":
            clipboard.set_text(rest, -1)
            print("copied", flush=True)
        return True
    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN | GLib.IO_HUP, command)

    announced = False

    def announce(*_):
        nonlocal announced
        if not announced and window.is_active():
            announced = True
            print("ready", flush=True)

    window.connect("notify::is-active", announce)
    window.connect("notify::is-active", lambda w, _: print(f"active {int(w.is_active())}", flush=True))
    window.show_all()
    window.present()
    GLib.idle_add(announce)
    Gtk.main()


if __name__ == "__main__":
    sys.exit(main())
