#!/usr/bin/env python3
"""Turns the icon's pixel source into morvane.ico and morvane.png.

usage: make_icon.py <source.txt> <out.ico> <out.png> [<size>=<out.png> ...]

Standard library only, so that every front end's build can run it. The .ico holds one 32 x 32
24-bit image with an all-zero AND mask (every pixel opaque); the .png is the same pixels, RGB.
Each <size>=<out.png> is the same image scaled to size x size for a desktop's menus and docks:
nearest neighbour, every source pixel a block of whole pixels, nothing redrawn or smoothed.
"""

import re
import struct
import sys
import zlib

SIZE = 32
PALETTE_LINE = re.compile(r"^(\S) #([0-9A-Fa-f]{6})$")


def read_source(path):
    palette = {}
    rows = []
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            m = PALETTE_LINE.match(line)
            if m and not rows:
                palette[m.group(1)] = bytes.fromhex(m.group(2))
                continue
            if len(line) != SIZE:
                raise ValueError(f"{path}:{number}: a row must have {SIZE} pixels")
            unknown = set(line) - palette.keys()
            if unknown:
                raise ValueError(f"{path}:{number}: colours not in the palette: {sorted(unknown)}")
            rows.append([palette[c] for c in line])
    if len(rows) != SIZE:
        raise ValueError(f"{path}: {len(rows)} rows, expected {SIZE}")
    return rows


def ico_bytes(rows):
    # DIB rows run bottom-up in BGR order; 32 * 3 bytes is already a multiple of 4.
    xor = b"".join(b"".join(rgb[::-1] for rgb in row) for row in reversed(rows))
    # One bit per pixel, rows padded to 4 bytes; all zero means "draw the colour as is".
    and_mask = bytes(((SIZE + 31) // 32) * 4 * SIZE)
    header = struct.pack(
        "<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 24, 0, len(xor) + len(and_mask), 0, 0, 0, 0
    )
    image = header + xor + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 6 + 16)
    return directory + entry + image


def scaled(rows, size):
    return [[rows[y * SIZE // size][x * SIZE // size] for x in range(size)] for y in range(size)]


def png_bytes(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + b"".join(row) for row in rows)
    ihdr = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)
    return (
        b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", ihdr)
        + chunk(b"IDAT", zlib.compress(raw, 9))
        + chunk(b"IEND", b"")
    )


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) < 4 or not all("=" in arg for arg in argv[4:]):
        sys.stderr.write(__doc__)
        return 2
    rows = read_source(argv[1])
    write(argv[2], ico_bytes(rows))
    write(argv[3], png_bytes(rows))
    for arg in argv[4:]:
        size, path = arg.split("=", 1)
        write(path, png_bytes(scaled(rows, int(size))))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
