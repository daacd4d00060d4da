"""One measured run: a product's or the xdotool peer's clicks at one interval, idle, start-up.

Drives the end-to-end harness and its product adapters (tests/e2e/) the way the tests do. The
recorder logs every click with the X server's time stamp (whole ms) and its own clock (us); a
run's timing figures come from those stamps alone, so saved stamps give them again.
"""

import argparse
import math
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
# The end-to-end harness and its product adapters: Xvfb, the recorder, driving the program.
from harness import ELSEWHERE, TARGET, check, now_us, wait  # noqa: E402
from products import Linux, Wayland, Wine, processes, read_proc  # noqa: E402
from scenarios import start_run  # noqa: E402

RELEASE = ROOT / "build" / "release"
MINGW = ROOT / "build" / "mingw"


def linux_options(morvane=RELEASE / "src" / "platform" / "linux" / "morvane"):
    """What the Linux adapter needs: the program and the build's test clients."""
    return argparse.Namespace(
        morvane=str(morvane),
        recorder=str(RELEASE / "tests" / "linux" / "morvane_test_recorder"))


def wayland_options():
    """What the Wayland adapter needs besides: the build's Wayland test client."""
    options = linux_options()
    options.wl_tool = str(RELEASE / "tests" / "wayland" / "morvane_wl_tool")
    return options


def wine_options(exe=MINGW / "src" / "platform" / "win32" / "Morvane.exe"):
    """What the Wine adapter needs: the exe, its recorder and the bench's own prefix."""
    return argparse.Namespace(exe=str(exe),
                              recorder=str(MINGW / "tests" / "wine" / "morvane_recorder.exe"),
                              prefix=str(MINGW / "bench-wineprefix"))


# --- one process's costs ---------------------------------------------------------------------


def cpu_ticks_seconds(pid):
    """utime + stime of every thread, from /proc/PID/stat (clock ticks, 10 ms each here)."""
    with open(f"/proc/{pid}/stat", encoding="ascii") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_sched_seconds(pid):
    """Run time of the live threads in ns resolution, from /proc/PID/task/*/schedstat."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat", encoding="ascii") as f:
                total += int(f.read().split()[0])
        except FileNotFoundError:
            pass
    return total / 1e9


CPUACCT = "/sys/fs/cgroup/cpuacct/cpuacct.usage"


def machine_busy():
    """(busy, total) of all cores, as a pair of counters in the same unit.

    The root cgroup's cpuacct counts every task's run time in ns. /proc/stat, the fallback,
    samples at the scheduler tick, and work paced at 1 ms can hide between the ticks."""
    if os.path.exists(CPUACCT):
        with open(CPUACCT, encoding="ascii") as f:
            return int(f.read()), time.monotonic_ns() * os.cpu_count()
    with open("/proc/stat", encoding="ascii") as f:
        values = [int(v) for v in f.readline().split()[1:9]]
    idle = values[3] + values[4]  # idle + iowait
    return sum(values) - idle, sum(values)


def steal_ms():
    """Time the hypervisor kept this VM's cores from running, all cores summed (ticks)."""
    with open("/proc/stat", encoding="ascii") as f:
        return int(f.readline().split()[8]) * 1000 / os.sysconf("SC_CLK_TCK")


class CpuWindow:
    """How busy the machine was over a stretch of wall time; given a pid, that process's CPU."""

    def __init__(self, pid=None):
        self.wall = time.monotonic()
        self.pid = pid
        self.cpu = (cpu_ticks_seconds(pid), cpu_sched_seconds(pid)) if pid else None
        self.machine = machine_busy()
        self.steal = steal_ms()

    def stop(self):
        """Wall time, machine busy and VM steal since the start, and the process's CPU."""
        wall = time.monotonic() - self.wall
        busy, total = machine_busy()
        out = {"wall_s": wall,
               "machine_pct": 100 * (busy - self.machine[0]) / max(1, total - self.machine[1]),
               "steal_ms": steal_ms() - self.steal}
        if self.cpu:
            out.update(stat_pct=100 * (cpu_ticks_seconds(self.pid) - self.cpu[0]) / wall,
                       sched_pct=100 * (cpu_sched_seconds(self.pid) - self.cpu[1]) / wall)
        return out


def status_kb(pid, key):
    """One kB field of /proc/PID/status."""
    with open(f"/proc/{pid}/status", encoding="ascii") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    raise KeyError(key)


# --- click statistics ------------------------------------------------------------------------


def percentile(values, p):
    """The nearest-rank p-th percentile."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(p / 100 * len(ordered)) - 1)]


def figures(stamps_us, server_ms, interval_ms):
    """Rate, period error and drift of one run. stamps_us: recorder clock; server_ms: X time."""
    n = len(stamps_us)
    periods = [(b - a) / 1000 for a, b in zip(stamps_us, stamps_us[1:])]
    errors = [abs(p - interval_ms) for p in periods]
    span_ms = (stamps_us[-1] - stamps_us[0]) / 1000
    out = {
        "clicks": n,
        "rate": (n - 1) / span_ms * 1000,
        "median_period": statistics.median(periods),
        "median_error": statistics.median(periods) - interval_ms,
        "median_abs_error": statistics.median(errors),
        "p99_abs_error": percentile(errors, 99),
        "drift": span_ms - (n - 1) * interval_ms,
        # The drift split in two: whole beats that passed without a click, and how far the
        # last click sits off the first one's grid of beats.
        "missed_beats": round(span_ms / interval_ms) - (n - 1),
        "grid_offset": span_ms - round(span_ms / interval_ms) * interval_ms,
        "periods": periods,
        "stamps_us": stamps_us,
        "server_ms": server_ms,
    }
    if server_ms:
        out["server_median_period"] = statistics.median(
            b - a for a, b in zip(server_ms, server_ms[1:]))
        out["server_drift"] = server_ms[-1] - server_ms[0] - (n - 1) * interval_ms
    if n >= 1000:
        out["drift_1000"] = (stamps_us[999] - stamps_us[0]) / 1000 - 999 * interval_ms
    return out


# --- the runs --------------------------------------------------------------------------------


def wait_clicks(d, base, count, timeout):
    """The first `count` clicks after index `base` of the log, or a Failure when they lag."""
    return wait(f"{count} clicks", lambda: d.clicks()[base:base + count]
                if len(d.clicks()) >= base + count else None, timeout)[:count]


def end_with_f12(p):
    """F12 from the recorder, and the program gone with exit code 0."""
    p.press("F12")
    check(p.wait_exit(10)[0] == 0, "the program did not exit cleanly on F12")


def run_program(p, interval_ms, text, count, idle_seconds=0):
    """One product at one interval: its clicks' timing, its CPU and memory meanwhile. With
    idle_seconds, first its CPU while only the hotkey poll runs (capture stopped)."""
    d = p.desktop
    p.start()
    p.capture()
    idle = None
    if idle_seconds:
        idle_cpu = CpuWindow(p.pid())
        time.sleep(idle_seconds)
        idle = idle_cpu.stop()
    p.type_interval(text)
    base = len(d.clicks())  # the recorder has logged the earlier runs too
    start_run(p)
    wait("the first click", lambda: len(d.clicks()) > base, 5 + interval_ms / 1000)
    cpu = CpuWindow(p.pid())
    helper = wineserver_of(p)
    helper_cpu = CpuWindow(helper) if helper else None
    desktop = desktop_cpu(p)
    time.sleep(max(0.0, (count - 2) * interval_ms / 1000))
    clicks = wait_clicks(d, base, count, 10 + count * interval_ms / 1000)
    cost = cpu.stop()
    hwm = p.rss_kb("VmHWM")
    end_with_f12(p)
    check({(c.x, c.y) for c in clicks} == {TARGET}, "a click off the target")
    # Only X stamps the clicks with its own clock; the Win32 message time is not that.
    result = figures([c.us for c in clicks],
                     [c.ms for c in clicks] if isinstance(p, Linux) else [], interval_ms)
    result.update(cpu_pct=cost["sched_pct"], cpu_stat_pct=cost["stat_pct"], hwm_kb=hwm,
                  cpu_us_per_click=cost["sched_pct"] / 100 / result["rate"] * 1e6,
                  machine_pct=cost["machine_pct"], steal_ms=cost["steal_ms"])
    if isinstance(p, Wine):
        result["wineserver_cpu_pct"] = helper_cpu.stop()["sched_pct"] if helper_cpu else None
    if desktop:
        result["desktop_cpu_pct"] = sum(w.stop()["sched_pct"] for w in desktop)
    return (result, idle) if idle_seconds else result


DESKTOP = ("kwin_wayland", "xdg-desktop-por", "Xwayland")  # comm is cut at 15 characters


def desktop_cpu(p):
    """On Wayland, windows on the CPU of what carries each click: KWin, the portal and its KDE
    backend (Xwayland, which only hosts the program's window, for comparison)."""
    if not isinstance(p, Wayland):
        return []
    want = f"XDG_RUNTIME_DIR={p.env['XDG_RUNTIME_DIR']}".encode()
    return [CpuWindow(pid) for name in DESKTOP for pid in processes(name)
            if want in read_proc(pid, "environ", "rb").split(b"\0")]


def wineserver_of(p):
    """The wineserver of the product's prefix: Wine's timers and messages go through it."""
    want = f"WINEPREFIX={p.env.get('WINEPREFIX')}".encode()
    return next((pid for pid in processes("wineserver")
                 if isinstance(p, Wine) and want in read_proc(pid, "environ", "rb").split(b"\0")),
                None)


def run_peer(d, interval_ms, count):
    """`xdotool click --repeat` at one interval: its clicks' timing, its CPU and memory."""
    # --sync waits for the pointer to move: the last click of ours left it on the target.
    d.move(*ELSEWHERE)
    d.move(*TARGET)
    base = len(d.clicks())
    window = CpuWindow()
    peer = subprocess.Popen(["xdotool", "click", "--repeat", str(count), "--delay",
                             str(interval_ms), "1"], env=d.env)
    # Its peak RSS is sampled while it runs: a child's ru_maxrss also counts the memory of the
    # Python process it was forked from.
    hwm = 0
    deadline = window.wall + 30 + count * interval_ms / 1000
    while True:
        try:
            with open(f"/proc/{peer.pid}/comm", encoding="ascii") as f:
                if f.read().strip() == "xdotool":
                    hwm = max(hwm, status_kb(peer.pid, "VmHWM"))
        except (FileNotFoundError, KeyError, ProcessLookupError):
            pass  # exiting, or not yet exec'd
        pid, status, usage = os.wait4(peer.pid, os.WNOHANG)
        if pid:
            break
        check(time.monotonic() < deadline, "xdotool did not finish")
        time.sleep(0.02)
    peer.returncode = os.waitstatus_to_exitcode(status)
    context = window.stop()
    check(peer.returncode == 0, f"xdotool exited with {peer.returncode}")
    clicks = wait_clicks(d, base, count, 5)
    result = figures([c.us for c in clicks], [c.ms for c in clicks], interval_ms)
    # Its whole life, start-up included: it is a one-shot process.
    cpu = (usage.ru_utime + usage.ru_stime) / context["wall_s"]
    result.update(cpu_pct=100 * cpu, cpu_us_per_click=cpu / result["rate"] * 1e6,
                  hwm_kb=hwm, machine_pct=context["machine_pct"], steal_ms=context["steal_ms"])
    return result


def run_idle_and_startup(p, starts, idle_seconds):
    """Start-up to the window's MapNotify, `starts` times; then CPU while only the poll runs."""
    startups = []
    p.prepare()
    for i in range(starts):
        launched = now_us()
        p.start()
        mapped = wait("the MapNotify of Form1", lambda: [
            int(us) for window, us in p.desktop.lines("map") if int(window) == p.form], 5)[-1]
        startups.append((mapped - launched) / 1e6)
        if i < starts - 1:
            end_with_f12(p)
    time.sleep(2)  # past the first paint and font loading
    cpu = CpuWindow(p.pid())
    time.sleep(idle_seconds)
    idle = cpu.stop()
    idle["hwm_kb"] = p.rss_kb("VmHWM")
    idle["rss_kb"] = p.rss_kb()
    end_with_f12(p)
    return {"startup_s": startups, "idle": idle}


# --- what was measured, and where ------------------------------------------------------------


def sizes():
    """The Linux program as built and stripped, and Morvane.exe if it is built."""
    out = {}
    linux = Path(linux_options().morvane)
    out["morvane"] = linux.stat().st_size
    stripped = RELEASE / "bench-morvane-stripped"
    subprocess.run(["strip", "-o", str(stripped), str(linux)], check=True)
    out["morvane_stripped"] = stripped.stat().st_size
    stripped.unlink()
    exe = Path(wine_options().exe)
    if exe.exists():
        out["Morvane.exe"] = exe.stat().st_size
    return out


def machine():
    """The machine, commit, date and peer versions the figures were taken with."""
    model = next((line.split(":", 1)[1].strip() for line in subprocess.run(
        ["lscpu"], capture_output=True, text=True, check=False).stdout.splitlines()
        if line.startswith("Model name")), "unknown")
    commit = subprocess.run(["git", "-C", str(ROOT), "describe", "--always"],
                            capture_output=True, text=True, check=False).stdout.strip()
    # The doc and plot this script rewrites do not count as local changes.
    if subprocess.run(["git", "-C", str(ROOT), "status", "--porcelain", "--untracked-files=no",
                       "--", ".", ":!docs"], capture_output=True, text=True,
                      check=False).stdout.strip():
        commit += " with local changes"
    return {"nproc": os.cpu_count(), "cpu": model, "kernel": platform.release(),
            "commit": commit or "unknown",
            "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
            "xdotool": "xdotool " + subprocess.run(
                ["dpkg-query", "-W", "-f=${Version}", "xdotool"], capture_output=True, text=True,
                check=False).stdout.strip(),
            "wine": subprocess.run(["wine", "--version"], capture_output=True, text=True,
                                   check=False).stdout.strip() if shutil.which("wine") else ""}
