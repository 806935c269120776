#!/usr/bin/env python3
"""Tillory on sway beside Tillory on X11, measured in one run, alternating, and printed as a Markdown table of
medians with the ratio sway / X11; then, on sway alone, how soon an overlay's first picture follows its chord and
a copy is recorded after another program made it.

  tests/wayland/sway-session.sh python3 bench/wayland_compare.py [--runs 5] [--seconds 30] [--sessions 20]
      [--build build/release]

Runs inside the headless sway that tests/wayland/sway-session.sh starts; the X11 side gets an Xvfb (1280 x 800) and
openbox of its own beside it. Each start is fresh, with every feature on and nothing shown, the two taking turns
(ABBA) so that a machine growing busier or quieter weighs on both alike.

Rows:
  staying on   every feature on, no view shown, no player, a new text copied every 3 s (wl-copy on sway, xclip on
               X11): CPU of the process and its children over the window as a share of one core, memory at the end
  chord        on sway, from the compositor's binding event reaching Tillory to the first picture of the overlay it
               opens sent to the compositor (switcher, palette, layout picker), from Tillory's own log stamps
  copy         on sway, from the compositor announcing another program's copy to the copy recorded in the history

Needs a release build with its tests (cmake --preset release && cmake --build --preset release) and what
scripts/install-deps.sh installs."""

import argparse
import os
import platform
import re
import shutil
import subprocess
import sys
import tempfile
import time

import measure  # puts tests/e2e on the path too
from measure import median, percentile, tree_memory, write_settings
from peers_compare import EVERY_FEATURE, SETTLE, in_order, stop_tree, watch
from harness import Desktop
import wayland_session_e2e as sway_e2e

STAMP = "%{time process} %{category}: %{message}"
LINE = re.compile(r"^\s*(\d+\.\d+) (\S+): (.*)$")


def log(*words):
    print(*words, file=sys.stderr, flush=True)


class SwayTillory:
    """Tillory with its Wayland backend, in a home of its own, logging with time stamps."""

    def __init__(self, binary, home, debug):
        write_settings(os.path.join(home, ".config"), binary, EVERY_FEATURE)
        extra = {"QT_MESSAGE_PATTERN": STAMP}
        if not debug:
            extra["QT_LOGGING_RULES"] = "tillory.clipboard.debug=true"
        self.app = sway_e2e.Tillory(binary, home, **extra)
        self.proc = self.app.proc
        sway_e2e.wait_for(lambda: "watching the clipboard" in self.app.output(), 20, "Tillory on sway to start")

    def copy(self, text):
        sway_e2e.copy(data=text.encode())

    def output(self):
        return self.app.output()

    def stop(self):
        stop_tree(self.proc)


class X11Tillory:
    """Tillory with its X11 backend on the bench's own Xvfb and openbox."""

    def __init__(self, binary, desktop, home):
        write_settings(os.path.join(home, ".config"), binary, EVERY_FEATURE)
        self.desktop = desktop
        env = desktop.env(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                          XDG_DATA_HOME=os.path.join(home, ".local/share"), TILLORY_BACKEND="x11",
                          QT_LOGGING_RULES="tillory.clipboard.debug=true")
        for name in ("WAYLAND_DISPLAY", "SWAYSOCK", "I3SOCK", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        self.log_path = os.path.join(home, "tillory.log")
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([binary], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        sway_e2e.wait_for(lambda: "the pasteboard" in self.output(), 20, "Tillory on X11 to start")

    def copy(self, text):
        proc = subprocess.Popen(["xclip", "-selection", "clipboard"], stdin=subprocess.PIPE, env=self.desktop.env(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.desktop.procs.append(proc)
        proc.stdin.write(text.encode())
        proc.stdin.close()

    def output(self):
        with open(self.log_path) as f:
            return f.read()

    def stop(self):
        stop_tree(self.proc)
        self.log.close()


def staying_on(args, samples, notes):
    desktop = Desktop()
    try:
        for run in range(args.runs):
            for who in in_order(run, ["sway", "x11"]):
                log(f"  staying on, run {run + 1}: {who}")
                home = tempfile.mkdtemp(prefix=f"tillory-{who}-", dir=desktop.tmp)
                app = SwayTillory(args.tillory, home, False) if who == "sway" else X11Tillory(args.tillory, desktop,
                                                                                               home)
                try:
                    time.sleep(SETTLE)
                    cpu, copies = watch(app.proc.pid, args.seconds,
                                        lambda n, a=app, w=who, r=run: a.copy(f"wayland bench {w} {r} copy {n}"))
                    rss, pss, threads, _ = tree_memory(app.proc.pid)
                    recorded = app.output().count("recorded copy of")
                finally:
                    app.stop()
                if recorded < copies - 1:
                    notes.append(f"{who} run {run + 1}: recorded {recorded} of {copies} copies")
                for what, value in (("cpu", cpu), ("rss", rss), ("pss", pss), ("threads", threads)):
                    samples.setdefault((who, what), []).append(value)
    finally:
        desktop.close()


def stamped(output):
    """(seconds, category, message) of each stamped line."""
    for line in output.splitlines():
        match = LINE.match(line)
        if match:
            yield float(match.group(1)), match.group(2), match.group(3)


def chord_and_copy(args, samples, notes):
    home = tempfile.mkdtemp(prefix="tillory-latency-")
    app = SwayTillory(args.tillory, home, True)
    keys = sway_e2e.Keys(args.keys)
    clients = []
    try:
        env = {**os.environ, "QT_QPA_PLATFORM": "wayland"}
        for name in ("alpha", "beta"):
            clients.append(subprocess.Popen([args.client, "--title", name, "--class", name], env=env,
                                            stdout=subprocess.DEVNULL))
        tree = lambda: subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True).stdout
        sway_e2e.wait_for(lambda: '"name": "alpha"' in tree() and '"name": "beta"' in tree(), 15, "two windows")
        for n in range(args.sessions):
            app.copy(f"latency bench copy {n}")
            time.sleep(0.3)
        chords = {
            "switcher": ["down Super_L", "down Tab", "up Tab", "sleep 300", "up Super_L"],
            "palette": ["down Super_L", "down v", "hold", "up v", "down Escape", "up Escape", "up Super_L"],
            "snap": ["down Control_L", "down Alt_L", "down z", "up z", "sleep 300", "down Escape", "up Escape",
                     "up Alt_L", "up Control_L"],
        }
        for overlay, lines in chords.items():
            for _ in range(args.sessions):
                for line in lines:
                    if line == "hold":
                        entered = app.output().count("an overlay has the keyboard")
                        sway_e2e.wait_for(lambda n=entered: app.output().count("an overlay has the keyboard") > n,
                                          15, "the palette to open")
                    else:
                        keys(line)
                time.sleep(0.5)
        output = app.output()
    finally:
        keys.close()
        for client in clients:
            client.terminate()
            client.wait(10)
        app.stop()

    last_binding = None
    last_selection = None
    for stamp, category, message in stamped(output):
        if category == "tillory.wayland.taps" and message.startswith("binding ") and message.endswith("pressed"):
            last_binding = stamp
        elif category == "tillory.wayland.overlays" and message.endswith("first picture sent"):
            overlay = message.split('"')[1] if '"' in message else message.split()[0]
            if overlay in ("switcher", "palette", "snap") and last_binding is not None:
                samples.setdefault(("sway", f"chord {overlay}"), []).append(1000 * (stamp - last_binding))
                last_binding = None
        elif category == "tillory.clipboard.wayland" and message == "selection changed":
            last_selection = stamp
        elif category == "tillory.clipboard" and message.startswith("recorded copy of") and last_selection:
            samples.setdefault(("sway", "copy"), []).append(1000 * (stamp - last_selection))
            last_selection = None
    for overlay in ("switcher", "palette", "snap"):
        got = len(samples.get(("sway", f"chord {overlay}"), []))
        if got < args.sessions:
            notes.append(f"{overlay}: {got} of {args.sessions} openings timed")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--tillory")
    parser.add_argument("--keys")
    parser.add_argument("--client")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--sessions", type=int, default=20)
    args = parser.parse_args()
    args.tillory = args.tillory or os.path.join(args.build, "src", "app", "tillory")
    args.keys = args.keys or os.path.join(args.build, "tests", "tillory_wl_keys")
    args.client = args.client or os.path.join(args.build, "tests", "tillory_text_client")
    missing = [p for p in (args.tillory, args.keys, args.client) if not os.access(p, os.X_OK)]
    if missing:
        print(f"not built: {', '.join(missing)} (cmake --preset release && cmake --build --preset release)")
        return 2
    if not os.environ.get("SWAYSOCK"):
        print("run it inside a headless sway: tests/wayland/sway-session.sh python3 bench/wayland_compare.py")
        return 2
    for tool in ("Xvfb", "openbox", "xclip", "wl-copy"):
        if not shutil.which(tool):
            print(f"{tool} is not installed (bash scripts/install-deps.sh)")
            return 2

    samples, notes = {}, []
    started = os.getloadavg()[0]
    log("staying on...")
    staying_on(args, samples, notes)
    log("chords and copies on sway...")
    chord_and_copy(args, samples, notes)

    def figure(who, what, digits):
        values = samples.get((who, what), [])
        return f"{median(values):.{digits}f}" if values else "—"

    def ratio(what):
        a, b = samples.get(("sway", what)), samples.get(("x11", what))
        return f"{median(a) / median(b):.2f}" if a and b and median(b) > 0 else "—"

    print(f"Tillory on sway and on X11: {os.cpu_count()} cores, {platform.release()}, {args.runs} runs of "
          f"{args.seconds:.0f} s, {time.strftime('%Y-%m-%d')}; load average {started:.2f} at the start, "
          f"{os.getloadavg()[0]:.2f} at the end")
    print()
    print("| Staying on (every feature, a copy every 3 s) | sway | X11 (Xvfb + openbox) | sway / X11 |")
    print("|---|---|---|---|")
    for what, label, digits in (("cpu", "CPU, % of one core", 2), ("rss", "resident memory (RSS), MiB", 1),
                                ("pss", "proportional memory (PSS), MiB", 1), ("threads", "threads", 0)):
        print(f"| {label} | {figure('sway', what, digits)} | {figure('x11', what, digits)} | {ratio(what)} |")
    print()
    print("| On sway | median ms | 95th percentile ms | samples |")
    print("|---|---|---|---|")
    for what, label in (("chord switcher", "Super+Tab to the switcher's first picture"),
                        ("chord palette", "Super+V held (the repeat that opens it) to the palette's first picture"),
                        ("chord snap", "Ctrl+Alt+Z to the layout picker's first picture"),
                        ("copy", "another program's copy announced to recorded")):
        values = samples.get(("sway", what), [])
        if values:
            print(f"| {label} | {median(values):.1f} | {percentile(values, 0.95):.1f} | {len(values)} |")
        else:
            print(f"| {label} | — | — | 0 |")
    print()
    print("Times come from Tillory's own log stamps (millisecond grain): the binding event or the clipboard "
          "announcement read from the compositor, to the picture sent or the copy recorded.")
    for note in notes:
        print(f"- {note}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
