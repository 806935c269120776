#!/usr/bin/env python3
"""Tillory's keyboard features on a real X server, typed with xdotool into a text field of our own: a quick
Super+V pastes once, a held Super+V opens the palette (digits, Alt for plain text, Super-click stacking, a letter
closes it and still arrives), keys nobody wants arrive unchanged, Backspace in a file manager becomes Delete but not
in a text field, the cleaning lock blocks every key until its slider is dragged far enough, and with the clipboard
switched off Super+V reaches the application untouched. Runs under its own session bus (dbus-run-session)."""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Desktop, Skip, wait_for  # noqa: E402


KEY_TRAFFIC = re.compile(r"tillory\.taps: (press|release|typing) ")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


class Client:
    """The stand-in application: reports every key it receives and its text."""

    def __init__(self, desktop, binary, *args, env=None):
        self.desktop = desktop
        self.proc = desktop.spawn([binary, *args], stdout=subprocess.PIPE, env=env or desktop.env())
        os.set_blocking(self.proc.stdout.fileno(), False)
        self.buffer = b""
        self.lines = []
        self.window = int(wait_for(lambda: self._line_starting("ready "), 10, "the client window").split()[1])
        self.activate()

    def _read(self):
        try:
            chunk = self.proc.stdout.read()
        except BlockingIOError:
            chunk = None
        if chunk:
            self.buffer += chunk
            *complete, self.buffer = self.buffer.split(b"\n")
            self.lines += [line.decode() for line in complete]

    def _line_starting(self, prefix):
        self._read()
        for line in self.lines:
            if line.startswith(prefix):
                return line
        return None

    def activate(self):
        self.desktop.run(["xdotool", "windowactivate", "--sync", str(self.window)])
        # A manager that has just started may not have set _NET_ACTIVE_WINDOW yet: keep asking.
        wait_for(lambda: self.desktop.run(["xdotool", "getactivewindow"], check=False).strip() == str(self.window), 5,
                 "the client to be active")

    def text(self):
        self._read()
        texts = [json.loads(line[5:]) for line in self.lines if line.startswith("text ")]
        return texts[-1] if texts else ""

    def wait_text(self, expected, what):
        wait_for(lambda: self.text() == expected, 5, f"{what}: field text {expected!r} (has {self.text()!r})")

    def presses(self):
        self._read()
        return [line.split()[1:3] for line in self.lines if line.startswith("press ")]

    def clear(self):
        self.lines = []
        self.desktop.key("ctrl+a", "BackSpace")
        wait_for(lambda: self.text() == "", 5, "the field to be cleared")


def running_version(binary):
    """The version the binary reports, as its what's-new window remembers it."""
    out = subprocess.run([binary, "--version"], capture_output=True, text=True, timeout=30, check=True).stdout
    return out.split()[-1]


class Tillory:
    def __init__(self, desktop, binary, home, settings=None, logging="tillory.*.debug=true",
                 started="the pasteboard", scale=1, **env_extra):
        self.desktop = desktop
        self.scale = scale
        config = os.path.join(home, "config")
        os.makedirs(os.path.join(config, "Tillory"), exist_ok=True)
        # The now-playing island is always on screen at the top centre, where it would take hovers and clicks
        # meant for the windows a test drives; a test of the island switches it back on.
        settings = {"notchEnabled": "false", **(settings or {})}
        # A first start opens the what's-new window in the middle of the screen, over what the tests click and
        # type into: it counts as seen unless a test says otherwise.
        settings.setdefault("lastSeenWhatsNewVersion", running_version(binary))
        with open(os.path.join(config, "Tillory", "Tillory.conf"), "w") as f:
            f.write("[General]\n" + "".join(f"{k}={v}\n" for k, v in settings.items()))
        self.log_path = os.path.join(home, f"tillory-{time.monotonic_ns()}.log")
        self.log = open(self.log_path, "w")
        env = desktop.env(XDG_CONFIG_HOME=config, XDG_DATA_HOME=os.path.join(home, "data"),
                          QT_LOGGING_RULES=logging, **env_extra)
        self.proc = desktop.spawn([binary], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        self.wait_line(started)

    def output(self):
        with open(self.log_path) as f:
            return f.read()

    def wait_line(self, text, count=1, timeout=10):
        def seen():
            if self.proc.poll() is not None:
                raise AssertionError(f"Tillory exited ({self.proc.returncode}):\n{self.output()}")
            return self.output().count(text) >= count
        wait_for(seen, timeout, repr(text))

    def visible_windows(self):
        """Geometry (x, y, width, height) of each visible window of Tillory."""
        found = self.desktop.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid)], check=False)
        windows = []
        for wid in found.split():
            shell = self.desktop.run(["xdotool", "getwindowgeometry", "--shell", wid], check=False)
            values = dict(line.split("=", 1) for line in shell.splitlines() if "=" in line)
            if "WIDTH" in values:
                windows.append(tuple(int(values[k]) for k in ("X", "Y", "WIDTH", "HEIGHT")))
        return windows

    def palette(self):
        return next((w for w in self.visible_windows() if w[2] == 360 * self.scale), None)

    def stop(self):
        self.proc.terminate()
        self.proc.wait(30)
        self.log.close()


FOCUSED_TEXT_PROBE = """
import sys
import gi
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi

def focused_text(node, depth=0):
    states = node.get_state_set()
    if states.contains(Atspi.StateType.FOCUSED) and node.get_role() in (Atspi.Role.TEXT, Atspi.Role.ENTRY):
        return True
    return depth < 12 and any(focused_text(node.get_child_at_index(i), depth + 1)
                              for i in range(node.get_child_count()))

desktop = Atspi.get_desktop(0)
apps = [desktop.get_child_at_index(i) for i in range(desktop.get_child_count())]
sys.exit(0 if any(a.get_process_id() == int(sys.argv[1]) and focused_text(a) for a in apps) else 1)
"""


def wait_accessible_text_focus(desktop, pid):
    """Waits until the accessibility bus shows the process with a focused text field (Qt registers a moment
    after its window appears)."""
    wait_for(lambda: subprocess.run(["/usr/bin/python3", "-c", FOCUSED_TEXT_PROBE, str(pid)], env=desktop.env(),
                                    capture_output=True, timeout=30).returncode == 0,
             10, "the text field on the accessibility bus")


def copy(desktop, text):
    proc = subprocess.Popen(["xclip", "-selection", "clipboard"], stdin=subprocess.PIPE, env=desktop.env(),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    desktop.procs.append(proc)
    proc.stdin.write(text.encode())
    proc.stdin.close()


def copy_rich(desktop, owner, text, rtf):
    proc = desktop.spawn([owner, "--text", text, "--data", "text/rtf=" + rtf], stdout=subprocess.PIPE)
    check(proc.stdout.readline().decode().strip() == "ready", "the clipboard owner did not take the clipboard")


def clipboard_targets(desktop):
    return desktop.run(["xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"], check=False).split()


def hold_super_v(desktop, app):
    """Holds Super+V past the key-repeat delay until the palette shows, then lets go of V (Super stays down)."""
    desktop.run(["xset", "r", "on"])
    desktop.run(["xdotool", "keydown", "super", "keydown", "v"])
    try:
        frame = wait_for(app.palette, 5, "the palette to open")
    finally:
        desktop.run(["xdotool", "keyup", "v"])
        desktop.run(["xset", "r", "off"])
    # Asked again: the window manager may still have been placing it.
    return wait_for(app.palette, 5, "the palette to stay open")


def release_super(desktop):
    desktop.run(["xdotool", "keyup", "super"])


def screenshot(desktop, path):
    desktop.run(["import", "-window", "root", path])


def knob_centre(desktop, path):
    """The slider's knob: a filled white disc about 52 pixels across, told apart from white strokes and text by
    being as tall as it is wide."""
    raw = subprocess.run(["convert", path, "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
    parts = raw.split(maxsplit=4)
    width, height, pixels = int(parts[1]), int(parts[2]), parts[4]

    def white(x, y):
        i = 3 * (y * width + x)
        return pixels[i] > 245 and pixels[i + 1] > 245 and pixels[i + 2] > 245

    def vertical_run(x, y):
        top, bottom = y, y
        while top > 0 and white(x, top - 1):
            top -= 1
        while bottom < height - 1 and white(x, bottom + 1):
            bottom += 1
        return top, bottom

    for y in range(0, height, 2):
        run = 0
        for x in range(width + 1):
            if x < width and white(x, y):
                run += 1
                continue
            if 40 <= run <= 60:
                # Measured beside the middle, where the knob's chevron does not cut the disc.
                centre_x = x - 1 - run // 2
                top, bottom = vertical_run(centre_x - 14, y)
                if 35 <= bottom - top + 1 <= 60:
                    return centre_x, (top + bottom) // 2
            run = 0
    raise AssertionError("no slider knob found on the overlay")


def drag(desktop, start, dx):
    x, y = start
    desktop.run(["xdotool", "mousemove", str(x), str(y), "mousedown", "1"])
    for step in range(1, 11):
        desktop.run(["xdotool", "mousemove", str(x + dx * step // 10), str(y)])
    desktop.run(["xdotool", "mouseup", "1"])


def run(desktop, args):
    home = desktop.tmp
    try:
        run_steps(desktop, args, home)
    except AssertionError:
        for name in sorted(os.listdir(home)):
            if name.startswith("tillory-") and name.endswith(".log"):
                with open(os.path.join(home, name)) as f:
                    lines = [line for line in f if not KEY_TRAFFIC.match(line)]
                sys.stderr.write(f"--- {name} (last lines, key traffic left out)\n" + "".join(lines[-60:]))
        raise


def run_steps(desktop, args, home):
    artifacts = args.artifacts or home
    desktop.run(["xset", "r", "off"])
    tray = desktop.start_tray()
    app = Tillory(desktop, args.tillory, home)
    app.tray = tray
    editor = Client(desktop, args.client, "--class", "editor", "--geometry", "500x60+100+100")

    copy(desktop, "alpha")
    app.wait_line("recorded copy of", 1)
    copy(desktop, "beta")
    app.wait_line("recorded copy of", 2)

    # A quick Super+V pastes the current clipboard, once.
    desktop.run(["xdotool", "keydown", "super", "key", "v"])
    release_super(desktop)
    wait_for(lambda: editor.text() == "beta", 5, "the quick paste")
    desktop.key("x")
    editor.wait_text("betax", "one paste, then the next key")
    editor.clear()

    # Super let go a moment before V, as quick hands and `xdotool key super+v` do: still exactly one paste.
    desktop.key("super+v")
    wait_for(lambda: editor.text() == "beta", 5, "the paste with Super let go first")
    desktop.key("x")
    editor.wait_text("betax", "one paste, then the next key")
    editor.clear()

    # Dismissed by a click while V is still held, the palette stays shut: the held key's repeats are repeats.
    desktop.run(["xset", "r", "on"])
    desktop.run(["xdotool", "keydown", "super", "keydown", "v"])
    try:
        wait_for(app.palette, 5, "the palette to open")
        desktop.run(["xdotool", "mousemove", "900", "700", "click", "1"])
        wait_for(lambda: app.palette() is None, 5, "the palette to close on a click elsewhere")
        time.sleep(1.0)  # some 25 repeats of the held V
        check(app.palette() is None, "the palette opened again while V was held")
    finally:
        desktop.run(["xdotool", "keyup", "v", "keyup", "super"])
        desktop.run(["xset", "r", "off"])
    time.sleep(0.3)
    check(editor.text() == "", f"keys arrived while V was held: {editor.text()!r}")

    # Held: the palette opens; a digit pastes that row once Super is up.
    frame = hold_super_v(desktop, app)
    screenshot(desktop, os.path.join(artifacts, "e2e-palette.png"))
    check(frame[3] == 44 + 30 * 2, f"palette with two rows expected, window is {frame}")
    desktop.key("2")
    release_super(desktop)
    editor.wait_text("alpha", "digit 2")
    wait_for(lambda: app.palette() is None, 5, "the palette to close after a pick")
    editor.clear()

    # Alt picks plain text: the clipboard then offers no RTF; without Alt it does.
    copy_rich(desktop, args.clip_owner, "rich", r"{\rtf1\ansi {\b rich}}")
    app.wait_line("recorded copy of", 3)
    hold_super_v(desktop, app)
    desktop.key("alt+Return")
    release_super(desktop)
    editor.wait_text("rich", "Alt+Return")
    check("text/rtf" not in clipboard_targets(desktop), "a plain paste still offered RTF")
    editor.clear()
    hold_super_v(desktop, app)
    desktop.key("Return")
    release_super(desktop)
    editor.wait_text("rich", "Return")
    check("text/rtf" in clipboard_targets(desktop), "a rich paste offered no RTF")
    editor.clear()

    # Super-click stacks rows; Return pastes them joined, in stacking order.
    x, y, _, _ = hold_super_v(desktop, app)
    for row in (2, 0):
        desktop.run(["xdotool", "mousemove", str(x + 180), str(y + 32 + 30 * row + 15), "click", "1"])
    desktop.key("Return")
    release_super(desktop)
    try:
        wait_for(lambda: desktop.run(["xclip", "-o", "-selection", "clipboard"], check=False) == "beta\nrich", 5,
                 "the stacked texts on the clipboard")
    except AssertionError as failure:
        clipboard = desktop.run(["xclip", "-o", "-selection", "clipboard"], check=False)
        raise AssertionError(f"{failure} (has {clipboard!r}, field {editor.text()!r})") from None
    wait_for(lambda: "beta" in editor.text() and "rich" in editor.text(), 5, "the stacked paste in the field")
    editor.clear()

    # A letter typed with the palette open closes it and arrives.
    hold_super_v(desktop, app)
    release_super(desktop)
    desktop.key("q")
    editor.wait_text("q", "a letter typed into the open palette")
    wait_for(lambda: app.palette() is None, 5, "the palette to close on a letter")
    editor.clear()

    # Keys nobody wants arrive unchanged and in order.
    desktop.run(["xdotool", "type", "--delay", "5", "Hello, world 123"])
    editor.wait_text("Hello, world 123", "plain typing")
    editor.clear()

    # Backspace in a file manager: Delete in its file list, Backspace while renaming in a text field.
    files = Client(desktop, args.client, "--class", "nemo", "--mode", "list", "--geometry", "400x300+650+100")
    desktop.key("BackSpace")
    wait_for(lambda: ["Del", "0x0"] in files.presses(), 5, "Delete in the file manager")
    check(["Backspace", "0x0"] not in files.presses(), "the file manager also got the Backspace")
    rename = Client(desktop, args.client, "--class", "nemo", "--geometry", "400x60+650+450",
                    env=desktop.env(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
    wait_accessible_text_focus(desktop, rename.proc.pid)
    time.sleep(0.35)  # outlive the 0.3 s answer Tillory keeps from the file list's Backspace
    desktop.key("a", "b", "BackSpace")
    rename.wait_text("a", "Backspace while renaming")
    check(["Del", "0x0"] not in rename.presses(), "Backspace in a text field became Delete")

    # In a field that shows its caret on the accessibility bus, the palette sits just above the caret, centred
    # on it (the field is 400x60 at 650,450; its one letter leaves the caret near the left edge).
    desktop.run(["xdotool", "mousemove", "100", "700"])  # far from the caret: the mouse must not be used
    x, y, width, height = hold_super_v(desktop, app)
    desktop.key("Escape")
    release_super(desktop)
    check(650 - 180 <= x <= 650 + 80 - 180, f"palette not centred on the caret: {x}")
    check(450 - 8 <= y + height <= 450 + 60 - 8, f"palette not 8 points above the caret: {y} + {height}")
    editor.activate()
    desktop.key("BackSpace")
    wait_for(lambda: ["Backspace", "0x0"] in editor.presses(), 5, "Backspace in another application")

    # The cleaning lock, started from the tray menu.
    if app.tray is not None:
        run_cleaning_lock(desktop, app, editor, artifacts)
    app.stop()

    # With the clipboard switched off, Super+V reaches the application as typed.
    app = Tillory(desktop, args.tillory, home, {"clipboardEnabled": "false"}, started="history is switched off")
    app.tray = None
    copy(desktop, "not for pasting")
    wait_for(lambda: desktop.run(["xclip", "-o", "-selection", "clipboard"], check=False) == "not for pasting", 5,
             "the copy")
    editor.activate()
    desktop.run(["xdotool", "keydown", "super", "key", "v", "keyup", "super"])
    wait_for(lambda: ["V", "0x10000000"] in editor.presses(), 5, "Super+V in the application")
    check("not for pasting" not in editor.text(), f"Super+V pasted with the clipboard off: {editor.text()!r}")
    check("tillory.taps: press" not in app.output(), "Super+V went through Tillory with the clipboard off")
    app.stop()

    # Scaled by Qt (QT_SCALE_FACTOR) or by the desktop (Xft.dpi): the palette still sits on the caret, and a click
    # on a row is a click in the palette. Sizes in X pixels are twice the points.
    for label, env in (("QT_SCALE_FACTOR=2", {"QT_SCALE_FACTOR": "2"}), ("Xft.dpi 192", {})):
        if not env:
            subprocess.run(["xrdb", "-merge"], input="Xft.dpi: 192\n", text=True, env=desktop.env(), check=True)
        app = Tillory(desktop, args.tillory, home, scale=2, **env)
        text = f"scaled {len(label)}"
        copy(desktop, text)
        app.wait_line("recorded copy of")
        # The field itself stays unscaled, so that it sits where it is put whatever the X resources say.
        field = Client(desktop, args.client, "--class", "field", "--geometry", "400x60+650+600",
                       env=desktop.env(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ENABLE_HIGHDPI_SCALING="0"))
        wait_accessible_text_focus(desktop, field.proc.pid)
        desktop.key("a")  # an empty field has no caret box: it would stand in with its frame
        field.wait_text("a", f"{label}: typing")
        desktop.run(["xdotool", "mousemove", "100", "700"])  # far from the caret: the mouse must not be used
        x, y, width, height = hold_super_v(desktop, app)
        release_super(desktop)
        check(650 - 360 <= x <= 650 + 80 - 360, f"{label}: palette not centred on the caret: {x}")
        check(600 - 16 - 4 <= y + height <= 600 + 60 - 16, f"{label}: palette not above the caret: {y} + {height}")
        desktop.run(["xdotool", "mousemove", str(x + width // 2), str(y + 2 * (32 + 15)), "click", "1"])
        wait_for(lambda: field.text() == "a" + text, 5, f"{label}: the clicked row pasted (field has {field.text()!r})")
        field.proc.terminate()
        app.stop()
    subprocess.run(["xrdb", "-remove"], env=desktop.env(), check=False)


def run_cleaning_lock(desktop, app, editor, artifacts):
    editor.clear()
    desktop.run(["xdotool", "mousemove", *map(str, app.tray), "click", "3"])
    wait_for(lambda: any(w[2] > 60 and w[3] > 20 for w in app.visible_windows()), 5, "the tray menu")
    desktop.key("Down", "Return")
    wait_for(lambda: any(w[2] == 1280 and w[3] == 800 for w in app.visible_windows()), 5, "the cleaning overlay")
    shot = os.path.join(artifacts, "e2e-keyboard-cleaning.png")

    def knob_drawn():
        screenshot(desktop, shot)
        try:
            return knob_centre(desktop, shot)
        except AssertionError:
            return None
    knob = wait_for(knob_drawn, 5, "the slider to be drawn")

    # Keys typed while the lock is on (before and after a drag that stops one point short) never arrive: the
    # first key after the unlock must be all the field ever gets.
    desktop.key("a", "b", "Return", "super+v", "ctrl+a", "BackSpace", "XF86AudioPlay")
    drag(desktop, knob, 215)
    desktop.key("c")
    check(any(w[2] == 1280 for w in app.visible_windows()), "the lock ended at 215 points")
    drag(desktop, knob, 216)
    wait_for(lambda: not any(w[2] == 1280 for w in app.visible_windows()), 5, "the lock to end at 216 points")
    desktop.key("z")
    editor.wait_text("z", "typing after the lock")
    editor.clear()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--client", required=True)
    parser.add_argument("--clip-owner", required=True)
    parser.add_argument("--artifacts")
    args = parser.parse_args()
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        if not shutil.which("dbus-run-session"):
            print("SKIPPED: dbus-run-session is not installed")
            return 77
        return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv])
    try:
        desktop = Desktop()
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    try:
        desktop.start_accessibility_bus()
        run(desktop, args)
    finally:
        desktop.close()
    print("keyboard end-to-end: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
