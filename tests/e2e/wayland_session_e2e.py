#!/usr/bin/env python3
"""Tillory on a Wayland compositor of its own kind: started inside a headless sway (tests/wayland/sway-session.sh
runs this script there), it chooses its Wayland backend, records what other programs copy without ever having
the focus, shows the island as an overlay above the windows, keeps what it recorded across a restart, and quits
cleanly.

Run: tests/wayland/sway-session.sh python3 tests/e2e/wayland_session_e2e.py --tillory build/dev/src/app/tillory"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
HERE = os.path.dirname(os.path.abspath(__file__))


def check(condition, what):
    if not condition:
        raise AssertionError(what)
    print(f"ok: {what}")


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Tillory:
    def __init__(self, binary, home, **extra):
        self.log_path = os.path.join(home, f"tillory-{time.monotonic_ns()}.log")
        self.log = open(self.log_path, "w")
        env = {**os.environ, "HOME": home, "XDG_CONFIG_HOME": os.path.join(home, ".config"),
               "XDG_DATA_HOME": os.path.join(home, ".local/share"), "QT_LOGGING_RULES": "tillory.*.debug=true",
               **extra}
        env.pop("QT_QPA_PLATFORM", None)
        for name in [k for k, v in env.items() if v is None]:
            env.pop(name)
        self.proc = subprocess.Popen([binary], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        self.history = os.path.join(home, ".local/share/Tillory/clipboard-history.json")

    def output(self):
        with open(self.log_path) as f:
            return f.read()

    def texts(self):
        try:
            with open(self.history) as f:
                return [entry["text"] for entry in json.load(f)]
        except (OSError, ValueError):
            return []

    def quit(self):
        self.proc.terminate()
        status = self.proc.wait(30)
        self.log.close()
        return status


def copy(*args, data=b""):
    subprocess.run(["wl-copy", *args], input=data, check=True, timeout=10)


def screenshot(home):
    """The screen as RGB rows, read from grim's PPM output."""
    path = os.path.join(home, "shot.ppm")
    subprocess.run(["grim", "-t", "ppm", path], check=True, timeout=20)
    with open(path, "rb") as f:
        data = f.read()
    parts = data.split(maxsplit=4)
    width, height = int(parts[1]), int(parts[2])
    pixels = parts[4]
    return lambda x, y: tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3])


def island(home, keys):
    """The island is a layer surface at the top centre of the 1280 px wide output: a black strip with the playing
    track's cover (one colour) on its left wing, above the windows. The pointer on the strip opens the card, and
    leaving it closes the card again, from the surface's own pointer events."""
    if not shutil.which("grim"):
        print("SKIPPED the island: grim is not installed")
        return
    covers = os.path.join(home, "covers")
    os.makedirs(covers, exist_ok=True)
    player = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "mpris_player.py"), "--name", "e2eplayer",
                               "--dir", covers, "--colours", "dc2828", "28c828", "2850dc"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        check(player.stdout.readline().strip() == "ready", "a test player plays on the session bus")

        def shows_cover():
            pixel = screenshot(home)
            strip = pixel(640, 4) == (0, 0, 0)
            cover = any(pixel(x, 12) == (0xdc, 0x28, 0x28) for x in range(440, 640))
            return strip and cover
        wait_for(shows_cover, 15, "the island's black strip with the red cover at the top centre")
        check(True, "the island shows at the top centre with the playing track's cover")
        pixel = screenshot(home)
        check(pixel(640, 200) != (0, 0, 0), "nothing of the island below its strip while collapsed")
        if keys:
            # The card spans the top 144 px of the output when open; below the strip is the desktop while closed.
            closed = pixel(640, 100)
            keys("move 640,500")
            keys("move 640,6")
            wait_for(lambda: screenshot(home)(640, 100) != closed, 10, "the card to open under the pointer")
            check(True, "the pointer resting on the strip opens the card")
            keys("move 640,120")
            time.sleep(1.0)
            check(screenshot(home)(640, 100) != closed, "the card stays open while the pointer is on it")
            keys("move 640,500")
            wait_for(lambda: screenshot(home)(640, 100) == closed, 10, "the card to close after the pointer left")
            check(True, "the card closes once the pointer has left it")
    finally:
        player.stdin.write("quit\n")
        player.stdin.close()
        player.wait(10)


def focused_title():
    def walk(node):
        if node.get("focused"):
            return node.get("name")
        for child in node.get("nodes", []) + node.get("floating_nodes", []):
            found = walk(child)
            if found:
                return found
        return None
    tree = subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True, timeout=10).stdout
    return walk(json.loads(tree))


class Keys:
    """One virtual keyboard for the whole run, typing in the order the hands do."""

    def __init__(self, binary, *arguments):
        self.proc = subprocess.Popen([binary, *arguments], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        check(self.proc.stdout.readline().strip() == "ready", "a virtual keyboard is attached to the seat")

    def __call__(self, *lines):
        for line in lines:
            self.proc.stdin.write(line + "\n")
            self.proc.stdin.flush()
            answer = self.proc.stdout.readline().strip()
            if answer != "ok":
                raise AssertionError(f"the keyboard could not do {line!r}: {answer}")

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(10)


def switcher(args, keys, app):
    """Super+Tab through sway's bindings, the Super release through the switcher overlay's own keyboard."""
    env = {**os.environ, "QT_QPA_PLATFORM": "wayland"}
    clients = [subprocess.Popen([args.client, "--title", name, "--class", name], env=env,
                                stdout=subprocess.DEVNULL) for name in ("alpha", "beta")]
    try:
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        wait_for(lambda: '"name": "alpha"' in tree() and '"name": "beta"' in tree(), 15, "both client windows")
        for name in ("alpha", "beta"):
            subprocess.run(["swaymsg", f"[title=^{name}$] focus"], capture_output=True, timeout=10)
        wait_for(lambda: focused_title() == "beta", 10, "beta in front")
        # The screen is copied a moment after the focus moves; a switcher opened sooner shows icons for windows
        # that were not on screen at the last copy.
        time.sleep(0.8)
        # (what, key lines, window in front afterwards)
        orders = [
            ("Tab let go before Super, the switcher seen first", ["down Super_L", "down Tab", "up Tab", "sleep 400",
                                                                 "up Super_L"], "alpha"),
            ("Super let go first, as xdotool does", ["down Super_L", "down Tab", "sleep 300", "up Super_L",
                                                     "up Tab"], "beta"),
            ("a quick tap", ["down Super_L", "down Tab", "up Tab", "up Super_L"], "alpha"),
            ("Tab twice with two windows comes back round", ["down Super_L", "down Tab", "up Tab", "sleep 200",
                                                             "down Tab", "up Tab", "sleep 200", "up Super_L"],
             "alpha"),
        ]
        for what, lines, expected in orders:
            keys(*lines)
            wait_for(lambda e=expected: focused_title() == e, 10, f"{what}: {expected} in front")
            check(True, f"{what}: {expected} comes to the front")
        # A reloaded configuration drops every binding added at run time; Tillory adds its own again.
        added = app.output().count("bindsym Mod4+Tab")
        subprocess.run(["swaymsg", "reload"], capture_output=True, timeout=20)
        wait_for(lambda: app.output().count("bindsym Mod4+Tab") > added, 15, "Tillory to bind Super+Tab again")
        keys("down Super_L", "down Tab", "up Tab", "sleep 300", "up Super_L")
        wait_for(lambda: focused_title() == "beta", 10, "after sway reloads its configuration: beta in front")
        check(True, "Super+Tab still switches after sway reloads its configuration")
        # Both windows were on screen: each tile got a picture cut from a copy of the output.
        check("captures delivered: 2 with 2 images" in app.output(), "the switcher's tiles get window pictures")
    finally:
        for client in clients:
            client.terminate()
            client.wait(10)


def palette(args, keys, app):
    """Super+V held opens the palette over the focused window; a digit pastes that row into it by typing Ctrl+V
    through Tillory's own virtual keyboard once the palette has closed. A quick tap pastes what is on the
    clipboard."""
    import threading
    env = {**os.environ, "QT_QPA_PLATFORM": "wayland"}
    client = subprocess.Popen([args.client, "--title", "editor", "--class", "editor"], env=env,
                              stdout=subprocess.PIPE, text=True)
    texts = []

    def read():
        for line in client.stdout:
            if line.startswith("text "):
                texts.append(json.loads(line[5:]))
    threading.Thread(target=read, daemon=True).start()
    try:
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        wait_for(lambda: '"name": "editor"' in tree(), 15, "the editor window")
        subprocess.run(["swaymsg", "[title=^editor$] focus"], capture_output=True, timeout=10)
        wait_for(lambda: focused_title() == "editor", 10, "the editor in front")
        copy(data=b"older copy")
        time.sleep(0.3)
        copy(data=b"newest copy")
        time.sleep(0.3)
        # (what, key lines, text the editor holds afterwards)
        cases = [
            ("a quick tap pastes the clipboard", ["down Super_L", "down v", "up v", "up Super_L"], "newest copy"),
            ("held, then 2 pastes the second row", ["down Super_L", "down v", "hold", "up v", "down 2", "up 2",
                                                    "up Super_L"], "newest copyolder copy"),
            ("held, then Escape pastes nothing", ["down Super_L", "down v", "hold", "up v", "down Escape",
                                                  "up Escape", "up Super_L", "sleep 500"], "newest copyolder copy"),
        ]
        for what, lines, expected in cases:
            for line in lines:
                if line == "hold":
                    # Held until the palette is up and holds the keyboard, however slow this build is.
                    entered = app.output().count("an overlay has the keyboard")
                    wait_for(lambda n=entered: app.output().count("an overlay has the keyboard") > n, 15,
                             f"{what}: the palette to take the keyboard")
                else:
                    keys(line)
            wait_for(lambda e=expected: texts and texts[-1] == e, 10,
                     f"{what}: the editor holds {expected!r} (has {texts[-1:]!r})")
            check(True, f"{what}: {expected!r} typed into the focused window")
    finally:
        client.terminate()
        client.wait(10)


def backspace(args, keys, app):
    """Backspace in a file manager's list arrives there as Delete: sway holds a Backspace binding for Tillory only
    while the file manager has the focus. In another window Backspace stays Backspace."""
    import threading
    env = {**os.environ, "QT_QPA_PLATFORM": "wayland"}
    presses = {"files": [], "plain": []}
    clients = []
    for title, app_id, mode in (("files", "nemo", "list"), ("plain", "plain", "text")):
        client = subprocess.Popen([args.client, "--title", title, "--class", app_id, "--mode", mode], env=env,
                                  stdout=subprocess.PIPE, text=True)
        clients.append(client)

        def read(c=client, into=presses[title]):
            for line in c.stdout:
                if line.startswith("press "):
                    into.append(line.split()[1])
        threading.Thread(target=read, daemon=True).start()
    try:
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        wait_for(lambda: '"name": "files"' in tree() and '"name": "plain"' in tree(), 15, "both windows")
        # (window focused, what it must receive, what it must not)
        cases = [
            ("files", "Del", "Backspace"),
            ("plain", "Backspace", "Del"),
            ("files", "Del", "Backspace"),
        ]
        for title, wanted, unwanted in cases:
            subprocess.run(["swaymsg", f"[title=^{title}$] focus"], capture_output=True, timeout=10)
            wait_for(lambda t=title: focused_title() == t, 10, f"{title} in front")
            # sway's focus event reaches Tillory, which then binds Backspace for the file manager only.
            def bound():
                out = app.output()
                return out.rfind('"bindsym BackSpace') > out.rfind('"unbindsym BackSpace')
            wait_for(lambda t=title: bound() == (t == "files"), 10, "Backspace bound only for the file manager")
            got = presses[title]
            got.clear()
            keys("down BackSpace", "up BackSpace")
            wait_for(lambda w=wanted, g=got: w in g, 10, f"{wanted} in {title} (got {got!r})")
            check(unwanted not in got, f"Backspace in {title}: {wanted} arrives, and no {unwanted}")
    finally:
        for client in clients:
            client.terminate()
            client.wait(10)


def bus_has(name):
    reply = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                            "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", f"string:{name}"],
                           capture_output=True, text=True, timeout=10).stdout
    return "boolean true" in reply


def tray_items():
    return subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.kde.StatusNotifierWatcher",
                           "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties.Get",
                           "string:org.kde.StatusNotifierWatcher", "string:RegisteredStatusNotifierItems"],
                          capture_output=True, text=True, timeout=10).stdout


def start_bar(home):
    """sway's own bar on this session's bus, where it hosts the tray; answers it with a picture of its empty
    bottom rows, or None where swaybar is missing."""
    if not shutil.which("swaybar") or not shutil.which("grim"):
        print("SKIPPED the tray: swaybar or grim is not installed")
        return None, None
    bar = subprocess.Popen(["swaybar", "-b", "tray"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(lambda: bus_has("org.kde.StatusNotifierWatcher"), 10, "swaybar to host a tray")
    time.sleep(0.5)  # its first frame; nothing of Tillory's is in it yet
    return bar, screenshot(home)


def tray(home, keys, empty):
    """The status icon shows in swaybar's tray, and either button opens the panel there, as swaybar shows no
    menus; a second click closes it."""
    wait_for(lambda: "StatusNotifierItem" in tray_items() or ":1." in tray_items(), 15,
             "Tillory's status icon to register with the bar")
    changed = []

    def icon_drawn():
        pixel = screenshot(home)
        # The tray is the bar's right end; windows of the earlier steps may still be going elsewhere.
        changed[:] = [(x, y) for y in range(696, 720) for x in range(1080, 1280) if pixel(x, y) != empty(x, y)]
        return len(changed) > 20
    wait_for(icon_drawn, 15, "the status icon drawn in the bar")
    x = sum(p[0] for p in changed) // len(changed)
    y = sum(p[1] for p in changed) // len(changed)
    check(x > 1200, f"the status icon shows at the right end of the bar ({x},{y})")

    def panel_shown():
        tree = subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True, timeout=10).stdout
        return '"name": "Tillory"' in tree
    keys(f"move {x},{y}")
    # (button, panel shown afterwards)
    for button, shown in (("left", True), ("left", False), ("right", True), ("right", False)):
        keys(f"click {button}")
        wait_for(lambda s=shown: panel_shown() == s, 10, f"a {button} click to {'open' if shown else 'close'} "
                 "the panel")
        time.sleep(0.5)  # a panel that closed again at once would not be open
        check(panel_shown() == shown, f"a {button} click on the status icon {'opens' if shown else 'closes'} "
              "the panel")


def gtk(keys, app):
    """A GTK program: its copy is recorded; the palette pastes into its entry, GTK reading Tillory's own copy; and a
    click inside the island's surface but beside its strip, outside the surface's input region, reaches it."""
    import threading
    proc = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "gtk_entry_client.py"), "--title", "gtkentry"],
                            env={**os.environ, "GDK_BACKEND": "wayland", "NO_AT_BRIDGE": "1"}, stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
    lines = []

    def read():
        for line in proc.stdout:
            lines.append(line.rstrip("\n"))
    threading.Thread(target=read, daemon=True).start()
    try:
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        wait_for(lambda: '"name": "gtkentry"' in tree(), 15, "the GTK window")
        place_window("gtkentry", (440, 20, 400, 200))
        # The pointer on it, so that sway's focus following the pointer keeps it there.
        keys("move 640,150")
        subprocess.run(["swaymsg", "[title=^gtkentry$] focus"], capture_output=True, timeout=10)
        # Wayland lets a program set the clipboard only with the keyboard focus: GTK says when it has it.
        wait_for(lambda: [line for line in lines if line.startswith("active ")][-1:] == ["active 1"], 10,
                 "the GTK window to have the keyboard")
        copy(data=b"for the GTK entry")
        wait_for(lambda: app.texts() and app.texts()[0] == "for the GTK entry", 10, "the copy for GTK recorded")

        # The collapsed island's surface spans 402-878 × 0-180; only its strip, the top 32 px, takes the pointer.
        keys("move 640,40", "click left")
        wait_for(lambda: any(line.startswith("click ") for line in lines), 10, "the click beside the strip")
        x, y = (int(v) for v in next(line for line in lines if line.startswith("click ")).split()[1:])
        check((x, y) == (200, 20), f"a click in the island's surface beside its strip reaches the window below ({x},{y})")

        # After the click: the compositor takes a program's copy only with an input event newer than the last copy.
        proc.stdin.write("copy copied in GTK\n")
        proc.stdin.flush()
        wait_for(lambda: app.texts() and app.texts()[0] == "copied in GTK", 10,
                 f"GTK's copy recorded ({lines[-4:]}, {app.output().splitlines()[-3:]})")
        check(True, "a GTK program's copy is recorded")

        entered = app.output().count("an overlay has the keyboard")
        keys("down Super_L", "down v")
        wait_for(lambda: app.output().count("an overlay has the keyboard") > entered, 15, "the palette over GTK")
        keys("up v", "down 2", "up 2", "up Super_L")
        wait_for(lambda: 'text "for the GTK entry"' in lines, 10, f"the second row in the GTK entry ({lines[-3:]})")
        check(True, "2 in the palette pastes into a GTK entry, GTK reading Tillory's own copy")
    finally:
        proc.stdin.close()
        proc.terminate()
        proc.wait(10)


def overlay_rect(app, name):
    """Where Tillory last placed its overlay `name`, as its log says: (x, y, width, height) or None."""
    found = re.findall(r'"%s" (?:shown at|moved to) QRect\((-?\d+),(-?\d+) (\d+)x(\d+)\)' % name, app.output())
    return tuple(int(v) for v in found[-1]) if found else None


def caret(args, keys, app):
    """In a field whose caret the accessibility bus shows, the palette sits 8 px above the caret, centred on it:
    the caret's place relative to its window plus the window's place in sway's tree."""
    sys.path.insert(0, HERE)
    from keyboard_e2e import FOCUSED_TEXT_PROBE
    env = {**os.environ, "QT_QPA_PLATFORM": "wayland", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
    client = subprocess.Popen([args.client, "--title", "caret", "--class", "caret"], env=env,
                              stdout=subprocess.DEVNULL)
    try:
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        wait_for(lambda: '"name": "caret"' in tree(), 15, "the field's window")
        place_window("caret", (650, 450, 400, 60))
        subprocess.run(["swaymsg", "[title=^caret$] focus"], capture_output=True, timeout=10)
        wait_for(lambda: subprocess.run(["/usr/bin/python3", "-c", FOCUSED_TEXT_PROBE, str(client.pid)],
                                        capture_output=True, timeout=30).returncode == 0,
                 15, "the text field on the accessibility bus")
        keys("down a", "up a")
        keys("move 100,650")  # far from the caret: the pointer must not be what places it
        keys("down Super_L", "down v")
        entered = app.output().count("an overlay has the keyboard")
        wait_for(lambda: app.output().count("an overlay has the keyboard") > entered, 15, "the palette to open")
        keys("up v", "down Escape", "up Escape", "up Super_L")
        x, y, width, height = overlay_rect(app, "palette")
        check(650 - width // 2 <= x <= 650 + 80 - width // 2, f"the palette is centred on the caret ({x}, {width} wide)")
        check(450 - 8 <= y + height <= 450 + 60 - 8, f"the palette sits 8 px above the caret ({y} + {height})")
    finally:
        client.terminate()
        client.wait(10)


def place_window(title, frame):
    """Floats the window `title` at `frame` (x, y, width, height), asking again until it holds: a window still
    settling its first size may undo the first request."""
    x, y, width, height = frame
    command = ["swaymsg", f"[title=^{title}$] floating enable, resize set {width} {height}, "
               f"move absolute position {x} {y}"]

    def placed():
        if window_rect(title) == tuple(frame):
            return True
        subprocess.run(command, capture_output=True, timeout=10)
        return False
    wait_for(placed, 15, f"the window {title} at {frame} (it is at {window_rect(title)})")


def window_rect(title):
    def walk(node):
        if node.get("name") == title:
            return node
        for child in node.get("nodes", []) + node.get("floating_nodes", []):
            found = walk(child)
            if found:
                return found
        return None
    tree = subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True, timeout=10).stdout
    node = walk(json.loads(tree))
    if not node:
        return None
    rect, deco = node["rect"], node.get("deco_rect", {})
    # The frame: sway's rectangle with the title bar above it.
    return (rect["x"], rect["y"] - deco.get("height", 0), rect["width"], rect["height"] + deco.get("height", 0))


def snapping(args, keys):
    """Ctrl+Alt+arrows through sway's bindings, the frame applied through its IPC (a tiled window floats first).
    The output is 1280 x 720 with nothing reserved."""
    env = {**os.environ, "QT_QPA_PLATFORM": "wayland"}
    client = subprocess.Popen([args.client, "--title", "snapper", "--class", "snapper"], env=env,
                              stdout=subprocess.DEVNULL)
    try:
        wait_for(lambda: window_rect("snapper"), 15, "the window to snap")
        subprocess.run(["swaymsg", "[title=^snapper$] focus"], capture_output=True, timeout=10)
        wait_for(lambda: focused_title() == "snapper", 10, "it in front")
        # (what, arrow, frame afterwards: x, y, width, height)
        cases = [("left half", "Left", (0, 0, 640, 720)), ("right half", "Right", (640, 0, 640, 720)),
                 ("maximised", "Up", (0, 0, 1280, 720))]
        for what, arrow, frame in cases:
            keys("down Control_L", "down Alt_L", f"down {arrow}", f"up {arrow}", "up Alt_L", "up Control_L")
            wait_for(lambda f=frame: window_rect("snapper") == f, 10,
                     f"{what}: frame {frame} (has {window_rect('snapper')})")
            check(True, f"Ctrl+Alt+{arrow}: {what}")
    finally:
        client.terminate()
        client.wait(10)


def run(args, home):
    binary = args.tillory
    # The accessibility bus, now: Qt programs and Tillory look for it only as they start.
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                    "org.a11y.Bus.GetAddress"], capture_output=True, timeout=30)
    app = Tillory(binary, home)
    wait_for(lambda: "watching the clipboard" in app.output(), 15, "Tillory to watch the clipboard")
    out = app.output()
    check("Wayland backend with sway's IPC" in out, "it chooses the Wayland backend and says why")
    check("XWayland" not in out, "and does not go through XWayland")

    # (what, wl-copy arguments, bytes, recorded text or None)
    cases = [
        ("plain text", [], b"first copy on sway", "first copy on sway"),
        ("text with markup stays literal", [], b"<b>bold?</b>", "<b>bold?</b>"),
        ("only a password manager's mark, no text", ["--type", "x-kde-passwordManagerHint"], b"hunter2", None),
        ("UTF-8 beyond ASCII", ["--type", "text/plain;charset=utf-8"], "grüße ✓".encode(), "grüße ✓"),
        ("surrounding blanks are trimmed", [], b"  padded  \n", "padded"),
        ("the same text again is not a second entry", [], b"first copy on sway", "first copy on sway"),
    ]
    for what, arguments, data, expected in cases:
        before = app.texts()
        copy(*arguments, data=data)
        if expected is None:
            time.sleep(1.0)
            check(app.texts() == before, f"{what}: not recorded")
        else:
            wait_for(lambda: app.texts() and app.texts()[0] == expected, 10, f"{what}: {expected!r} recorded first")
            check(app.texts().count(expected) == 1, f"{what}: recorded once")
    check("hunter2" not in json.dumps(app.texts()), "the concealed text is nowhere in the history")

    before = cpu_seconds(app.proc.pid)
    time.sleep(3)
    idle = cpu_seconds(app.proc.pid) - before
    check(idle < 0.3, f"nothing polls while nothing happens ({idle:.2f} s of CPU in 3 s)")
    keys = Keys(args.keys) if args.keys else None
    try:
        island(home, keys)
        if keys and args.client:
            switcher(args, keys, app)
            palette(args, keys, app)
            backspace(args, keys, app)
            caret(args, keys, app)
            gtk(keys, app)
            snapping(args, keys)
    finally:
        if keys:
            keys.close()
    check(app.quit() == 0, "SIGTERM quits it cleanly")
    kept = app.texts()  # as saved at the quit: a save of the last changes may have been pending until then

    keys = Keys(args.keys) if args.keys else None
    bar, empty = start_bar(home) if keys else (None, None)
    again = Tillory(binary, home)
    wait_for(lambda: "watching the clipboard" in again.output(), 15, "the second start to watch the clipboard")
    try:
        if bar:
            tray(home, keys, empty)
    finally:
        if bar:
            bar.terminate()
            bar.wait(10)
        if keys:
            keys.close()
    texts = again.texts()
    check(texts == kept and "grüße ✓" in texts and "padded" in texts,
          f"the history survives a restart ({len(texts)} entries)")
    # What was on the clipboard when it started is not a copy made while it watched.
    time.sleep(1.0)
    check(again.texts() == texts, "the clipboard found at start is not recorded again")
    check(again.quit() == 0, "the second start quits cleanly too")

    forced = subprocess.run([binary], env={**os.environ, "HOME": home, "TILLORY_BACKEND": "x11"},
                            capture_output=True, text=True, timeout=30)
    check(forced.returncode == 1 and "needs a desktop session" in forced.stderr,
          "TILLORY_BACKEND=x11 without XWayland says there is no desktop instead of aborting")
    without_sway_ipc(args, home)
    compositor_dies(binary, home)


def without_sway_ipc(args, home):
    """On a wlroots compositor other than sway (here: sway with its socket hidden) Tillory takes the same backend
    less what needs sway's IPC, and still records copies; the desktop's own key binding runs `tillory --palette`,
    and a digit in the palette pastes into the focused window."""
    import threading
    binary = args.tillory
    home = os.path.join(home, "no-ipc")
    os.makedirs(home, exist_ok=True)
    app = Tillory(binary, home, SWAYSOCK=None, I3SOCK=None)
    client = None
    keys = Keys(args.keys) if args.keys and args.client else None
    try:
        wait_for(lambda: "watching the clipboard" in app.output(), 15, "Tillory without sway's IPC to start")
        check("Wayland backend without sway's IPC" in app.output(), "without sway's socket it says what it lacks")
        nothing = subprocess.run([binary, "--palette"], capture_output=True, text=True, timeout=30,
                                 env={**os.environ, "HOME": home})
        check(nothing.returncode == 1 and "nothing to show" in nothing.stderr,
              f"--palette with an empty history says so ({nothing.returncode}: {nothing.stderr.strip()})")
        copy(data=b"older without IPC")
        wait_for(lambda: "older without IPC" in app.texts(), 10, "the first copy recorded without IPC")
        copy(data=b"copied on another wlroots desktop")
        wait_for(lambda: "copied on another wlroots desktop" in app.texts(), 10, "the copy recorded without IPC")
        check("bindsym" not in app.output(), "and binds no keys")
        if not keys:
            return
        env = {**os.environ, "QT_QPA_PLATFORM": "wayland"}
        client = subprocess.Popen([args.client, "--title", "noipc", "--class", "noipc"], env=env,
                                  stdout=subprocess.PIPE, text=True)
        texts = []

        def read():
            for line in client.stdout:
                if line.startswith("text "):
                    texts.append(json.loads(line[5:]))
        threading.Thread(target=read, daemon=True).start()
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        wait_for(lambda: '"name": "noipc"' in tree(), 15, "the window to paste into")
        subprocess.run(["swaymsg", "[title=^noipc$] focus"], capture_output=True, timeout=10)
        wait_for(lambda: focused_title() == "noipc", 10, "that window in front")
        entered = app.output().count("an overlay has the keyboard")
        opened = subprocess.run([binary, "--palette"], capture_output=True, text=True, timeout=30,
                                env={**os.environ, "HOME": home})
        check(opened.returncode == 0, f"tillory --palette reaches the running Tillory ({opened.stderr.strip()})")
        wait_for(lambda: app.output().count("an overlay has the keyboard") > entered, 15, "the palette to open")
        keys("down 2", "up 2")
        wait_for(lambda: texts and texts[-1] == "older without IPC", 10,
                 f"the second row pasted into the focused window (has {texts[-1:]!r})")
        check(True, "2 in the palette opened by the command pastes the second row")
    finally:
        if client:
            client.terminate()
            client.wait(10)
        if keys:
            keys.close()
        check(app.quit() == 0, "it quits cleanly without sway's IPC too")


def compositor_dies(binary, home):
    """A copy recorded just before the compositor goes away is saved, although Qt's Wayland plugin then ends the
    process at once, well within the half second that saves wait for further changes. Last: sway is gone after."""
    app = Tillory(binary, home)
    wait_for(lambda: "watching the clipboard" in app.output(), 15, "Tillory to watch the clipboard once more")
    recorded = app.output().count("recorded copy of")
    copy(data=b"copied as the desktop went away")
    wait_for(lambda: app.output().count("recorded copy of") > recorded, 10, "the last copy to be recorded")
    subprocess.run(["swaymsg", "exit"], capture_output=True, timeout=10)
    app.proc.wait(15)
    check("copied as the desktop went away" in app.texts(),
          f"the copy made as the compositor died is in the saved history (exit status {app.proc.returncode})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--keys", help="the test keyboard (tillory_wl_keys)")
    parser.add_argument("--client", help="the test window (tillory_text_client)")
    args = parser.parse_args()
    if not os.environ.get("WAYLAND_DISPLAY") or not os.environ.get("SWAYSOCK"):
        print("SKIPPED: run inside tests/wayland/sway-session.sh")
        return SKIPPED
    if not shutil.which("wl-copy"):
        print("SKIPPED: wl-clipboard is not installed")
        return SKIPPED
    home = tempfile.mkdtemp(prefix="tillory-wayland-")
    try:
        run(args, home)
    finally:
        shutil.rmtree(home, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
