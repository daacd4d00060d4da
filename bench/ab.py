#!/usr/bin/env python3
"""Two builds, measured turn about on one Xvfb: CPU and missed beats, and CPU idle.

    python3 bench/ab.py OLD_MORVANE NEW_MORVANE [--rounds 2] [--clicks 2000] [--idle 20]
    python3 bench/ab.py --wine OLD/Morvane.exe NEW/Morvane.exe ...

Each round runs OLD then NEW at 1 ms and at 10 ms, the same way bench/run.py does, so that
both see the same machine load as nearly as can be had. Build the old one from a commit with
`git archive COMMIT | tar -x -C DIR` and `cmake -S DIR -B DIR/build -G Ninja
-DCMAKE_BUILD_TYPE=Release -DMORVANE_LINUX=ON -DBUILD_TESTING=OFF`, then
`cmake --build DIR/build --target morvane`; for --wine, the `mingw` preset and the target
Morvane. With --idle, each run first sits for that many seconds with only the hotkey poll
ticking.
"""

import argparse
import os
import statistics
import sys
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import measure  # noqa: E402
from scenarios import restart_with_dbus  # noqa: E402  (on the path measure sets)


def main():
    """OLD and NEW turn about for the rounds, then one table of both."""
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--clicks", type=int, default=2000, help="at 1 ms; a quarter at 10 ms")
    parser.add_argument("--hog", action="store_true",
                        help="keep one CPU-bound process running beside them all along")
    parser.add_argument("--wine", action="store_true", help="OLD and NEW are Morvane.exe builds")
    parser.add_argument("--idle", type=float, default=0, metavar="SECONDS")
    opts = parser.parse_args()
    if not opts.wine and restart_with_dbus():
        return 1

    if opts.wine:
        p, program = measure.Wine(measure.wine_options()), "exe"
        p.make_prefix()
    else:
        p, program = measure.Linux(measure.linux_options()), "morvane"
    cases = [(1, "0.001", opts.clicks), (10, "0.01", opts.clicks // 4)]
    seen = {(name, t): [] for name in ("old", "new") for t, _, _ in cases}
    idle = {"old": [], "new": []}
    if opts.hog:  # ended with the desktop, by pid
        p.desktop.spawn([sys.executable, "-c", "while True: pass"])
    try:
        for _ in range(opts.rounds):
            for interval_ms, text, count in cases:
                for name, binary in (("old", opts.old), ("new", opts.new)):
                    setattr(p.opts, program, os.path.abspath(binary))
                    run = measure.run_program(p, interval_ms, text, count, opts.idle)
                    if opts.idle:
                        run, still = run
                        idle[name].append(still["sched_pct"])
                    seen[(name, interval_ms)].append(run)
    finally:
        p.close()

    print("| interval | build | clicks/s (each round) | CPU, % of one core | beats without a click | "
          "p99 \\|error\\|, ms | machine busy, % |")
    print("|---|---|---|---|---|---|---|")
    for interval_ms, _, _ in cases:
        for name in ("old", "new"):
            runs = seen[(name, interval_ms)]
            print(f"| {interval_ms} ms | {name} | "
                  f"{' / '.join(format(r['rate'], '.1f') for r in runs)} | "
                  f"{' / '.join(format(r['cpu_pct'], '.2f') for r in runs)} | "
                  f"{' / '.join(str(r['missed_beats']) for r in runs)} | "
                  f"{statistics.median(r['p99_abs_error'] for r in runs):.3f} | "
                  f"{' / '.join(format(r['machine_pct'], '.1f') for r in runs)} |")
    for name in ("old", "new") if opts.idle else ():
        print(f"| idle | {name} | | {' / '.join(format(v, '.3f') for v in idle[name])} | | | |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
