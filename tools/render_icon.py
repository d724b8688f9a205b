#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""Renders the application icon's SVG into the PNG sizes the desktop and the window use.

Understands just what the icon is drawn with: <rect> and <circle> with a fill, <circle> and
<line> with a stroke (round caps), and a <g> clipped by a circular <clipPath>. Each pixel
is the average of a grid of samples, so edges are smooth and the output is the same on
every machine. The PNGs are 24-bit RGB: the icon is an opaque tile.

Usage: render_icon.py ICON.svg SIZE OUT.png

tools/make_icons.sh renders every checked-in size.
"""
import math
import struct
import sys
import xml.etree.ElementTree as ET
import zlib

SVG = "{http://www.w3.org/2000/svg}"
SAMPLES = 8  # per axis and pixel


def _colour(text):
    text = text.strip().lstrip("#")
    if len(text) == 3:
        text = "".join(c * 2 for c in text)
    return tuple(int(text[i : i + 2], 16) for i in (0, 2, 4))


def _f(element, name, default=0.0):
    return float(element.get(name, default))


def _segment_distance(px, py, x1, y1, x2, y2):
    dx, dy = x2 - x1, y2 - y1
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - x1) * dx + (py - y1) * dy) / length2))
    return math.hypot(px - (x1 + t * dx), py - (y1 + t * dy))


def _shapes(element, clips, clip, out):
    """Flattens the drawing into (inside(x, y), rgb) in painting order."""
    for child in element:
        tag = child.tag.replace(SVG, "")
        if tag == "defs":
            continue
        if tag == "g":
            ref = child.get("clip-path", "")
            inner = clips[ref[5:-1]] if ref.startswith("url(#") else clip
            _shapes(child, clips, inner, out)
            continue
        fill, stroke = child.get("fill", "none"), child.get("stroke", "none")
        width = _f(child, "stroke-width", 1.0)
        if tag == "rect":
            x, y, w, h = (_f(child, k) for k in ("x", "y", "width", "height"))
            inside = lambda px, py, x=x, y=y, w=w, h=h: x <= px < x + w and y <= py < y + h
            paint = fill
        elif tag == "circle":
            cx, cy, r = _f(child, "cx"), _f(child, "cy"), _f(child, "r")
            if stroke != "none":
                inside = lambda px, py, cx=cx, cy=cy, r=r, w=width: abs(
                    math.hypot(px - cx, py - cy) - r
                ) <= w / 2
                paint = stroke
            else:
                inside = lambda px, py, cx=cx, cy=cy, r=r: math.hypot(px - cx, py - cy) <= r
                paint = fill
        elif tag == "line":
            ends = tuple(_f(child, k) for k in ("x1", "y1", "x2", "y2"))
            inside = lambda px, py, e=ends, w=width: _segment_distance(px, py, *e) <= w / 2
            paint = stroke
        else:
            raise ValueError(f"render_icon: <{tag}> is not supported")
        if clip is not None:
            inside = lambda px, py, i=inside, c=clip: c(px, py) and i(px, py)
        out.append((inside, _colour(paint)))
    return out


def load(path):
    root = ET.parse(path).getroot()
    view = [float(v) for v in root.get("viewBox").split()]
    clips = {}
    for clip_path in root.iter(SVG + "clipPath"):
        (circle,) = list(clip_path)
        cx, cy, r = _f(circle, "cx"), _f(circle, "cy"), _f(circle, "r")
        clips[clip_path.get("id")] = lambda px, py, cx=cx, cy=cy, r=r: math.hypot(
            px - cx, py - cy
        ) <= r
    return view, _shapes(root, clips, None, [])


def render(view, shapes, size):
    x0, y0, vw, vh = view
    rows = []
    for y in range(size):
        row = bytearray()
        for x in range(size):
            total = [0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    px = x0 + (x + (sx + 0.5) / SAMPLES) * vw / size
                    py = y0 + (y + (sy + 0.5) / SAMPLES) * vh / size
                    rgb = (0, 0, 0)
                    for inside, paint in shapes:
                        if inside(px, py):
                            rgb = paint
                    for i in range(3):
                        total[i] += rgb[i]
            row += bytes(round(t / (SAMPLES * SAMPLES)) for t in total)
        rows.append(bytes(row))
    return rows


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, rows):
    height, width = len(rows), len(rows[0]) // 3
    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(_chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(_chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    view, shapes = load(argv[1])
    write_png(argv[3], render(view, shapes, int(argv[2])))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
