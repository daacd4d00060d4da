#!/usr/bin/env python3
"""Two builds of the Linux program, measured turn about on one Xvfb: CPU and missed beats.

    python3 bench/ab.py OLD_MORVANE NEW_MORVANE [--rounds 2] [--clicks 2000]

Each round runs OLD then NEW at 1 ms and at 10 ms, the same way bench/run.py does, so that
both see the same machine load as nearly as can be had. Build the old one from a commit with
`git archive COMMIT | tar -x -C DIR` and `cmake -S DIR -B DIR/build -G Ninja
-DCMAKE_BUILD_TYPE=Release -DMORVANE_X11=ON -DBUILD_TESTING=OFF`, then
`cmake --build DIR/build --target morvane`.
"""

import argparse
import statistics
import sys
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))
import run as bench  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--clicks", type=int, default=2000, help="at 1 ms; a quarter at 10 ms")
    parser.add_argument("--hog", action="store_true",
                        help="keep one CPU-bound process running beside them all along")
    opts = parser.parse_args()

    harness = argparse.Namespace(
        morvane=None,
        recorder=str(bench.RELEASE / "tests" / "x11" / "morvane_test_recorder"),
        wm_close=str(bench.RELEASE / "tests" / "x11" / "morvane_test_wm_close"))
    cases = [(1, "0.001", opts.clicks), (10, "0.01", opts.clicks // 4)]
    seen = {(name, t): [] for name in ("old", "new") for t, _, _ in cases}
    p = bench.Linux(harness)
    if opts.hog:  # ended with the desktop, by pid
        p.desktop.spawn([sys.executable, "-c", "while True: pass"])
    try:
        for _ in range(opts.rounds):
            for interval_ms, text, count in cases:
                for name, binary in (("old", opts.old), ("new", opts.new)):
                    p.opts.morvane = binary
                    seen[(name, interval_ms)].append(
                        bench.run_program(p, interval_ms, text, count))
    finally:
        p.close()

    print("| interval | build | CPU, % of one core (each round) | beats without a click | "
          "p99 \\|error\\|, ms | machine busy, % |")
    print("|---|---|---|---|---|---|")
    for interval_ms, _, _ in cases:
        for name in ("old", "new"):
            runs = seen[(name, interval_ms)]
            print(f"| {interval_ms} ms | {name} | "
                  f"{' / '.join(format(r['cpu_pct'], '.2f') for r in runs)} | "
                  f"{' / '.join(str(r['missed_beats']) for r in runs)} | "
                  f"{statistics.median(r['p99_abs_error'] for r in runs):.3f} | "
                  f"{' / '.join(format(r['machine_pct'], '.1f') for r in runs)} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
