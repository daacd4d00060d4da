#!/usr/bin/env python3
"""Click timing benchmark: Morvane against `xdotool click --repeat`, on a private Xvfb.

    python3 bench/run.py [--rounds N] [--quick] [--no-build] [--no-wine] [--no-wayland]
                         [--no-doc] [--report-only]

Installs what it needs through `scripts/deps.sh bench`, builds the `release` preset (and
`mingw` for Morvane.exe), then measures N rounds (3 by default): in each, the Linux program's
start-up and idle CPU, then every interval for the Linux program, the peer a Linux user would
otherwise reach for, the Linux program on a headless KWin (Wayland, through the portals), and
Morvane.exe under Wine (measure.py). Saves every click's stamps in
build/release/bench-results.json, writes the tables into docs/benchmarks.md and the period plot
into docs/bench-periods.png (report.py), and prints the same tables.

--quick runs a tenth of the clicks, for trying the script out; its figures are not the ones to
publish.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # the modules it imports live in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import measure  # noqa: E402
import report  # noqa: E402
from harness import Failure  # noqa: E402  (tests/e2e/, on the path measure sets)

ROOT = measure.ROOT
RESULTS = measure.RELEASE / "bench-results.json"

# (interval in ms, text typed into the interval box, clicks recorded)
INTERVALS = [(1, "0.001", 5000), (10, "0.01", 1000), (100, "0.1", 200), (1000, "1", 20)]
IDLE_SECONDS = 20
STARTUPS = 5


def log(message):
    """Progress, on stderr: stdout carries the tables."""
    print(message, file=sys.stderr, flush=True)


def setup():
    """The packages, and a python3 that sees Debian's python3-dbus and matplotlib."""
    subprocess.run(["bash", str(ROOT / "scripts" / "deps.sh"), "bench"], check=True,
                   stdout=sys.stderr)
    try:
        import dbus  # noqa: F401  (the Linux window, read over AT-SPI)
        import matplotlib  # noqa: F401
    except ImportError:
        # Debian's python3-dbus and python3-matplotlib only serve Debian's own python3.
        system = "/usr/bin/python3"
        if os.path.realpath(sys.executable) == os.path.realpath(system):
            raise
        log(f"re-running under {system}, which sees Debian's python3 packages")
        os.execv(system, [system, *sys.argv])


def build(with_mingw):
    """The Linux program and its test clients; with_mingw, Morvane.exe and its recorder."""
    subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "-j2", "--target", "morvane",
                    "morvane_test_recorder", "morvane_wl_tool"], cwd=ROOT, check=True)
    if with_mingw:
        subprocess.run(["cmake", "--preset", "mingw"], cwd=ROOT, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", "--preset", "mingw", "-j2"], cwd=ROOT, check=True)


def measure_round(intervals, idle_seconds, wine, wayland):
    """One round: the Linux program's start-up and idle, each interval for it and the peer,
    then, if asked, each interval for it on Wayland, and, given the Wine adapter's options,
    each interval for Morvane.exe, idle first."""
    out = {"ours": {}, "peer": {}, "wine": None, "wayland": {}}
    p = measure.Linux(measure.linux_options())
    try:
        log("start-up and idle")
        out.update(measure.run_idle_and_startup(p, STARTUPS, idle_seconds))
        for interval_ms, text, count in intervals:
            log(f"{interval_ms} ms: Morvane, {count} clicks")
            out["ours"][str(interval_ms)] = measure.run_program(p, interval_ms, text, count)
            log(f"{interval_ms} ms: xdotool, {count} clicks")
            out["peer"][str(interval_ms)] = measure.run_peer(p.desktop, interval_ms, count)
    finally:
        p.close()
    if wayland:
        p = measure.Wayland(measure.wayland_options())
        try:
            for interval_ms, text, count in intervals:
                log(f"{interval_ms} ms: Morvane on Wayland, {count} clicks")
                out["wayland"][str(interval_ms)] = measure.run_program(p, interval_ms, text,
                                                                       count)
        finally:
            p.close()
    if wine:
        out["wine"] = {}
        p = measure.Wine(wine)
        try:
            p.make_prefix()
            for interval_ms, text, count in intervals:
                log(f"{interval_ms} ms: Morvane.exe under Wine, {count} clicks")
                idle = 0 if "wine_idle" in out else idle_seconds
                run = measure.run_program(p, interval_ms, text, count, idle)
                if idle:
                    run, out["wine_idle"] = run
                out["wine"][str(interval_ms)] = run
        except Failure as failure:
            raise Failure(f"Morvane.exe under Wine: {failure}") from failure
        finally:
            p.close()
    return out


def main():
    """Set-up, build, the rounds, then the saved results and the report."""
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=3,
                        help="rounds of every measurement; targets are judged on the median")
    parser.add_argument("--quick", action="store_true", help="a tenth of the clicks")
    parser.add_argument("--no-build", action="store_true")
    parser.add_argument("--no-doc", action="store_true", help="print only")
    parser.add_argument("--no-wine", action="store_true", help="skip Morvane.exe under Wine")
    parser.add_argument("--no-wayland", action="store_true",
                        help="skip the Linux program on the headless KWin")
    parser.add_argument("--report-only", action="store_true",
                        help="rewrite the tables and plot from the last run's saved stamps")
    opts = parser.parse_args()
    if opts.rounds < 1:
        parser.error("--rounds must be at least 1")
    setup()
    if opts.report_only:
        return publish(json.loads(RESULTS.read_text(encoding="utf-8")), opts.no_doc)

    wine = None if opts.no_wine else measure.wine_options()
    if not opts.no_build:
        build(wine is not None and (ROOT / "src" / "platform" / "win32" /
                                    "CMakeLists.txt").exists())
    note = "not run (--no-wine)"
    if wine and not (Path(wine.exe).exists() and Path(wine.recorder).exists()
                     and shutil.which("wine")):
        wine, note = None, "not run: Morvane.exe, its recorder or Wine is missing"

    intervals, idle_seconds = INTERVALS, IDLE_SECONDS
    if opts.quick:
        intervals, idle_seconds = [(t, text, max(5, n // 10)) for t, text, n in INTERVALS], 5
    results = {"machine": measure.machine(), "quick": opts.quick, "rounds": [],
               "wine_note": note}
    try:
        for i in range(opts.rounds):
            log(f"round {i + 1} of {opts.rounds}")
            results["rounds"].append(measure_round(intervals, idle_seconds, wine,
                                                   not opts.no_wayland))
    except Failure as failure:
        log(f"bench: {failure}")
        return 1
    results["sizes"] = measure.sizes()
    RESULTS.write_text(json.dumps(results), encoding="utf-8")
    return publish(results, opts.no_doc)


def publish(results, no_doc):
    """Figures from the saved stamps, the tables printed and, unless no_doc, the doc and plot."""
    # Recomputed, so that --report-only follows any change in how the figures are derived.
    for r in results["rounds"]:
        for side in ("ours", "peer", "wine", "wayland"):
            for key, run in (r[side] or {}).items():
                run.update(measure.figures(run["stamps_us"], run["server_ms"], int(key)))
    lines = report.markdown(results)
    print("\n".join(lines))
    if not no_doc:
        report.plot(results)
        report.write_doc(lines)
        log(f"wrote {report.DOC.relative_to(ROOT)} and {report.PLOT.relative_to(ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
