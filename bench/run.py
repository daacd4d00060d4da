#!/usr/bin/env python3
"""Click timing benchmark: Morvane against `xdotool click --repeat`, on a private Xvfb.

    python3 bench/run.py [--quick] [--no-build] [--no-wine] [--no-doc] [--report-only]

Builds what it needs (the `release` preset, and `mingw` for Morvane.exe), then for each interval
runs the real program through real X input, the way the end-to-end tests do (it drives their
harness and product adapters, tests/e2e/), and the peer a Linux user would otherwise reach for. Every click is
logged by the recorder window with the X server's time stamp (whole ms) and the recorder's own
CLOCK_MONOTONIC (us). Writes the tables into docs/benchmarks.md and the period plot into
docs/bench-periods.png, and prints the same tables.

--quick runs a tenth of the clicks, for trying the script out; its figures are not the ones to
publish.
"""

import argparse
import json
import math
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # the harness it imports lives in the source tree
ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
# The end-to-end harness and its product adapters: Xvfb, the recorder, driving the program.
from harness import ELSEWHERE, TARGET, Failure, check, now_us, wait  # noqa: E402
from products import Linux, Wine, processes, read_proc  # noqa: E402
from scenarios import start_run  # noqa: E402

RELEASE = ROOT / "build" / "release"
MINGW = ROOT / "build" / "mingw"
DOC = ROOT / "docs" / "benchmarks.md"
PLOT = ROOT / "docs" / "bench-periods.png"
RESULTS = RELEASE / "bench-results.json"

# (interval in ms, text typed into the interval box, clicks recorded)
INTERVALS = [(1, "0.001", 5000), (10, "0.01", 1000), (100, "0.1", 200), (1000, "1", 20)]
IDLE_SECONDS = 20
STARTUPS = 5

BEGIN = "<!-- bench:begin (written by bench/run.py) -->"
END = "<!-- bench:end -->"


def log(message):
    print(message, file=sys.stderr, flush=True)


# --- setup -----------------------------------------------------------------------------------


def ensure_packages():
    tools = ("cmake", "ninja", "Xvfb", "xdotool", "g++")
    if any(shutil.which(t) is None for t in tools):
        subprocess.run(["bash", str(ROOT / "scripts" / "deps.sh")], check=True)


def ensure_matplotlib():
    """The plot needs matplotlib; Debian's package only serves Debian's own python3."""
    try:
        import matplotlib  # noqa: F401
        return
    except ImportError:
        pass
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    if subprocess.run(["dpkg-query", "-W", "-f=${Status}", "python3-matplotlib"],
                      capture_output=True, text=True, check=False).stdout.find("ok installed") < 0:
        subprocess.run(sudo + ["apt-get", "update"], check=True)
        subprocess.run(sudo + ["apt-get", "install", "-y", "--no-install-recommends",
                               "python3-matplotlib"], check=True,
                       env={**os.environ, "DEBIAN_FRONTEND": "noninteractive"})
    system = "/usr/bin/python3"
    if os.path.realpath(sys.executable) != os.path.realpath(system) and os.path.exists(system):
        log(f"re-running under {system}, which sees python3-matplotlib")
        os.execv(system, [system, *sys.argv])


def build(with_mingw):
    subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "-j2", "--target", "morvane",
                    "morvane_test_recorder", "morvane_test_wm_close"], cwd=ROOT, check=True)
    if with_mingw:
        subprocess.run(["cmake", "--preset", "mingw"], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "mingw", "-j2"], cwd=ROOT, check=True)


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
    """CPU time of one process over a stretch of wall time, and how busy the machine was."""

    def __init__(self, pid):
        self.pid = pid
        self.wall = time.monotonic()
        self.ticks = cpu_ticks_seconds(pid)
        self.sched = cpu_sched_seconds(pid)
        self.machine = machine_busy()
        self.steal = steal_ms()

    def stop(self):
        wall = time.monotonic() - self.wall
        busy, total = machine_busy()
        return {"wall_s": wall,
                "stat_pct": 100 * (cpu_ticks_seconds(self.pid) - self.ticks) / wall,
                "sched_pct": 100 * (cpu_sched_seconds(self.pid) - self.sched) / wall,
                "machine_pct": 100 * (busy - self.machine[0]) / max(1, total - self.machine[1]),
                "steal_ms": steal_ms() - self.steal}


def status_kb(pid, key):
    with open(f"/proc/{pid}/status", encoding="ascii") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    raise KeyError(key)


# --- click statistics ------------------------------------------------------------------------


def percentile(values, p):
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
                  machine_pct=cost["machine_pct"], steal_ms=cost["steal_ms"])
    if isinstance(p, Wine):
        result["wineserver_cpu_pct"] = helper_cpu.stop()["sched_pct"] if helper_cpu else None
    return (result, idle) if idle_seconds else result


def wineserver_of(p):
    """The wineserver of the product's prefix: Wine's timers and messages go through it."""
    want = f"WINEPREFIX={p.env.get('WINEPREFIX')}".encode()
    return next((pid for pid in processes("wineserver")
                 if isinstance(p, Wine) and want in read_proc(pid, "environ", "rb").split(b"\0")),
                None)


def run_peer(d, interval_ms, count):
    # --sync waits for the pointer to move: the last click of ours left it on the target.
    d.move(*ELSEWHERE)
    d.move(*TARGET)
    base = len(d.clicks())
    started = time.monotonic()
    machine_before = machine_busy()
    steal_before = steal_ms()
    peer = subprocess.Popen(["xdotool", "click", "--repeat", str(count), "--delay",
                             str(interval_ms), "1"], env=d.env)
    # Its peak RSS is sampled while it runs: a child's ru_maxrss also counts the memory of the
    # Python process it was forked from.
    hwm = 0
    deadline = started + 30 + count * interval_ms / 1000
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
    wall = time.monotonic() - started
    busy, total = machine_busy()
    machine_pct = 100 * (busy - machine_before[0]) / max(1, total - machine_before[1])
    check(peer.returncode == 0, f"xdotool exited with {peer.returncode}")
    clicks = wait_clicks(d, base, count, 5)
    result = figures([c.us for c in clicks], [c.ms for c in clicks], interval_ms)
    # Its whole life, start-up included: it is a one-shot process.
    result.update(cpu_pct=100 * (usage.ru_utime + usage.ru_stime) / wall,
                  hwm_kb=hwm, machine_pct=machine_pct, steal_ms=steal_ms() - steal_before)
    return result


def run_idle_and_startup(p):
    """Start-up to the window's MapNotify, several times; then CPU while only the poll runs."""
    startups = []
    p.prepare()
    for i in range(STARTUPS):
        launched = now_us()
        p.start()
        mapped = wait("the MapNotify of Form1", lambda: [
            int(us) for window, us in p.desktop.lines("map") if int(window) == p.form], 5)[-1]
        startups.append((mapped - launched) / 1e6)
        if i < STARTUPS - 1:
            end_with_f12(p)
    time.sleep(2)  # past the first paint and font loading
    cpu = CpuWindow(p.pid())
    time.sleep(IDLE_SECONDS)
    idle = cpu.stop()
    idle["hwm_kb"] = p.rss_kb("VmHWM")
    idle["rss_kb"] = p.rss_kb()
    end_with_f12(p)
    return {"startup_s": startups, "idle": idle}


def sizes():
    out = {}
    linux = RELEASE / "src" / "platform" / "x11" / "morvane"
    out["morvane"] = linux.stat().st_size
    stripped = RELEASE / "bench-morvane-stripped"
    subprocess.run(["strip", "-o", str(stripped), str(linux)], check=True)
    out["morvane_stripped"] = stripped.stat().st_size
    stripped.unlink()
    exe = MINGW / "src" / "platform" / "win32" / "Morvane.exe"
    if exe.exists():
        out["Morvane.exe"] = exe.stat().st_size
    return out


def machine():
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


# --- report ----------------------------------------------------------------------------------


def fmt(value, digits=3):
    return "—" if value is None else f"{value:.{digits}f}"


def ratio(ours, peer):
    if ours is None or peer is None or peer == 0:
        return "—"
    return f"{ours / peer:.2f}"


ROWS = [  # (label, key, digits)
    ("clicks recorded", "clicks", 0),
    ("clicks/s (recorder clock)", "rate", 1),
    ("median period, ms (recorder clock)", "median_period", 3),
    ("median period, ms (server stamps)", "server_median_period", 0),
    ("median period − setting, ms (recorder clock)", "median_error", 3),
    ("median \\|period − setting\\|, ms (recorder clock)", "median_abs_error", 3),
    ("p99 \\|period − setting\\|, ms (recorder clock)", "p99_abs_error", 3),
    ("drift over the run, ms (recorder clock)", "drift", 2),
    ("drift over the run, ms (server stamps)", "server_drift", 0),
    ("drift over the first 1000 clicks, ms (recorder clock)", "drift_1000", 2),
    ("of the drift: beats without a click", "missed_beats", 0),
    ("of the drift: last click off the first one's beat grid, ms", "grid_offset", 3),
    ("CPU while clicking, % of one core", "cpu_pct", 2),
    ("the same from /proc/PID/stat utime+stime (10 ms ticks)", "cpu_stat_pct", 2),
    ("wineserver CPU meanwhile, % of one core", "wineserver_cpu_pct", 2),
    ("peak RSS (VmHWM), MiB", "hwm_mib", 1),
    ("machine busy meanwhile, % of all cores (context)", "machine_pct", 1),
    ("VM steal meanwhile, ms, all cores (context; 10 ms ticks)", "steal_ms", 0),
]


def timing_table(results):
    lines = []
    for interval_ms, _, _ in INTERVALS:
        ours = results["ours"][str(interval_ms)]
        peer = results["peer"][str(interval_ms)]
        wine = (results.get("wine") or {}).get(str(interval_ms))
        for r in (ours, peer, wine):
            if r:
                r["hwm_mib"] = r["hwm_kb"] / 1024 if "hwm_kb" in r else None
        head = f"| {interval_ms} ms | Morvane (Linux) | xdotool | ours / peer |"
        rule = "|---|---:|---:|---:|"
        if results.get("wine") is not None:
            head += " Morvane.exe (Wine) |"
            rule += "---:|"
        lines += [f"#### Interval {interval_ms} ms", "", head, rule]
        for label, key, digits in ROWS:
            a, b = ours.get(key), peer.get(key)
            row = f"| {label} | {fmt(a, digits)} | {fmt(b, digits)} | {ratio(a, b)} |"
            if results.get("wine") is not None:
                row += f" {fmt(wine.get(key), digits) if wine else 'pending'} |"
            lines.append(row)
        lines.append("")
    return lines


def other_table(results):
    s = results["startup_s"]
    idle = results["idle"]
    sz = results["sizes"]
    lines = ["| figure | value | method |", "|---|---:|---|",
             f"| CPU idle (only the 200 ms hotkey poll), % of one core | "
             f"{idle['sched_pct']:.3f} | schedstat run time over {idle['wall_s']:.0f} s; "
             f"/proc stat utime+stime gives {idle['stat_pct']:.3f} |",
             f"| RSS idle, MiB | {idle['rss_kb'] / 1024:.1f} | VmRSS |",
             f"| peak RSS over the whole bench, MiB | {results['peak_hwm_kb'] / 1024:.1f} | "
             "largest VmHWM of any run |",
             f"| start-up to window mapped, ms (median of {len(s)}) | "
             f"{1000 * statistics.median(s):.0f} | process spawn → MapNotify of Form1 seen by "
             f"the recorder (min {1000 * min(s):.0f}, max {1000 * max(s):.0f}) |",
             f"| `morvane` size, bytes | {sz['morvane']:,} | as built (Release), "
             f"{sz['morvane_stripped']:,} stripped; links Qt 6 dynamically |"]
    wine_idle = results.get("wine_idle")
    if wine_idle:
        lines.append(f"| Morvane.exe under Wine: CPU idle, % of one core | "
                     f"{wine_idle['sched_pct']:.3f} | as above, over {wine_idle['wall_s']:.0f} s "
                     "(the Windows process only, not wineserver) |")
    if "Morvane.exe" in sz:
        lines.append(f"| `Morvane.exe` size, bytes | {sz['Morvane.exe']:,} | MinSizeRel, "
                     "static, stripped |")
    else:
        lines.append("| `Morvane.exe` size, bytes | pending | not built |")
    return lines


def _drift_1000(run):
    return run.get("drift_1000", run["drift"])


TARGETS = [
    # (text, figure of one program's runs and idle measurement, format, limit test)
    ("≥ 990 clicks/s at 1 ms", lambda runs, idle: runs["1"]["rate"], "{:.1f}/s",
     lambda v: v >= 990),
    ("median period within 0.1 ms of 10 ms", lambda runs, idle: runs["10"]["median_error"],
     "{:+.3f} ms", lambda v: abs(v) <= 0.1),
    ("p99 period within 1 ms of 10 ms", lambda runs, idle: runs["10"]["p99_abs_error"],
     "{:.3f} ms", lambda v: v <= 1),
    ("drift ≤ one interval over 1000 clicks at 10 ms", lambda runs, idle: runs["10"]["drift"],
     "{:+.2f} ms", lambda v: abs(v) <= 10),
    ("drift ≤ one interval over 1000 clicks at 1 ms",
     lambda runs, idle: _drift_1000(runs["1"]), "{:+.2f} ms", lambda v: abs(v) <= 1),
    ("idle CPU ≤ 0.1 % of a core", lambda runs, idle: idle["sched_pct"] if idle else None,
     "{:.3f} %", lambda v: v <= 0.1),
    ("CPU while clicking at 10 ms ≤ 2 % of a core", lambda runs, idle: runs["10"]["cpu_pct"],
     "{:.2f} %", lambda v: v <= 2),
]


def targets_table(results):
    sides = [("Morvane (Linux)", results["ours"], results.get("idle"))]
    if results.get("wine"):
        sides.append(("Morvane.exe (Wine)", results["wine"], results.get("wine_idle")))
    lines = ["| target |" + "".join(f" {name} | |" for name, _, _ in sides),
             "|---|" + "---:|---|" * len(sides)]
    for text, figure, form, met in TARGETS:
        row = f"| {text} |"
        for _, runs, idle in sides:
            try:
                value = figure(runs, idle)
            except KeyError:
                value = None
            row += (" — | |" if value is None else
                    f" {form.format(value)} | {'met' if met(value) else '**missed**'} |")
        lines.append(row)
    return lines


def report(results):
    m = results["machine"]
    lines = [
        f"Measured {m['date']} at commit {m.get('commit', 'unknown')} on {m['nproc']} × "
        f"{m['cpu']}, Linux {m['kernel']}, "
        f"Xvfb with no window manager, peer `{m['xdotool']}`, {m.get('wine') or 'no Wine'}"
        + (" (--quick run: a tenth of the clicks)" if results.get("quick") else "") + ".",
        "", "### Targets", "", *targets_table(results), "",
        "### Click timing", "",
        "Peer: `xdotool click --repeat N --delay D 1` with the pointer on the recorder. "
        "CPU while clicking: Morvane over the clicks recorded, xdotool over its whole life.",
        "", *timing_table(results),
        "### Start-up, idle, size", "", *other_table(results), "",
        f"![period distributions](bench-periods.png)", ""]
    if results.get("wine") is None:
        lines += [f"Morvane.exe under Wine: {results.get('wine_note', 'pending')}", ""]
    return lines


def write_doc(lines):
    block = "\n".join([BEGIN, *lines, END])
    if DOC.exists():
        text = DOC.read_text(encoding="utf-8")
        if BEGIN in text and END in text:
            head, rest = text.split(BEGIN, 1)
            text = head + block + rest.split(END, 1)[1]
        else:
            text = text.rstrip("\n") + "\n\n" + block + "\n"
    else:
        text = "# Benchmarks\n\nRerun: `python3 bench/run.py`\n\n" + block + "\n"
    DOC.write_text(text, encoding="utf-8")


def plot(results):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(1, len(INTERVALS), figsize=(4 * len(INTERVALS), 3.6))
    for ax, (interval_ms, _, _) in zip(axes, INTERVALS):
        key = str(interval_ms)
        series = [("Morvane", results["ours"][key]["periods"], "tab:blue"),
                  ("xdotool", results["peer"][key]["periods"], "tab:orange")]
        if results.get("wine") and key in results["wine"]:
            series.append(("Morvane.exe (Wine)", results["wine"][key]["periods"], "tab:green"))
        series = [(name, [p - interval_ms for p in periods], color)
                  for name, periods, color in series]
        every = [e for _, errors, _ in series for e in errors]
        low, high = min(0.0, percentile(every, 0.5)), max(0.0, percentile(every, 99.5))
        pad = max(0.02, (high - low) * 0.05)
        count = 80 if len(every) > 500 else 40
        bins = [low - pad + i * (high - low + 2 * pad) / count for i in range(count + 1)]
        for name, errors, color in series:
            ax.hist(errors, bins=bins, histtype="step", color=color, label=name, linewidth=1.4)
        ax.axvline(0, color="grey", linestyle=":", linewidth=1)
        if len(series[0][1]) >= 500:
            ax.set_yscale("log")  # the tails are a handful of clicks among thousands
        ax.set_title(f"setting {interval_ms} ms, {len(series[0][1]) + 1} clicks each")
        ax.set_xlabel("period − setting, ms (recorder clock)")
    axes[0].set_ylabel("clicks")
    axes[0].legend(fontsize=8)
    fig.suptitle("Period between recorded clicks minus the setting; 0.5–99.5 % range of all "
                 "three shown", fontsize=10)
    fig.tight_layout()
    fig.savefig(PLOT, dpi=110)


# --- main ------------------------------------------------------------------------------------


def linux_options(morvane=RELEASE / "src" / "platform" / "x11" / "morvane"):
    """What the Linux adapter needs: the program and the build's test clients."""
    return argparse.Namespace(
        morvane=str(morvane),
        recorder=str(RELEASE / "tests" / "x11" / "morvane_test_recorder"),
        wm_close=str(RELEASE / "tests" / "x11" / "morvane_test_wm_close"))


def wine_options(exe=MINGW / "src" / "platform" / "win32" / "Morvane.exe"):
    """What the Wine adapter needs: the exe, its recorder and the bench's own prefix."""
    return argparse.Namespace(exe=str(exe),
                              recorder=str(MINGW / "tests" / "wine" / "morvane_recorder.exe"),
                              prefix=str(MINGW / "bench-wineprefix"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="a tenth of the clicks")
    parser.add_argument("--no-build", action="store_true")
    parser.add_argument("--no-doc", action="store_true", help="print only")
    parser.add_argument("--no-wine", action="store_true", help="skip Morvane.exe under Wine")
    parser.add_argument("--report-only", action="store_true",
                        help="rewrite the tables and plot from the last run's saved figures")
    opts = parser.parse_args()
    if opts.report_only:
        ensure_matplotlib()
        return publish(json.loads(RESULTS.read_text(encoding="utf-8")), opts.no_doc)

    ensure_packages()
    ensure_matplotlib()
    with_mingw = (not opts.no_wine and
                  (ROOT / "src" / "platform" / "win32" / "CMakeLists.txt").exists())
    if not opts.no_build:
        build(with_mingw)

    global INTERVALS, IDLE_SECONDS
    if opts.quick:
        INTERVALS = [(t, text, max(5, n // 10)) for t, text, n in INTERVALS]
        IDLE_SECONDS = 5

    linux, wine = linux_options(), wine_options()
    results = {"machine": machine(), "quick": opts.quick, "ours": {}, "peer": {},
               "wine": None, "wine_note": "not run (--no-wine)"}
    try:
        measure(opts, linux, wine, results)
    except Failure as failure:
        log(f"bench: {failure}")
        return 1
    RESULTS.write_text(json.dumps(results), encoding="utf-8")
    return publish(results, opts.no_doc)


def measure(opts, linux, wine, results):
    p = Linux(linux)
    try:
        log("start-up and idle")
        results.update(run_idle_and_startup(p))
        for interval_ms, text, count in INTERVALS:
            log(f"{interval_ms} ms: Morvane, {count} clicks")
            results["ours"][str(interval_ms)] = run_program(p, interval_ms, text, count)
            log(f"{interval_ms} ms: xdotool, {count} clicks")
            results["peer"][str(interval_ms)] = run_peer(p.desktop, interval_ms, count)
    finally:
        p.close()
    if not opts.no_wine:
        if not (Path(wine.exe).exists() and Path(wine.recorder).exists()
                and shutil.which("wine")):
            results["wine_note"] = "not run: Morvane.exe, its recorder or Wine is missing"
        else:
            results["wine"] = {}
            p = Wine(wine)
            try:
                p.make_prefix()
                for interval_ms, text, count in INTERVALS:
                    log(f"{interval_ms} ms: Morvane.exe under Wine, {count} clicks")
                    idle = 0 if "wine_idle" in results else IDLE_SECONDS
                    run = run_program(p, interval_ms, text, count, idle)
                    results["wine"][str(interval_ms)] = run[0] if idle else run
                    if idle:
                        results["wine_idle"] = run[1]
            except Failure as failure:
                raise Failure(f"Morvane.exe under Wine: {failure}") from failure
            finally:
                p.close()
    results["sizes"] = sizes()
    results["peak_hwm_kb"] = max([results["idle"]["hwm_kb"]] +
                                 [r["hwm_kb"] for r in results["ours"].values()])


def publish(results, no_doc):
    # Timing figures are recomputed from the saved stamps, so --report-only follows any change
    # in how they are derived.
    for side in ("ours", "peer", "wine"):
        for key, run in (results.get(side) or {}).items():
            if "stamps_us" in run:
                run.update(figures(run["stamps_us"], run["server_ms"], int(key)))
    lines = report(results)
    print("\n".join(lines))
    if not no_doc:
        plot(results)
        write_doc(lines)
        log(f"wrote {DOC.relative_to(ROOT)} and {PLOT.relative_to(ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
