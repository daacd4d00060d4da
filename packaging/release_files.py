#!/usr/bin/env python3
"""Finishes a release's packages; CPack runs it right after it has made them.

    release_files.py FOLDER PACKAGE...    FOLDER: where CPack puts the packages next

- A .deb's ar members (debian-binary, control.tar.gz, data.tar.gz) get the mode dpkg-deb gives
  them, 100644: CPack takes theirs from the files it wrote, and so from the umask (100600 under
  umask 077). Their owners and times it sets already (root, SOURCE_DATE_EPOCH).
- Morvane.exe is copied out of the zip to stand beside it: the very bytes inside, to check
  before unzipping.
- SHA256SUMS in FOLDER lists the packages and that copy, in the format `sha256sum -c` reads.

Standard library only.
"""

import hashlib
import os
import sys
import zipfile

AR_MAGIC = b"!<arch>\n"
AR_HEADER = 60
AR_MODE = slice(40, 48)  # name 16, mtime 12, uid 6, gid 6, then the octal mode


def normalise_deb(path):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    if data[:len(AR_MAGIC)] != AR_MAGIC:
        raise SystemExit(f"{path}: not an ar archive")
    at = len(AR_MAGIC)
    while at < len(data):
        header = data[at:at + AR_HEADER]
        header[AR_MODE] = b"100644  "
        data[at:at + AR_HEADER] = header
        size = int(header[48:58])
        at += AR_HEADER + size + size % 2
    with open(path, "wb") as f:
        f.write(data)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main(folder, packages):
    listed = []
    for package in packages:
        if package.endswith(".deb"):
            normalise_deb(package)
        elif package.endswith(".zip"):
            exe = os.path.join(folder, "Morvane.exe")
            with zipfile.ZipFile(package) as archive, open(exe, "wb") as f:
                f.write(archive.read("Morvane.exe"))
            listed.append(exe)
        listed.append(package)
    with open(os.path.join(folder, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as sums:
        sums.writelines(f"{sha256(p)}  {os.path.basename(p)}\n"
                        for p in sorted(listed, key=os.path.basename))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
