#!/usr/bin/python3
"""A window that draws its own title bar (a GTK 3 header bar), as many applications do: the window manager gives it
no frame and moves it when the header bar asks. Prints "ready <window id>" once the window is shown and active.
Run with the system's python3, which has the GTK bindings."""

import argparse
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--title", default="Header bar client")
    parser.add_argument("--geometry", default="480x300+200+200", help="WxH+X+Y")
    args = parser.parse_args()
    size, x, y = args.geometry.split("+")
    width, height = (int(v) for v in size.split("x"))

    window = Gtk.Window(title=args.title)
    bar = Gtk.HeaderBar(title=args.title, show_close_button=True)
    window.set_titlebar(bar)
    window.add(Gtk.Entry())
    window.set_default_size(width, height)
    window.move(int(x), int(y))
    window.connect("destroy", Gtk.main_quit)

    announced = False

    def announce(*_):
        nonlocal announced
        if not announced and window.is_active():
            announced = True
            print(f"ready {window.get_window().get_xid()}", flush=True)

    window.connect("notify::is-active", announce)
    window.show_all()
    window.present()
    GLib.idle_add(announce)
    Gtk.main()


if __name__ == "__main__":
    sys.exit(main())
