"""A real X desktop for end-to-end tests: Xvfb, a window manager with its key bindings freed, and the processes a
test starts. Everything started here is stopped again by `close()`, whatever happened in between."""

import os
import shutil
import signal
import subprocess
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


class Desktop:
    def __init__(self):
        for tool in ("Xvfb", "openbox", "xclip"):
            if not shutil.which(tool):
                raise Skip(f"{tool} is not installed")
        self.tmp = tempfile.mkdtemp(prefix="tillory-e2e-")
        self.procs = []
        self.runtime = os.path.join(self.tmp, "runtime")
        os.mkdir(self.runtime, 0o700)
        read_fd, write_fd = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.procs.append(xvfb)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.close()
            raise Skip("Xvfb did not start")
        self.display = ":" + number
        rc = os.path.join(self.tmp, "openbox-rc.xml")
        with open(rc, "w") as f:
            f.write(OPENBOX_RC)
        self.spawn(["openbox", "--sm-disable", "--config-file", rc])
        wait_for(lambda: b"window id" in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env(), capture_output=True).stdout,
            10, "the window manager")

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
