"""What the bench scripts share: reading a process's CPU time and memory from /proc, a private session bus, the
settings file a measured Tillory starts with, and the peer programs installed from Debian's packages."""

import os
import shutil
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
E2E = os.path.join(REPO, "tests", "e2e")
if E2E not in sys.path:
    sys.path.insert(0, E2E)

TICK = os.sysconf("SC_CLK_TCK")


def _stat_fields(pid):
    """The fields of /proc/<pid>/stat after the command name (which may hold spaces and parentheses)."""
    with open(f"/proc/{pid}/stat") as f:
        return f.read().rsplit(")", 1)[1].split()


def cpu_seconds(pid):
    """User + system time of the process, all its threads, exited ones too (clock-tick grain)."""
    fields = _stat_fields(pid)
    return (int(fields[11]) + int(fields[12])) / TICK  # utime, stime


def threads_cpu_seconds(pid):
    """CPU time of the process's live threads at nanosecond grain where the kernel keeps schedstat; threads that
    ended are not in it, so it suits short windows."""
    total = 0.0
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0]) / 1e9
        return total
    except (FileNotFoundError, ValueError):
        return cpu_seconds(pid)


def status(pid, *keys):
    """The numbers of the named /proc/<pid>/status lines (kB for the Vm* ones)."""
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in keys:
                values[key] = int(rest.split()[0])
    return values


def rss_kib(pid):
    return status(pid, "VmRSS").get("VmRSS", 0)


def memory_mib(pid):
    """Resident and peak resident memory in MiB, and the thread count."""
    values = status(pid, "VmRSS", "VmHWM", "Threads")
    return values["VmRSS"] / 1024, values["VmHWM"] / 1024, values["Threads"]


def process_tree(pid):
    """The process and all its descendants that are alive now."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            parent = int(_stat_fields(entry)[1])
        except (FileNotFoundError, ProcessLookupError, IndexError, ValueError):
            continue
        children.setdefault(parent, []).append(int(entry))
    tree, todo = [], [pid]
    while todo:
        p = todo.pop()
        tree.append(p)
        todo += children.get(p, [])
    return tree


def tree_cpu_seconds(pid):
    """CPU time of a process and its descendants: each live one's own and that of the children it reaped, so a
    helper that comes and goes between two readings still counts."""
    total = 0
    for p in process_tree(pid):
        try:
            fields = _stat_fields(p)
        except FileNotFoundError:
            continue
        total += sum(int(fields[i]) for i in (11, 12, 13, 14))  # utime, stime, cutime, cstime
    return total / TICK


class CpuReading:
    """A process tree's CPU time at one moment, read two ways: clock ticks of every process (exited threads and
    reaped children included, 10 ms grain) and nanoseconds of every live thread (schedstat)."""

    def __init__(self, pid):
        self.ticks = tree_cpu_seconds(pid)
        self.threads = {}
        for p in process_tree(pid):
            try:
                for task in os.listdir(f"/proc/{p}/task"):
                    with open(f"/proc/{p}/task/{task}/schedstat") as f:
                        self.threads[(p, task)] = int(f.read().split()[0]) / 1e9
            except (FileNotFoundError, ProcessLookupError, ValueError):
                continue

    def since(self, before):
        """CPU seconds from `before` to this reading: the nanosecond figure where the same threads lived at both
        and the ticks agree with it (no thread or child came and went between), else the ticks."""
        ticks = self.ticks - before.ticks
        if self.threads and self.threads.keys() == before.threads.keys():
            exact = sum(self.threads.values()) - sum(before.threads.values())
            # Each process's ticks are its exact time rounded down, at both readings.
            if abs(exact - ticks) <= (2 * len({p for p, _ in self.threads}) + 1) / TICK:
                return exact
        return ticks


def tree_memory(pid):
    """Summed over a process and its descendants: resident MiB, proportional MiB (shared pages split between the
    processes mapping them) and threads; and how many processes there were."""
    rss = pss = threads = count = 0
    for p in process_tree(pid):
        try:
            values = status(p, "VmRSS", "Threads")
            with open(f"/proc/{p}/smaps_rollup") as f:
                pss += next((int(line.split()[1]) for line in f if line.startswith("Pss:")), 0)
        except (FileNotFoundError, ProcessLookupError, PermissionError):
            continue
        rss += values.get("VmRSS", 0)
        threads += values.get("Threads", 0)
        count += 1
    return rss / 1024, pss / 1024, threads, count


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(fraction * (len(ordered) - 1))))]


def own_session_bus():
    """Runs this script again under a session bus of its own when it has none: its players, tray and Tillory must
    not meet the user's. Answers the exit status of that run, or None when this run already has a bus."""
    if os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        return None
    if not shutil.which("dbus-run-session"):
        print("dbus-run-session is not installed")
        return 1
    return subprocess.call(["dbus-run-session", "--", sys.executable, *sys.argv])


class PrivateSessionBus:
    """A session bus daemon of this script's own, named in os.environ for everything started from here on, even
    where the user's session has one. Unlike dbus-run-session it keeps the daemon's and its services' chatter off
    this script's output."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(["dbus-daemon", "--session", "--nofork", f"--print-address={write_fd}"],
                                     pass_fds=(write_fd,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            address = pipe.readline().strip()
        if not address:
            self.proc.wait()
            raise RuntimeError("dbus-daemon did not start")
        self.previous = os.environ.get("DBUS_SESSION_BUS_ADDRESS")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = address

    def close(self):
        if self.previous is None:
            os.environ.pop("DBUS_SESSION_BUS_ADDRESS", None)
        else:
            os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.previous
        self.proc.terminate()
        self.proc.wait(10)


def tillory_version(binary):
    out = subprocess.run([binary, "--version"], capture_output=True, text=True, timeout=30, check=True).stdout
    return out.split()[-1]


def write_settings(config, binary, settings=None):
    """Tillory's settings file under the config folder `config`. A first start of a version shows the what's-new
    window over the desktop, which is not what is measured: it counts as seen."""
    os.makedirs(os.path.join(config, "Tillory"), exist_ok=True)
    values = {"lastSeenWhatsNewVersion": tillory_version(binary), **(settings or {})}
    with open(os.path.join(config, "Tillory", "Tillory.conf"), "w") as f:
        f.write("[General]\n" + "".join(f"{k}={v}\n" for k, v in values.items()))


def ensure_peer(name, package=None, quiet=False):
    """Whether the peer program is installed; installs its Debian package with apt-get first when it is missing
    and this runs as root."""
    if shutil.which(name):
        return True
    package = package or name
    if os.geteuid() == 0 and shutil.which("apt-get"):
        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        command = ["apt-get", "install", "-y", "-qq", "--no-install-recommends", package]
        if subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env).returncode != 0:
            # A fresh machine may not have read its package lists yet.
            subprocess.run(["apt-get", "update", "-qq"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           env=env)
            subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    if shutil.which(name):
        return True
    if not quiet:
        print(f"{name} is not installed (apt-get install {package}); the comparison with it is left out")
    return False
