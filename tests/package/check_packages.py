#!/usr/bin/env python3
"""Builds a package with CPack and checks it as a user would receive it.

    check_packages.py deb CPACK_CONFIG -- E2E_ARGS...   the .deb: lintian has no error or
        warning; it installs with apt-get, the desktop entry validates, the installed
        /usr/bin/morvane passes the click_run scenario, and removing it leaves nothing behind
    check_packages.py zip CPACK_CONFIG EXE              the zip: exactly Morvane.exe, the very
        file the Wine tests ran, and 使用说明.txt (UTF-8 with a byte-order mark, CRLF lines, the
        usage and how to check the download)

Installing touches the machine, so the .deb's install runs only as root and only where no
morvane package is installed already; otherwise the test is skipped (77) after lintian.
"""

import glob
import os
import subprocess
import sys
import zipfile

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
SCENARIOS = os.path.join(HERE, "..", "e2e", "scenarios.py")
USAGE = "使用说明.txt"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run(*argv, **kw):
    return subprocess.run(argv, capture_output=True, text=True, timeout=600, check=False, **kw)


def cpack(config):
    """The package CPack writes for this build; its path."""
    out = run("cpack", "--config", config)
    check(out.returncode == 0, f"cpack failed:\n{out.stdout}{out.stderr}")
    made = [line.split("package: ", 1)[1].split(" generated")[0]
            for line in out.stdout.splitlines() if "package: " in line and "generated" in line]
    check(len(made) == 1, f"cpack made {made}")
    print(f"{os.path.basename(made[0])}: {os.path.getsize(made[0])} bytes")
    # The checksums come with the package, in the form sha256sum checks.
    sums = run("sha256sum", "-c", "SHA256SUMS", cwd=os.path.dirname(made[0]))
    check(sums.returncode == 0 and f"{os.path.basename(made[0])}: OK" in sums.stdout,
          f"SHA256SUMS beside the package: {sums.stdout}{sums.stderr}")
    print(sums.stdout.strip())
    return made[0]


def installed_files():
    out = run("dpkg", "-L", "morvane")
    check(out.returncode == 0, "dpkg does not know morvane after the install")
    return [p for p in out.stdout.splitlines() if os.path.isfile(p) or os.path.islink(p)]


def check_deb(config, e2e_args):
    deb = cpack(config)
    fields = run("dpkg-deb", "--field", deb, "Depends", "Recommends").stdout
    print(fields.strip())
    check("Recommends: fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei, "
          "qt6-translations-l10n" in fields, "the package does not recommend a Chinese face and "
          "Qt's translations")
    lint = run("lintian", "--pedantic", deb)
    print(lint.stdout.strip() or "lintian: nothing to report")
    tags = [line for line in lint.stdout.splitlines() if line[:2] in ("E:", "W:")]
    check(lint.returncode == 0 and not tags, f"lintian: {tags or lint.stderr}")

    if os.geteuid() != 0:
        print("SKIP: installing the package needs root")
        return SKIP
    if run("dpkg-query", "-W", "morvane").returncode == 0:
        print("SKIP: a morvane package is installed on this machine already; left alone")
        return SKIP
    env = {**os.environ, "DEBIAN_FRONTEND": "noninteractive"}
    out = run("apt-get", "install", "-y", "--no-install-recommends", os.path.abspath(deb), env=env)
    check(out.returncode == 0, f"apt-get install failed:\n{out.stdout}{out.stderr}")
    try:
        files = installed_files()
        print(f"installed {len(files)} files")
        check("/usr/bin/morvane" in files, "no /usr/bin/morvane")
        out = run("desktop-file-validate",
                  "/usr/share/applications/io.github.morvane.Morvane.desktop")
        check(out.returncode == 0 and not out.stdout.strip(),
              f"desktop-file-validate: {out.stdout}{out.stderr}")
        out = run(sys.executable, SCENARIOS, "x11", "click_run", "--morvane", "/usr/bin/morvane",
                  *e2e_args)
        print(out.stdout.strip())
        check(out.returncode == 0, "the installed program failed click_run")
    finally:
        out = run("apt-get", "remove", "--purge", "-y", "morvane", env=env)
    check(out.returncode == 0, f"apt-get remove failed:\n{out.stdout}{out.stderr}")
    left = [p for p in files if os.path.lexists(p)]
    check(not left, f"left behind after removal: {left}")
    return 0


def check_zip(config, exe):
    archive = zipfile.ZipFile(cpack(config))
    names = sorted(archive.namelist())
    check(names == sorted(["Morvane.exe", USAGE]), f"the zip holds {names}")
    with open(exe, "rb") as f:
        check(archive.read("Morvane.exe") == f.read(), f"Morvane.exe in the zip is not {exe}")
    usage = archive.read(USAGE)
    check(usage.startswith(b"\xef\xbb\xbf"), f"{USAGE} has no byte-order mark")
    check(usage.count(b"\n") == usage.count(b"\r\n") > 3, f"{USAGE} is not in CRLF lines")
    text = usage.decode("utf-8-sig")
    check("取点" in text and "F12" in text, f"{USAGE} is not the usage: {text[:80]!r}")
    check("certutil -hashfile Morvane.exe SHA256" in text and "以管理员身份运行" in text,
          f"{USAGE} lacks how to check the download, or the note on programs run as administrator")
    return 0


def main(argv):
    try:
        if len(argv) >= 3 and argv[1] == "deb":
            return check_deb(argv[2], argv[3:])
        if len(argv) == 4 and argv[1] == "zip":
            return check_zip(argv[2], argv[3])
    except Failure as failure:
        print(f"FAIL: {failure}")
        return 1
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
