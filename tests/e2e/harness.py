"""A real X desktop for end-to-end tests: Xvfb, a window manager with its key bindings freed, and the processes a
test starts. Everything started here is stopped again by `close()`, whatever happened in between."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time


class Skip(Exception):
    """The machine lacks something the test needs (not a failure of ours)."""


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.02)
    raise AssertionError(f"timed out after {timeout} s waiting for {what}")


OPENBOX_RC = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
"""


FLUXBOX_INIT = """session.keyFile: ~/.fluxbox/keys
session.styleFile: /usr/share/fluxbox/styles/Squared_for_Debian
session.configVersion: 13
session.screen0.workspacewarping: false
session.screen0.toolbar.visible: {toolbar}
session.screen0.toolbar.placement: BottomCenter
session.screen0.toolbar.widthPercent: 100
session.screen0.toolbar.tools: workspacename, iconbar
session.styleOverlay: ~/.fluxbox/overlay
"""


class Desktop:
    def __init__(self, manager="openbox", manager_config=None, size=(1280, 800), toolbar=True):
        """`manager` is openbox (with OPENBOX_RC, or `manager_config` as its rc.xml), icewm (with `manager_config`
        as its preferences file, when given) or fluxbox (with `manager_config` as its keys file, when given, and
        its toolbar, a panel along the bottom, unless `toolbar` is false). The X screen is `size` pixels."""
        for tool in ("Xvfb", manager, "xclip"):
            if not shutil.which(tool):
                raise Skip(f"{tool} is not installed")
        self.tmp = tempfile.mkdtemp(prefix="tillory-e2e-")
        self.procs = []
        self.runtime = os.path.join(self.tmp, "runtime")
        os.mkdir(self.runtime, 0o700)
        read_fd, write_fd = os.pipe()
        # -noreset: a server that resets whenever its last client leaves drops connections being made meanwhile
        # (the window manager's, while a poll's xprop disconnects).
        xvfb = subprocess.Popen(
            ["Xvfb", "-noreset", "-displayfd", str(write_fd), "-screen", "0", f"{size[0]}x{size[1]}x24", "-nolisten",
             "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.close()
            raise Skip("Xvfb did not start")
        self.display = ":" + number
        self.manager = manager
        if manager == "openbox":
            rc = os.path.join(self.tmp, "openbox-rc.xml")
            with open(rc, "w") as f:
                f.write(manager_config or OPENBOX_RC)
            self.manager_log = os.path.join(self.tmp, "openbox.log")
            command = ["openbox", "--sm-disable", "--config-file", rc]
            with open(self.manager_log, "ab") as log:
                openbox = self.spawn(command, stderr=log)
            restarts = 0

            def started():
                nonlocal openbox, restarts
                if openbox.poll() is not None and restarts < 3:
                    restarts += 1  # a manager that gave up at start-up; its log says why
                    with open(self.manager_log, "ab") as log:
                        openbox = self.spawn(command, stderr=log)
                # The theme is announced at the end of openbox's start-up, once it manages windows.
                return b"_OB_THEME(" in subprocess.run(
                    ["xprop", "-root", "_OB_THEME"], env=self.env(), capture_output=True).stdout

            try:
                wait_for(started, 30, "the window manager")
            except AssertionError:
                with open(self.manager_log, errors="replace") as log:
                    print(log.read(), file=sys.stderr)
                self.close()
                raise
        else:
            config = os.path.join(self.tmp, manager)
            os.mkdir(config)
            if manager == "fluxbox":
                # A home of its own: it reads ~/.fluxbox, and replaces an init file given elsewhere (-rc) with its
                # defaults on a first start.
                home = os.path.join(config, ".fluxbox")
                os.mkdir(home)
                with open(os.path.join(home, "keys"), "w") as f:
                    f.write(manager_config or "")
                with open(os.path.join(home, "overlay"), "w") as f:
                    f.write("background: none\n")  # the style's picture would need a setter that is not installed
                with open(os.path.join(home, "init"), "w") as f:
                    f.write(FLUXBOX_INIT.format(toolbar="true" if toolbar else "false"))
                self.spawn(["fluxbox"], env=self.env(HOME=config))
            else:
                if manager_config:
                    with open(os.path.join(config, "preferences"), "w") as f:
                        f.write(manager_config)
                self.spawn([manager], env=self.env(ICEWM_PRIVCFG=config))
            wait_for(lambda: b"window id" in subprocess.run(
                ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env(), capture_output=True).stdout,
                30, "the window manager")

    def env(self, **extra):
        env = dict(os.environ)
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=self.runtime, QT_QPA_PLATFORM="xcb")
        env.pop("WAYLAND_DISPLAY", None)
        env.update(extra)
        return env

    def spawn(self, args, **kwargs):
        kwargs.setdefault("env", self.env())
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        proc = subprocess.Popen(args, **kwargs)
        self.procs.append(proc)
        return proc

    def run(self, args, check=True):
        """Runs a command line tool on this desktop and answers its output."""
        result = subprocess.run(args, env=self.env(), capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise AssertionError(f"{' '.join(args)} failed ({result.returncode}): {result.stderr}")
        return result.stdout

    def key(self, *keys):
        """Types each key or chord in turn, as a person would (xdotool's chords let go of modifiers first)."""
        self.run(["xdotool", "key", "--delay", "20", *keys])

    def start_tray(self):
        """A tray host at the top right; answers where its first icon sits, or None without one."""
        if not shutil.which("trayer"):
            return None
        self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                    "--height", "24", "--transparent", "false", "--tint", "0x303030"])
        wait_for(lambda: "trayer" in self.run(["xdotool", "search", "--class", "trayer"], check=False) or
                 self.run(["xdotool", "search", "--name", "panel"], check=False).strip(), 10, "the tray host")
        return (1268, 12)

    def start_accessibility_bus(self):
        """Starts the session's accessibility bus now: Qt programs only look for one when they start."""
        self.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                  "org.a11y.Bus.GetAddress"], check=False)

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


def run_on_desktop(run, name):
    """The entry point of a test that needs only --tillory and --out: runs `run(desktop, tillory, out)` on a
    fresh desktop and answers the exit status (77 when the machine lacks something, which ctest counts as a
    skip)."""
    import argparse

    parser = argparse.ArgumentParser()
    parser.add_argument("--tillory", required=True)
    parser.add_argument("--out", default=".")
    args = parser.parse_args()
    try:
        desktop = Desktop()
        try:
            run(desktop, args.tillory, args.out)
        finally:
            desktop.close()
    except Skip as why:
        print(f"SKIPPED: {why}")
        return 77
    print(f"{name} end-to-end: passed")
    return 0
