#!/usr/bin/python3
"""A GTK 3 window whose focused text widget the accessibility tests read back through AT-SPI.

usage: atspi_text_client.py MODE TEXT [START [END]]
  MODE   entry | password | search | textview | pair | label | button | combo
  TEXT   the widget's text ("\\n" starts a new line in a textview)
  START  caret offset, or selection start when END is given (characters)

Once the window is active and the widget focused it prints one line
  READY {"x": ..., "y": ..., "width": ..., "height": ...}
with the focused widget's frame in root-window pixels. Commands on stdin, one per line:
  caret N        move the caret to offset N
  select A B     select characters A..B
  focus-second   (pair) move the focus to the second entry; prints its frame as FOCUSED {...}
  quit
"""
import json
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def frame_of(widget):
    toplevel = widget.get_toplevel()
    x, y = widget.translate_coordinates(toplevel, 0, 0)
    _, ox, oy = toplevel.get_window().get_origin()
    alloc = widget.get_allocation()
    return {"x": ox + x, "y": oy + y, "width": alloc.width, "height": alloc.height}


class Client:
    def __init__(self, mode, text, start, end):
        self.window = Gtk.Window(title="atspi-text-client-" + mode)
        self.window.set_default_size(420, 200)
        self.window.move(80, 90)
        box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL, spacing=12, margin=20)
        self.window.add(box)
        self.second = None
        self.focus = self.build(box, mode, text)
        self.reported = False
        self.window.connect("destroy", Gtk.main_quit)
        self.window.connect("notify::is-active", self.on_active)
        self.window.show_all()
        if self.focus is not None:
            self.focus.grab_focus()
            self.place(start, end)
        GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                          GLib.IOCondition.IN | GLib.IOCondition.HUP, self.on_command)

    def build(self, box, mode, text):
        if mode == "label":
            box.pack_start(Gtk.Label(label=text), True, True, 0)
            return None
        if mode == "button":
            widget = Gtk.Button(label=text)
            box.pack_start(widget, False, False, 0)
            return widget
        if mode == "combo":
            combo = Gtk.ComboBoxText.new_with_entry()
            combo.append_text(text)
            combo.set_active(0)
            box.pack_start(combo, False, False, 0)
            return combo.get_child()
        if mode == "textview":
            self.buffer = Gtk.TextBuffer()
            self.buffer.set_text(text.replace("\\n", "\n"))
            view = Gtk.TextView(buffer=self.buffer)
            view.set_size_request(360, 120)
            box.pack_start(view, True, True, 0)
            return view
        widget = Gtk.SearchEntry() if mode == "search" else Gtk.Entry()
        widget.set_text(text)
        if mode == "password":
            widget.set_visibility(False)
        widget.set_size_request(360, -1)
        box.pack_start(widget, False, False, 0)
        if mode == "pair":
            self.second = Gtk.Entry()
            self.second.set_text("second " + text)
            box.pack_start(self.second, False, False, 0)
        return widget

    def place(self, start, end):
        if start is None or isinstance(self.focus, Gtk.Button):
            return
        end = start if end is None else end
        if isinstance(self.focus, Gtk.TextView):
            self.buffer.select_range(self.buffer.get_iter_at_offset(end), self.buffer.get_iter_at_offset(start))
        elif start == end:
            # Selecting on focus would cover the text; a plain caret position is wanted here.
            self.focus.select_region(start, start)
            self.focus.set_position(start)
        else:
            self.focus.select_region(start, end)

    def on_active(self, *_):
        if self.reported or not self.window.is_active():
            return
        if self.focus is not None and not self.focus.has_focus():
            return
        self.reported = True
        GLib.idle_add(self.report, "READY", self.focus or self.window)

    def report(self, tag, widget):
        print(tag, json.dumps(frame_of(widget)), flush=True)
        return False

    def on_command(self, channel, condition):
        line = sys.stdin.readline()
        if not line:
            Gtk.main_quit()
            return False
        words = line.split()
        if words[:1] == ["caret"]:
            self.place(int(words[1]), None)
        elif words[:1] == ["select"]:
            self.place(int(words[1]), int(words[2]))
        elif words[:1] == ["focus-second"] and self.second is not None:
            self.second.grab_focus()
            self.focus = self.second
            GLib.idle_add(self.report, "FOCUSED", self.second)
        elif words[:1] == ["quit"]:
            Gtk.main_quit()
            return False
        print("OK", words[0] if words else "", flush=True)
        return True


def main(argv):
    if len(argv) < 3:
        sys.stderr.write(__doc__)
        return 2
    numbers = [int(a) for a in argv[3:5]]
    start = numbers[0] if numbers else None
    end = numbers[1] if len(numbers) > 1 else None
    Client(argv[1], argv[2], start, end)
    Gtk.main()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
