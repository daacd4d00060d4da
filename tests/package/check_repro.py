#!/usr/bin/env python3
"""Builds the packages twice from clean checkouts, as differently as two machines would, and
demands the same bytes: both Morvane.exe, Morvane-<version>-win64.zip and -win32.zip, and
morvane_<version>-1_amd64.deb.

    check_repro.py SOURCE_DIR

Each build is a clone of SOURCE_DIR's commit (HEAD) into a scratch folder, built with the
documented commands (cmake --workflow --preset zip, zip32, then deb). The second runs later, in a
folder of another depth with a space in its name, with another umask, time zone and locale.
Where a file differs, diffoscope names the bytes and what they mean. The packages SOURCE_DIR's
own builds made (the other tests make them) are compared too where the tree is clean; with
CI=true, where every build is fresh, they must match.
"""

import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile

ARTIFACTS = ("build/mingw/packages/Morvane.exe", "build/mingw/packages/Morvane-*-win64.zip",
             "build/mingw32/packages/Morvane.exe", "build/mingw32/packages/Morvane-*-win32.zip",
             "build/release/packages/morvane_*_amd64.deb")
HEX_DUMP = re.compile(r"^[│├└─ ]*[-+ ]\s*(0x)?[0-9a-f]{8}:? ")
VARIANTS = (  # folder, umask, time zone, locale
    ("one", 0o022, "UTC", "C.UTF-8"),
    ("deeper/a folder with spaces", 0o077, "Asia/Shanghai", "zh_CN.UTF-8"),
)


def run(argv, **kw):
    return subprocess.run(argv, capture_output=True, text=True, check=False, **kw)


def found(root, pattern):
    matches = glob.glob(os.path.join(glob.escape(root), pattern))
    return matches[0] if len(matches) == 1 else None


def build(source, folder, umask, zone, locale):
    """A clean clone of the commit built into its packages; the artifacts' paths."""
    out = run(["git", "clone", "--quiet", "--no-hardlinks", source, folder])
    if out.returncode != 0:
        raise SystemExit(f"FAIL: git clone: {out.stderr}")
    env = {k: v for k, v in os.environ.items() if k != "SOURCE_DATE_EPOCH"}
    env.update(TZ=zone, LC_ALL=locale, LANG=locale)
    for preset in ("zip", "zip32", "deb"):
        out = run(["cmake", "--workflow", "--preset", preset], cwd=folder, env=env,
                  preexec_fn=lambda: os.umask(umask))
        if out.returncode != 0:
            raise SystemExit(f"FAIL: {preset} in {folder}:\n{out.stdout[-3000:]}{out.stderr}")
    return [found(folder, a) for a in ARTIFACTS]


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def explain(a, b):
    """diffoscope's account of the difference, shortened for the log."""
    if shutil.which("diffoscope") is None:
        return "(diffoscope is not installed: bash scripts/deps.sh)"
    out = run(["diffoscope", "--text", "-", "--max-text-report-size", "20000", a, b],
              timeout=600)
    # Hex dumps say less than the lines around them.
    lines = [line for line in out.stdout.splitlines() if not HEX_DUMP.match(line)]
    return "\n".join(lines[:120])


def main(source):
    scratch = tempfile.mkdtemp(prefix="morvane-repro-")
    try:
        builds = [build(source, os.path.join(scratch, v[0]), *v[1:]) for v in VARIANTS]
        clean = run(["git", "-C", source, "status", "--porcelain", "--untracked-files=no"])
        if clean.returncode == 0 and not clean.stdout.strip():
            builds.append([found(source, a) for a in ARTIFACTS])
        failed = False
        for i in range(len(ARTIFACTS)):
            paths = [b[i] for b in builds if b[i]]
            sums = [sha256(p) for p in paths]
            print(f"{ARTIFACTS[i]}: {sums[0]}")
            for n, (path, digest) in enumerate(zip(paths[1:], sums[1:]), start=1):
                if digest == sums[0]:
                    continue
                if n < len(VARIANTS) or os.environ.get("CI") == "true":
                    failed = True
                    print(explain(paths[0], path))
                else:
                    print(f"  (this tree's {path} differs: built before its last commit?)")
        print("FAIL: the builds differ" if failed else "ok")
        return 1 if failed else 0
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
