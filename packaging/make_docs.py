#!/usr/bin/env python3
"""The documents the packages ship, made from the sources at build time.

    make_docs.py usage README.md OUT         使用说明.txt: the README's usage section (使用方法)
                                            and its notes for Windows users (Windows 用户须知),
                                            UTF-8 with a byte-order mark and CRLF line ends, so
                                            that Notepad on any Windows reads it
    make_docs.py man README.md IN OUT VERSION  the man page IN with @USAGE@ replaced by the same
                                            section in roff and @VERSION@ by VERSION; gzipped
                                            when OUT ends in .gz
    make_docs.py gzip IN OUT                 IN compressed as Debian wants it (best, no name or
                                            time stamp inside, so the package is reproducible)

Standard library only. The usage is written once, in the README.
"""

import gzip
import re
import sys

USAGE = "## 使用方法"
WINDOWS = "## Windows 用户须知"


def section(readme, heading=USAGE):
    with open(readme, encoding="utf-8") as f:
        lines = f.read().splitlines()
    body = []
    for line in lines[lines.index(heading) + 1:]:
        if line.startswith("## "):
            break
        body.append(line)
    body = "\n".join(body).strip().splitlines()
    if not body:
        raise ValueError(f"{readme}: the section {heading!r} is empty")
    return heading[3:], body


def breakable(text):
    # Chinese has no spaces to break lines at: allow a break after every wide character, but
    # never one that would start a line with closing punctuation.
    return re.sub(r"([\u3000-\u9fff\uff00-\uffef])(?![，。；：！？）」』”、])",
                  lambda m: m.group(1) + "\\:", text)


def as_roff(body):
    out = [".ad l"]
    for line in body:
        m = re.match(r"^(\d+\.|-)\s+(.*)$", line)
        if m:
            mark = "\\(bu" if m.group(1) == "-" else f'"{m.group(1)}"'
            out += [f".IP {mark} 4", breakable(m.group(2))]
        elif line.strip():
            out += [".PP", breakable(line.strip())]
    out.append(".ad")
    return "\n".join(out)


def write(path, text):
    data = text.encode("utf-8")
    if path.endswith(".gz"):
        with open(path, "wb") as raw, gzip.GzipFile("", "wb", 9, raw, mtime=0) as f:
            f.write(data)
    else:
        with open(path, "wb") as f:
            f.write(data)


def main(argv):
    if len(argv) == 4 and argv[1] == "usage":
        title, body = section(argv[2])
        windows, notes = section(argv[2], WINDOWS)
        write(argv[3], "\ufeff" + "\r\n".join([f"Morvane {title}", "", *body, "", windows, "",
                                                 *notes]) + "\r\n")
    elif len(argv) == 6 and argv[1] == "man":
        _, body = section(argv[2])
        with open(argv[3], encoding="utf-8") as f:
            page = f.read()
        write(argv[4], page.replace("@USAGE@", as_roff(body)).replace("@VERSION@", argv[5]))
    elif len(argv) == 4 and argv[1] == "gzip":
        with open(argv[2], encoding="utf-8") as f:
            write(argv[3], f.read())
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
