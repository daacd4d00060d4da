#!/usr/bin/env python3
"""The README quotes the benchmark, and only what the benchmark last measured.

    check_figures.py README.md docs/benchmarks.md

Every row of the table in README's "Benchmarks" section names a figure and quotes it as it
stands in the results that bench/run.py writes between the bench markers of the benchmark page:
each row's label must appear there, and each figure in that row on a line of the page with that
label. A figure rewritten by hand, or left behind by a new run, fails.
"""

import re
import sys

BEGIN, END = "<!-- bench:begin", "<!-- bench:end -->"
FIGURE = re.compile(r"[-+]?\d[\d,]*(?:\.\d+)?")


def section(text, heading):
    body = text.split(heading + "\n", 1)[1]
    return body.split("\n## ", 1)[0]


def main(readme_path, page_path):
    with open(readme_path, encoding="utf-8") as f:
        readme = section(f.read(), "## Benchmarks")
    with open(page_path, encoding="utf-8") as f:
        page = f.read()
    results = page[page.index(BEGIN):page.index(END)].splitlines()
    rows = [line for line in readme.splitlines()
            if line.startswith("| ") and not line.startswith("| figure") and "---" not in line]
    problems = []
    for row in rows:
        label, *cells = [c.strip() for c in row.strip("|").split("|")]
        where = [line for line in results if label in line]
        if not where:
            problems.append(f"{label!r} is not a row of the results")
            continue
        for cell in cells:
            for figure in FIGURE.findall(cell):
                if not any(figure in line for line in where):
                    problems.append(f"{label!r}: {figure} is not what the results say")
    for p in problems:
        print("FAIL: " + p)
    if not rows:
        print("FAIL: no figures quoted in README's Benchmarks section")
        return 1
    print(f"{len(rows)} rows checked" if not problems else "")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
