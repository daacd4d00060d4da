#!/usr/bin/env python3
"""How the last CTest run of each build went, counted per label: passed, skipped, failed.

    ctest_summary.py BUILD_DIR...     each BUILD_DIR holds the run's junit.xml (ctest --output-junit)

A skipped test is one that found its tools missing (exit code 77) or that GoogleTest skipped. With
CI=true, a skip among the labels CI must run fails the summary: there, a test that did not run
must not read as one that passed. Exits 1 on any failure, and on such a skip.
"""

import collections
import json
import os
import subprocess
import sys
import xml.etree.ElementTree as ET

CI_MUST_RUN = ("wine", "x11", "wayland", "soak", "package", "repro", "debian13")
# The machines CI runs on boot without 32-bit emulation, where 32-bit Wine cannot start: its
# tests skip there, whatever else they are labelled.
MAY_SKIP = ("wine32",)


def labels(build):
    listing = subprocess.run(["ctest", "--test-dir", build, "--show-only=json-v1"],
                             capture_output=True, text=True, check=True).stdout
    return {t["name"]: next((p["value"] for p in t.get("properties", []) if p["name"] == "LABELS"),
                            ["(none)"])
            for t in json.loads(listing)["tests"]}


def outcome(case):
    if case.find("failure") is not None or case.get("status") == "fail":
        return "failed"
    return "skipped" if case.find("skipped") is not None else "passed"


def main(builds):
    counts = collections.defaultdict(collections.Counter)
    skipped = collections.defaultdict(list)
    for build in builds:
        names = labels(build)
        for case in ET.parse(os.path.join(build, "junit.xml")).getroot().iter("testcase"):
            result = outcome(case)
            tags = names.get(case.get("name"), ["(none)"])
            for label in tags:
                counts[label][result] += 1
                if result == "skipped" and not set(tags) & set(MAY_SKIP):
                    skipped[label].append(case.get("name"))
    print(f"{'label':<10} {'passed':>7} {'skipped':>8} {'failed':>7}")
    for label in sorted(counts):
        c = counts[label]
        print(f"{label:<10} {c['passed']:>7} {c['skipped']:>8} {c['failed']:>7}")
    bad = sum(c["failed"] for c in counts.values()) > 0
    if os.environ.get("CI") == "true":
        for label in CI_MUST_RUN:
            if skipped[label]:
                print(f"CI must run every {label} test; skipped: {' '.join(skipped[label])}")
                bad = True
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
