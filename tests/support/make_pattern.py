#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""The coordinate test pattern: every pixel's colour names its own position.

    R = x & 255,  G = y & 255,  B = ((x >> 8) << 4) | (y >> 8)

so a colour read back from the screen tells which screen pixel it came from
(unique on screens up to 4096 x 4096).

Usage:
    make_pattern.py WIDTH HEIGHT OUT.png|OUT.ppm   write the pattern image
    make_pattern.py --pixel X Y                    print the colour of (X, Y) as RRGGBB
    make_pattern.py --decode RRGGBB                print the "X Y" a colour stands for

As a module: pattern_rgb(x, y) -> (r, g, b), decode(r, g, b) -> (x, y), write(path, w, h).
"""
import struct
import sys
import zlib

LIMIT = 4096


def pattern_rgb(x, y):
    return x & 255, y & 255, ((x >> 8) << 4) | (y >> 8)


def decode(r, g, b):
    return ((b >> 4) << 8) | r, ((b & 15) << 8) | g


def _row(y, width):
    g = y & 255
    high_y = y >> 8
    return bytes(v for x in range(width) for v in (x & 255, g, ((x >> 8) << 4) | high_y))


def _png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write(path, width, height):
    if not (0 < width <= LIMIT and 0 < height <= LIMIT):
        raise ValueError(f"pattern size must be 1..{LIMIT} in each direction")
    rows = [_row(y, width) for y in range(height)]
    with open(path, "wb") as out:
        if path.endswith(".ppm"):
            out.write(b"P6\n%d %d\n255\n" % (width, height))
            out.write(b"".join(rows))
        else:
            raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
            out.write(b"\x89PNG\r\n\x1a\n")
            out.write(_png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
            out.write(_png_chunk(b"IDAT", zlib.compress(raw, 6)))
            out.write(_png_chunk(b"IEND", b""))


def main(argv):
    if len(argv) == 4 and argv[1] == "--pixel":
        print("%02X%02X%02X" % pattern_rgb(int(argv[2]), int(argv[3])))
    elif len(argv) == 3 and argv[1] == "--decode":
        value = int(argv[2].lstrip("#"), 16)
        print("%d %d" % decode(value >> 16, (value >> 8) & 255, value & 255))
    elif len(argv) == 4:
        write(argv[3], int(argv[1]), int(argv[2]))
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
