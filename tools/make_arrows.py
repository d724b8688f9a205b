#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""Write the marker arrow GIFs into src/magnifier/arrows/.

The eight colour arrows (101..108) and the control's built-in pair are
generated from the pixel maps and colour tables below, so the checked-in
files can always be rebuilt byte for byte. Prints nothing unless it fails.

Usage: make_arrows.py [output-directory]
"""

import os
import struct
import sys

# Left-bar arrow (points right) and top-bar arrow (points down); 8 is transparent.
LEFT_MAP = [
    [6, 1, 8, 8, 8, 8, 8],
    [7, 7, 6, 3, 8, 8, 8],
    [7, 7, 7, 7, 7, 3, 8],
    [7, 7, 7, 7, 7, 7, 3],
    [7, 7, 7, 7, 4, 2, 8],
    [7, 7, 4, 1, 8, 8, 8],
    [5, 0, 8, 8, 8, 8, 8],
]

TOP_MAP = [
    [5, 7, 7, 7, 7, 7, 6],
    [0, 7, 7, 7, 7, 7, 1],
    [8, 4, 7, 7, 7, 6, 8],
    [8, 1, 7, 7, 7, 3, 8],
    [8, 8, 4, 7, 7, 8, 8],
    [8, 8, 2, 7, 3, 8, 8],
    [8, 8, 8, 3, 8, 8, 8],
]

# Indices 0..8 of each colour set; 9..15 are black and unused.
PALETTES = {
    0: [0x1B1B1B, 0x53500C, 0x5E5B0E, 0x7B7911, 0xAAA515,
        0xB0AB15, 0xB7B115, 0xEFE60D, 0xFF00FF],
    1: [0x181818, 0x50120C, 0x5B160E, 0x781D11, 0xA72415,
        0xAD2415, 0xB42415, 0xEC220D, 0xFF00FF],
    2: [0x1A1A1A, 0x1C520C, 0x1F5D0E, 0x267A11, 0x35A915,
        0x36AF15, 0x38B615, 0x3FEE0D, 0xFF00FF],
    3: [0x191919, 0x0C2D51, 0x0E325C, 0x114079, 0x1559A8,
        0x155CAE, 0x1560B5, 0x0D76ED, 0xFF00FF],
}

BUILTIN_LEFT_MAP = [
    [0, 1, 0, 2, 2, 2, 2],
    [0, 1, 1, 1, 0, 2, 2],
    [0, 1, 1, 1, 1, 1, 2],
    [0, 1, 1, 1, 1, 1, 1],
    [0, 1, 1, 1, 1, 1, 2],
    [0, 1, 1, 1, 2, 2, 2],
    [0, 1, 2, 2, 2, 2, 2],
]

BUILTIN_TOP_MAP = [
    [0, 0, 0, 0, 0, 0, 0],
    [1, 1, 1, 1, 1, 1, 1],
    [2, 1, 1, 1, 1, 1, 0],
    [2, 1, 1, 1, 1, 1, 2],
    [2, 2, 1, 1, 1, 0, 2],
    [2, 2, 1, 1, 1, 2, 2],
    [2, 2, 2, 1, 2, 2, 2],
]

BUILTIN_PALETTE = [0x999933, 0xFFFF00, 0xFF00FF, 0x000000]

MAX_CODE_BITS = 12


class BitWriter:
    """Packs variable-width codes least significant bit first, as GIF does."""

    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.nbits = 0

    def write(self, code, width):
        self.acc |= code << self.nbits
        self.nbits += width
        while self.nbits >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.nbits -= 8

    def finish(self):
        if self.nbits:
            self.out.append(self.acc & 0xFF)
        return bytes(self.out)


def lzw_encode(pixels, min_code_size, leading_clear):
    """Greedy GIF LZW. Returns the packed code stream (without sub-blocks)."""
    clear = 1 << min_code_size
    eoi = clear + 1
    writer = BitWriter()

    def reset():
        table = {(i,): i for i in range(clear)}
        return table, eoi + 1, min_code_size + 1

    table, next_code, width = reset()
    # The decoder adds its first entry one code later than the encoder; its
    # count decides when the code width grows, so it is tracked separately.
    decoder_next = eoi + 1
    first_after_clear = True

    def emit(code):
        nonlocal width, decoder_next, first_after_clear
        writer.write(code, width)
        if first_after_clear:
            first_after_clear = False
            return
        if decoder_next < (1 << MAX_CODE_BITS):
            decoder_next += 1
            if decoder_next == (1 << width) and width < MAX_CODE_BITS:
                width += 1

    if leading_clear:
        writer.write(clear, width)

    prefix = (pixels[0],)
    for p in pixels[1:]:
        candidate = prefix + (p,)
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix])
        if next_code < (1 << MAX_CODE_BITS):
            table[candidate] = next_code
            next_code += 1
        else:
            writer.write(clear, width)
            table, next_code, width = reset()
            decoder_next = eoi + 1
            first_after_clear = True
        prefix = (p,)
    emit(table[prefix])
    writer.write(eoi, width)
    return writer.finish()


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def gif89a(pixel_map, palette, table_bits, color_resolution_bits,
           transparent_index, min_code_size, leading_clear):
    height = len(pixel_map)
    width = len(pixel_map[0])
    entries = 1 << table_bits
    colours = list(palette) + [0x000000] * (entries - len(palette))

    out = bytearray(b"GIF89a")
    packed = 0x80 | ((color_resolution_bits - 1) << 4) | (table_bits - 1)
    out += struct.pack("<HHBBB", width, height, packed, 0, 0)
    for rgb in colours:
        out += bytes(((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF))

    # Graphic control extension: restore to background, transparent flag set.
    out += bytes((0x21, 0xF9, 4, (2 << 2) | 0x01, 0, 0, transparent_index, 0))

    out += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
    out.append(min_code_size)
    pixels = [index for row in pixel_map for index in row]
    out += sub_blocks(lzw_encode(pixels, min_code_size, leading_clear))
    out.append(0x3B)
    return bytes(out)


def colour_arrow(pixel_map, palette):
    # The sizes 115/117 come out of a 9-bit code stream that ends with
    # End-of-Information and opens without a Clear code.
    return gif89a(pixel_map, palette, table_bits=4, color_resolution_bits=4,
                  transparent_index=8, min_code_size=8, leading_clear=False)


def builtin_arrow(pixel_map):
    return gif89a(pixel_map, BUILTIN_PALETTE, table_bits=2,
                  color_resolution_bits=2, transparent_index=2,
                  min_code_size=2, leading_clear=True)


def main(argv):
    if len(argv) > 2:
        sys.stderr.write("usage: make_arrows.py [output-directory]\n")
        return 2
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = argv[1] if len(argv) == 2 else os.path.join(
        here, os.pardir, "src", "magnifier", "arrows")

    files = {}
    for value, palette in PALETTES.items():
        files["%d.gif" % (101 + 2 * value)] = colour_arrow(LEFT_MAP, palette)
        files["%d.gif" % (102 + 2 * value)] = colour_arrow(TOP_MAP, palette)
    files["builtin_left.gif"] = builtin_arrow(BUILTIN_LEFT_MAP)
    files["builtin_top.gif"] = builtin_arrow(BUILTIN_TOP_MAP)

    failed = False
    for resource_id in range(101, 109):
        expected = 115 if resource_id % 2 else 117
        size = len(files["%d.gif" % resource_id])
        if size != expected:
            sys.stderr.write("%d.gif: %d bytes, expected %d\n"
                             % (resource_id, size, expected))
            failed = True
    if failed:
        return 1

    os.makedirs(out_dir, exist_ok=True)
    for name in sorted(files):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(files[name])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
