#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""The busy picture for the magnifier comparison: no two neighbouring pixels share a
colour, yet every colour still names the screen pixel it was taken from:

    G = y & 255,  B = ((x >> 8) << 4) | (y >> 8),  R = (x ^ (y * 73)) & 255

so a pixel read back from a magnifier's view tells which screen pixel it magnifies
(screens up to 4096 x 4096).

Usage:
    picture.py WIDTH HEIGHT OUT.ppm     write the picture
    picture.py --pixel X Y              print the colour of (X, Y) as RRGGBB
"""
import sys

LIMIT = 4096


def rgb(x, y):
    return (x ^ (y * 73)) & 255, y & 255, ((x >> 8) << 4) | (y >> 8)


def decode(r, g, b):
    y = ((b & 15) << 8) | g
    return ((b >> 4) << 8) | ((r ^ (y * 73)) & 255), y


def write(path, width, height):
    if not (0 < width <= LIMIT and 0 < height <= LIMIT):
        raise ValueError("the picture must be between 1 x 1 and %d x %d" % (LIMIT, LIMIT))
    # Whole rows at a time through translation tables: pure Python, yet quick enough for
    # a screen of a few million pixels.
    xor = [bytes(v ^ k for v in range(256)) for k in range(256)]
    orr = [bytes(v | k for v in range(256)) for k in range(16)]
    low = bytes(x & 255 for x in range(width))
    high = bytes((x >> 8) << 4 for x in range(width))
    row = bytearray(width * 3)
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height))
        for y in range(height):
            row[0::3] = low.translate(xor[(y * 73) & 255])
            row[1::3] = bytes([y & 255]) * width
            row[2::3] = high.translate(orr[y >> 8])
            f.write(row)


def main(argv):
    if len(argv) == 4 and argv[1] == "--pixel":
        print("%02X%02X%02X" % rgb(int(argv[2]), int(argv[3])))
    elif len(argv) == 4:
        write(argv[3], int(argv[1]), int(argv[2]))
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
