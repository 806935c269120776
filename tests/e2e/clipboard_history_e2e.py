#!/usr/bin/env python3
"""Tillory's clipboard history on a real X server: copies made with xclip and with a multi-target owner reach the
history file; a copy survives SIGTERM inside the half-second save delay; the history survives a restart; a second
instance leaves the first alone; a data folder that cannot be written is said plainly and the history runs in
memory; a corrupt file is moved aside, not destroyed; a copy survives the X server going away."""

import argparse
import base64
import json
import os
import signal
import stat
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Desktop, Skip, wait_for  # noqa: E402
from keyboard_e2e import running_version  # noqa: E402


class Tillory:
    def __init__(self, desktop, binary, home, data_home=None):
        self.desktop = desktop
        self.home = home
        self.log_path = os.path.join(home, f"tillory-{time.monotonic_ns()}.log")
        self.log = open(self.log_path, "w")
        # The what's-new window of a first start would take the keyboard; it counts as seen.
        conf = os.path.join(home, "config", "Tillory", "Tillory.conf")
        if not os.path.exists(conf):
            os.makedirs(os.path.dirname(conf), exist_ok=True)
            with open(conf, "w") as f:
                f.write(f"[General]\nlastSeenWhatsNewVersion={running_version(binary)}\n")
        env = desktop.env(XDG_CONFIG_HOME=os.path.join(home, "config"),
                          XDG_DATA_HOME=data_home or os.path.join(home, "data"),
                          QT_LOGGING_RULES="tillory.clipboard.debug=true")
        self.proc = desktop.spawn([binary], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        self.seen = 0
        self.wait_line("the pasteboard")
        self.seen = 0  # the tray notice may come before or after it

    def lines(self):
        with open(self.log_path) as f:
            return f.read().splitlines()

    def wait_line(self, text, timeout=10):
        """Waits for the next log line (after those already consumed) that contains `text`."""
        def found():
            lines = self.lines()
            for i in range(self.seen, len(lines)):
                if text in lines[i]:
                    self.seen = i + 1
                    return True
            if self.proc.poll() is not None:
                raise AssertionError(f"Tillory exited ({self.proc.returncode}):\n" + "\n".join(lines))
            return False
        wait_for(found, timeout, repr(text))

    def stop(self, sig=signal.SIGTERM):
        self.proc.send_signal(sig)
        return self.wait_exit()

    def wait_exit(self, expected=0):
        code = self.proc.wait(30)
        self.log.close()
        if code != expected:
            sys.stderr.write("Tillory's output:\n" + "\n".join(self.lines()[-60:]) + "\n")
        return code


def history_path(home):
    return os.path.join(home, "data", "Tillory", "clipboard-history.json")


def read_history(home):
    with open(history_path(home), "rb") as f:
        return json.loads(f.read())


def texts(home):
    try:
        return [e["text"] for e in read_history(home)]
    except FileNotFoundError:
        return []


def copy_with_xclip(desktop, text, target=None):
    args = ["xclip", "-quiet", "-selection", "clipboard"] + (["-t", target] if target else [])
    proc = desktop.spawn(args, stdin=subprocess.PIPE)
    proc.stdin.write(text.encode() if isinstance(text, str) else text)
    proc.stdin.close()
    return proc


def copy_with_owner(desktop, owner, *args):
    proc = desktop.spawn([owner, *args], stdout=subprocess.PIPE)
    line = proc.stdout.readline().decode().strip()
    assert line == "ready", f"clipboard owner said {line!r}"
    return proc


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def run(desktop, tillory_bin, owner_bin):
    home = desktop.tmp
    app = Tillory(desktop, tillory_bin, home)
    app.wait_line("no system tray")

    copy_with_xclip(desktop, "hello wörld")
    app.wait_line("recorded copy of")
    wait_for(lambda: texts(home) == ["hello wörld"], 5, "the first copy on disk")
    first_id = read_history(home)[0]["id"]

    copy_with_xclip(desktop, "  \tpadded text\n\n")
    app.wait_line("recorded copy of")
    wait_for(lambda: texts(home) == ["padded text", "hello wörld"], 5, "the trimmed copy on disk")

    copy_with_xclip(desktop, "hello wörld")
    app.wait_line("promoted")
    wait_for(lambda: texts(home) == ["hello wörld", "padded text"], 5, "the repeat promoted")
    check(read_history(home)[0]["id"] == first_id, "a promoted entry keeps its id")

    copy_with_owner(desktop, owner_bin, "--text", "hunter2", "--data", "x-kde-passwordManagerHint=secret")
    app.wait_line("ignored copy: marked")
    copy_with_xclip(desktop, "whitespace only?  ".strip())
    app.wait_line("recorded copy of")
    wait_for(lambda: texts(home)[0] == "whitespace only?", 5, "the copy after the secret")
    check("hunter2" not in open(history_path(home), encoding="utf-8").read(), "a password is never recorded")

    rtf = r"{\rtf1\ansi {\b rich} text}"
    copy_with_owner(desktop, owner_bin, "--text", "rich text", "--data", "text/rtf=" + rtf)
    app.wait_line("recorded copy of")
    wait_for(lambda: texts(home)[0] == "rich text", 5, "the RTF copy on disk")
    check(base64.b64decode(read_history(home)[0]["rtf"]).decode() == rtf, "the RTF flavour is kept")
    check("rtf" not in read_history(home)[1], "a plain copy has no RTF member")

    # Only RTF, no text target: nothing to record (xclip answers any target, so the types must be honoured).
    copy_with_xclip(desktop, rtf, target="text/rtf")
    app.wait_line("ignored copy: no text")

    folder = os.path.dirname(history_path(home))
    check(stat.S_IMODE(os.stat(folder).st_mode) == 0o700, "the history folder is private")
    check(stat.S_IMODE(os.stat(history_path(home)).st_mode) == 0o600, "the history file is private")

    # A second Tillory on the same history says so, exits, and leaves the first running.
    second = subprocess.run([tillory_bin], env=desktop.env(
        XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_DATA_HOME=os.path.join(home, "data")),
        capture_output=True, timeout=20)
    check(second.returncode != 0 and b"already running" in second.stderr, f"second instance: {second}")
    check(app.proc.poll() is None, "the first Tillory still runs")

    check(sum("no system tray" in line for line in app.lines()) == 1, "the missing tray is reported once")

    # SIGTERM after the poll recorded a copy but before its half-second save: the copy must reach the disk.
    caught = False
    for attempt in range(5):
        text = f"last words {attempt}"
        copy_with_xclip(desktop, text)
        app.wait_line("recorded copy of")
        if text in texts(home):
            continue  # the save already ran; try again to land inside the window
        caught = True
        check(app.stop() == 0, "Tillory exits cleanly on SIGTERM")
        painted = [line for line in app.lines() if "QPainter" in line or "Painter not active" in line]
        check(not painted, f"quitting painted into nothing: {painted[:3]}")
        check(texts(home)[0] == text, "a copy recorded just before SIGTERM is on disk")
        break
    check(caught, "SIGTERM never landed between the poll and the save")
    before = read_history(home)

    # Restart: the history comes back, and new copies join it.
    app = Tillory(desktop, tillory_bin, home)
    check(read_history(home) == before, "starting again leaves the history as it was")
    copy_with_xclip(desktop, "after restart")
    app.wait_line("recorded copy of")
    wait_for(lambda: texts(home) == ["after restart"] + [e["text"] for e in before], 5, "history kept on restart")
    check(app.stop(signal.SIGINT) == 0, "Tillory exits cleanly on SIGINT")

    # A data folder that cannot be created (a file stands in its way; root cannot write there either): said
    # plainly with the path, not taken for another Tillory, and the history still records copies in memory.
    blocked = os.path.join(home, "blocked-data")
    with open(blocked, "w") as f:
        f.write("not a folder")
    app = Tillory(desktop, tillory_bin, home, data_home=blocked)
    check(any("cannot write to its data folder " + os.path.join(blocked, "Tillory") in line
              for line in app.lines()), "an unwritable data folder is reported with its path")
    check(not any("already running" in line for line in app.lines()), "it is not taken for another instance")
    copy_with_xclip(desktop, "in memory only")
    app.wait_line("recorded copy of")
    check(app.stop() == 0, "Tillory without a data folder exits cleanly")
    check(texts(home) == ["after restart"] + [e["text"] for e in before], "the real history was not touched")

    # A corrupt file is moved aside before anything replaces it.
    with open(history_path(home), "w") as f:
        f.write('[{"id": "not a uuid", "text": "x", "date": 1}')
    app = Tillory(desktop, tillory_bin, home)
    corrupt = history_path(home) + ".corrupt"
    check(os.path.exists(corrupt), "the unreadable file was moved aside")
    check(open(corrupt).read().startswith('[{"id": "not a uuid"'), "the moved file is unchanged")
    copy_with_xclip(desktop, "fresh start")
    app.wait_line("recorded copy of")
    wait_for(lambda: texts(home) == ["fresh start"], 5, "a fresh history after the corrupt one")

    # The X server goes away right after a copy, inside the half-second save delay. Qt then ends the process
    # itself, without an orderly quit; the copy must still reach the disk. Last: the desktop is gone afterwards.
    for attempt in range(5):
        text = f"before the server goes {attempt}"
        copy_with_xclip(desktop, text)
        app.wait_line("recorded copy of")
        if text not in texts(home):
            break
    check(text not in texts(home), "the X server was never stopped between the poll and the save")
    desktop.procs[0].kill()  # Xvfb
    app.wait_exit(expected=1)
    check(texts(home)[0] == text, "a copy recorded just before the X server went away is on disk")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--clip-owner", required=True)
    args = parser.parse_args()
    try:
        desktop = Desktop()
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    try:
        run(desktop, args.tillory, args.clip_owner)
    finally:
        desktop.close()
    print("clipboard history end-to-end: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
