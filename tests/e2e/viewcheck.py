#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""Reads the screen back and checks what the Ocula main window shows on it.

The window geometry is given as its client origin and size (--client X Y W H, screen
pixels). Inside it, with both ruler bars and the info bar shown:

    top bar   client (31, 1), (W - 32) x 30      left bar  client (1, 31), 30 x (H - 22 - 32)
    view      client (33, 33), (W - 36) x (H - 22 - 36)   (inside a 2-pixel border)

at 96 dpi; with --scale S (the program's dpi over 96) the bars, the view's border, the
arrows and the info bar are as much larger as the program makes them, while blocks, grid,
marks and marker lines stay in device pixels.

The screen is expected to show the coordinate pattern of tests/support/make_pattern.py
wherever the magnified source lies.

Commands (each exits 0 when the check holds, 1 with the reasons otherwise):

    view   --factor F --centre CX CY [--no-grid] [--cols LIST] [--rows LIST]
           every view pixel shows its screen pixel; grid pixels alternate between two
           colours by parity; marker lines at view columns/rows LIST (comma separated,
           "none" for no line; default: the far ends, as for markers never placed)
    blank  [--cols LIST] [--rows LIST]  (factor needed for the default lists)
           the view is one uniform colour apart from the marker lines
    bars   --factor F [--top LIST] [--left LIST]
           division marks every F pixels on both bars; marker arrows exactly at the
           given positions (in source pixels, "none" for no arrow)
    infobar
           the info bar with its coordinates panel: every caption is drawn whole inside
           its place, and every box shows its frame on all four sides (nothing covers it)
    copy   --image FILE [--pixels --factor F --centre CX CY]
           the image FILE is the view pixel for pixel as the screen shows it; with
           --pixels, it is the sampled rectangle at 1:1 (view size / F, rounded up),
           every pixel the colour of its screen pixel

Common options: --scale S (default 1); --shot FILE reads that PPM instead of the screen; --save FILE keeps the
screenshot that was checked; -q prints nothing.
"""
import argparse
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from make_pattern import pattern_rgb  # noqa: E402

MAX_REPORT = 8


class Scale:
    """The furniture's sizes at a scale, rounded as the program rounds them (halves to
    even, which is Python's round)."""

    def __init__(self, s):
        def scaled(px):
            return max(1, round(px * s))
        self.bar = scaled(30)
        self.border = scaled(2)  # the view's sunken border
        self.edge = 1  # the control's own border
        self.arrow = 2 * int(7 * s / 2) + 1
        self.arrow_inset = scaled(2)
        # 330 twips through the logical dpi, which is 96 S rounded.
        self.infobar = round(330 * round(96 * s) / 1440)


class Shot:
    def __init__(self, data):
        fields = []
        pos = 0
        while len(fields) < 4:
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos)
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise ValueError("not an 8-bit P6 image")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[pos + 1:]
        if len(self.pixels) < self.width * self.height * 3:
            raise ValueError("truncated image")

    def rgb(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])


def grab(args):
    if args.shot:
        with open(args.shot, "rb") as f:
            data = f.read()
    else:
        data = subprocess.run(["import", "-silent", "-window", "root", "-depth", "8", "ppm:-"],
                              check=True, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL).stdout
    if args.save:
        with open(args.save, "wb") as f:
            f.write(data)
    return Shot(data)


def hexc(c):
    return "%02X%02X%02X" % c


class Window:
    """Screen positions of the parts of the main window."""

    def __init__(self, shot, x, y, w, h, scale):
        self.shot = shot
        self.sc = sc = scale
        e, bar, b, info = sc.edge, sc.bar, sc.border, sc.infobar
        self.view_x, self.view_y = x + e + bar + b, y + e + bar + b
        self.view_w, self.view_h = w - 2 * e - bar - 2 * b, h - info - 2 * e - bar - 2 * b
        self.top_x, self.top_y, self.top_w = x + e + bar, y + e, w - 2 * e - bar
        self.left_x, self.left_y, self.left_h = x + e, y + e + bar, h - info - 2 * e - bar

    def view(self, dx, dy):
        return self.shot.rgb(self.view_x + dx, self.view_y + dy)

    def top(self, bx, by):
        return self.shot.rgb(self.top_x + bx, self.top_y + by)

    def left(self, bx, by):
        return self.shot.rgb(self.left_x + bx, self.left_y + by)

    def size_x(self, factor):
        # The top bar is as wide as the view's outer width.
        return (self.top_w - 2 * self.sc.border - 1) // factor

    def size_y(self, factor):
        return (self.left_h - 2 * self.sc.border - 1) // factor


def marker_lines(text, far_end, factor):
    if text is None:
        return [0, far_end * factor]
    if text == "none":
        return []
    return [int(v) for v in text.split(",")]


class Report:
    def __init__(self, quiet):
        self.quiet = quiet
        self.problems = 0

    def fail(self, message):
        self.problems += 1
        if not self.quiet and self.problems <= MAX_REPORT:
            print(message)

    def done(self):
        if self.problems > MAX_REPORT and not self.quiet:
            print("... %d problems in all" % self.problems)
        return 1 if self.problems else 0


def check_lines(win, cols, rows, report):
    """Marker lines: whole view columns (the top bar's) and rows (the left bar's), each
    kind of one colour; where a column crosses a row, either colour. Returns the colour of
    the columns, or else of the rows."""
    cols = [c for c in cols if c < win.view_w]
    rows = [r for r in rows if r < win.view_h]
    kinds = [("column", [(c, [(c, y) for y in range(win.view_h) if y not in rows]) for c in cols]),
             ("row", [(r, [(x, r) for x in range(win.view_w) if x not in cols]) for r in rows])]
    colours = []
    for kind, lines in kinds:
        colour = None
        for at, points in lines:
            seen = {win.view(x, y) for x, y in points}
            if len(seen) != 1:
                report.fail("marker line at view %s %d is not one colour: %s" %
                            (kind, at, " ".join(sorted(hexc(c) for c in seen)[:6])))
                continue
            line = seen.pop()
            if colour is None:
                colour = line
            elif line != colour:
                report.fail("marker line at view %s %d has colour %s, another %s" %
                            (kind, at, hexc(line), hexc(colour)))
        if colour is not None:
            colours.append(colour)
    for c in cols:
        for r in rows:
            if colours and win.view(c, r) not in colours:
                report.fail("marker lines cross at view (%d, %d) in colour %s" %
                            (c, r, hexc(win.view(c, r))))
    return colours[0] if colours else None


def bar_colours(win):
    """(background, division mark colour) of the top bar, read where neither frame,
    mark nor arrow can be."""
    sc = win.sc
    between = (sc.arrow_inset + sc.arrow + sc.bar // 2) // 2
    return win.top(4, between), win.top(sc.border, sc.bar * 2 // 3)


def first_grid_colours(win, f, skip_cols, skip_rows):
    """The colours of the first even and the first odd grid pixel off the marker lines."""
    found = {}
    for dy in range(min(win.view_h, 3 * f)):
        for dx in range(min(win.view_w, 3 * f)):
            if (dx % f == 0 or dy % f == 0) and dx not in skip_cols and dy not in skip_rows:
                found.setdefault((dx + dy) & 1, win.view(dx, dy))
    return found.get(0), found.get(1)


def cmd_view(args, shot, report):
    win = Window(shot, *args.client, Scale(args.scale))
    f = args.factor
    cx, cy = args.centre
    cols = marker_lines(args.cols, win.size_x(f), f)
    rows = marker_lines(args.rows, win.size_y(f), f)
    src_left = cx - win.view_w // f // 2
    src_top = cy - win.view_h // f // 2
    grid = not args.no_grid and f >= 3
    line_colour = check_lines(win, cols, rows, report)
    skip_cols, skip_rows = set(cols), set(rows)

    a = b = None
    if grid:
        a, b = first_grid_colours(win, f, skip_cols, skip_rows)
        background, divisions = bar_colours(win)
        if a is None or b is None or a == b:
            report.fail("the grid does not alternate two colours (even %s, odd %s)" %
                        (a and hexc(a), b and hexc(b)))
            return
        # Colour A is the button face (the bars' background), B the button highlight (the
        # division marks' colour): the grid colours default to these system colours.
        if a != background:
            report.fail("even grid pixels are %s, not the button face %s of the bars" %
                        (hexc(a), hexc(background)))
        if b != divisions:
            report.fail("odd grid pixels are %s, not the highlight %s of the marks" %
                        (hexc(b), hexc(divisions)))
        if line_colour is not None and line_colour in (a, b):
            report.fail("the marker lines have a grid colour %s" % hexc(line_colour))

    def want(dx, dy):
        if grid and (dx % f == 0 or dy % f == 0):
            return a if (dx + dy) % 2 == 0 else b
        return pattern_rgb(src_left + dx // f, src_top + dy // f)

    for dy in range(win.view_h):
        if dy in skip_rows:
            continue
        start = ((win.view_y + dy) * shot.width + win.view_x) * 3
        got_row = shot.pixels[start:start + win.view_w * 3]
        expected = bytearray()
        for dx in range(win.view_w):
            expected += bytes(want(dx, dy))
        for dx in skip_cols:  # the lines were checked above
            if dx < win.view_w:
                expected[dx * 3:dx * 3 + 3] = got_row[dx * 3:dx * 3 + 3]
        if expected == got_row:
            continue
        for dx in range(win.view_w):
            got, w = win.view(dx, dy), want(dx, dy)
            if dx in skip_cols or got == w:
                continue
            if grid and (dx % f == 0 or dy % f == 0):
                report.fail("grid pixel (%d, %d) is %s, expected %s (the %s grid colour)" %
                            (dx, dy, hexc(got), hexc(w), "even" if w == a else "odd"))
            else:
                report.fail("view pixel (%d, %d) is %s, expected screen pixel (%d, %d) = %s" %
                            (dx, dy, hexc(got), src_left + dx // f, src_top + dy // f,
                             hexc(w)))


def cmd_blank(args, shot, report):
    win = Window(shot, *args.client, Scale(args.scale))
    f = args.factor
    cols = marker_lines(args.cols, win.size_x(f), f)
    rows = marker_lines(args.rows, win.size_y(f), f)
    check_lines(win, cols, rows, report)
    skip_cols, skip_rows = set(cols), set(rows)
    seen = {}
    for dy in range(win.view_h):
        if dy in skip_rows:
            continue
        for dx in range(win.view_w):
            if dx not in skip_cols:
                seen.setdefault(win.view(dx, dy), (dx, dy))
    if len(seen) != 1:
        report.fail("the view is not blank: %d colours, e.g. %s" % (
            len(seen), ", ".join("%s at %s" % (hexc(c), p) for c, p in list(seen.items())[:4])))


def check_arrows(name, length, pixel, positions, f, background, sc, report):
    """Rows 1..13 of a bar, between its frame and its marks: background except for the
    7 x 7 arrows whose leading edge is at position * F - 1, 2 pixels in from the edge
    (at 96 dpi: the arrow's middle pixel lies against the marker line)."""
    first = sc.border - sc.arrow // 2
    boxes = [range(p * f + first, p * f + first + sc.arrow) for p in positions]
    across_arrow = range(sc.arrow_inset, sc.arrow_inset + sc.arrow)
    for p, box in zip(positions, boxes):
        inked = sum(1 for along in box if 0 < along < length - 1
                    for across in across_arrow if pixel(along, across) != background)
        if inked < 5:
            report.fail("%s bar: no marker arrow at position %d (bar pixels %d..%d)" %
                        (name, p, box.start, box.stop - 1))
    for along in range(1, length - 1):
        if any(along in box for box in boxes):
            continue
        for across in range(1, sc.bar // 2 - 1):
            got = pixel(along, across)
            if got != background:
                report.fail("%s bar: pixel %d across, %d along is %s outside every arrow" %
                            (name, across, along, hexc(got)))
                break


def check_marks(name, length, pixel, f, background, divisions, sc, report):
    """Marks at 2, 2 + F, ... up to length - 3, across rows 15..28 (29 is the frame)."""
    marks = set(range(sc.border, length - sc.border, f))
    half = sc.bar // 2
    for along in range(1, length - 1):
        want = divisions if along in marks else background
        for across in (half, sc.bar * 2 // 3, sc.bar - 2):
            got = pixel(along, across)
            if got != want:
                report.fail("%s bar: pixel %d along, %d across is %s, expected %s (%s)" %
                            (name, along, across, hexc(got), hexc(want),
                             "a mark" if along in marks else "no mark"))
        got = pixel(along, half - 1)
        if got != background:
            report.fail("%s bar: a mark reaches row %d at %d along (%s)" %
                        (name, half - 1, along, hexc(got)))


def cmd_bars(args, shot, report):
    win = Window(shot, *args.client, Scale(args.scale))
    f = args.factor
    background, divisions = bar_colours(win)
    if background == divisions:
        report.fail("division marks and bar background have the same colour %s" %
                    hexc(background))
    top = lambda along, across: win.top(along, across)
    left = lambda along, across: win.left(across, along)
    check_marks("top", win.top_w, top, f, background, divisions, win.sc, report)
    check_marks("left", win.left_h, left, f, background, divisions, win.sc, report)
    tops = marker_lines(args.top, win.size_x(f), 1)
    lefts = marker_lines(args.left, win.size_y(f), 1)
    check_arrows("top", win.top_w, top, tops, f, background, win.sc, report)
    check_arrows("left", win.left_h, left, lefts, f, background, win.sc, report)


# The info bar's captions and boxes in twips (left, top, width, height); those of the
# coordinates panel are inside it, and the panel is flush right.
INFOBAR_LABELS = [(45, 90, 510, 195), (1290, 90, 555, 195)]
INFOBAR_BOXES = [(585, 30, 495, 300), (1875, 30, 495, 300)]
COORDS = (1770, 30)
COORDS_LABELS = [(75, 60, 195, 195), (1050, 60, 195, 195)]
COORDS_BOXES = [(300, 0, 495, 300), (1275, 0, 495, 300)]


def cmd_infobar(args, shot, report):
    x, y, w, h = args.client
    dpi = round(96 * args.scale)

    def px(twips):
        return round(twips * dpi / 1440)

    def rect(ox, oy, r):
        return (ox + px(r[0]), oy + px(r[1]), px(r[2]), px(r[3]))

    bar_y = y + h - Scale(args.scale).infobar
    coords_x, coords_y = x + w - px(COORDS[0]), bar_y + px(COORDS[1])
    labels = [rect(x, bar_y, r) for r in INFOBAR_LABELS]
    labels += [rect(coords_x, coords_y, r) for r in COORDS_LABELS]
    boxes = [rect(x, bar_y, r) for r in INFOBAR_BOXES]
    boxes += [rect(coords_x, coords_y, r) for r in COORDS_BOXES]
    background = shot.rgb(x + 1, bar_y + 1)
    for n, (lx, ly, lw, lh) in enumerate(labels):
        ink = [(cx, cy) for cy in range(ly, ly + lh) for cx in range(lx, lx + lw)
               if shot.rgb(cx, cy) != background]
        if not ink:
            report.fail("caption %d at (%d, %d) %d x %d shows nothing" % (n, lx, ly, lw, lh))
        elif max(cx for cx, _ in ink) >= lx + lw - 1:
            report.fail("caption %d at (%d, %d) %d x %d is cut at its right end" %
                        (n, lx, ly, lw, lh))
    for n, (bx, by, bw, bh) in enumerate(boxes):
        sides = {"left": [(bx, by + i) for i in range(bh)],
                 "right": [(bx + bw - 1, by + i) for i in range(bh)],
                 "top": [(bx + i, by) for i in range(bw)],
                 "bottom": [(bx + i, by + bh - 1) for i in range(bw)]}
        for side, points in sides.items():
            framed = sum(1 for p in points if shot.rgb(*p) != background)
            if framed < len(points) * 3 // 4:
                report.fail("box %d at (%d, %d) %d x %d: its %s side is covered" %
                            (n, bx, by, bw, bh, side))


def read_image(path):
    return Shot(subprocess.run(["convert", path, "-depth", "8", "ppm:-"], check=True,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout)


def cmd_copy(args, shot, report):
    win = Window(shot, *args.client, Scale(args.scale))
    try:
        image = read_image(args.image)
    except (subprocess.CalledProcessError, ValueError):
        report.fail("%s is not an image" % args.image)
        return
    if args.pixels:
        f = args.factor
        cx, cy = args.centre
        size = (-(-win.view_w // f), -(-win.view_h // f))
        left, top = cx - win.view_w // f // 2, cy - win.view_h // f // 2

        def want(x, y):
            return pattern_rgb(left + x, top + y)
    else:
        size = (win.view_w, win.view_h)
        want = win.view
    if (image.width, image.height) != size:
        report.fail("%s is %d x %d, not %d x %d" % (args.image, image.width, image.height, *size))
        return
    for y in range(size[1]):
        for x in range(size[0]):
            if image.rgb(x, y) != want(x, y):
                report.fail("pixel (%d, %d) of %s is %s, expected %s" %
                            (x, y, args.image, hexc(image.rgb(x, y)), hexc(want(x, y))))


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["view", "blank", "bars", "infobar", "copy"])
    parser.add_argument("--image")
    parser.add_argument("--pixels", action="store_true")
    parser.add_argument("--client", type=int, nargs=4, required=True)
    parser.add_argument("--factor", type=int, default=6)
    parser.add_argument("--centre", type=int, nargs=2)
    parser.add_argument("--no-grid", action="store_true")
    parser.add_argument("--cols")
    parser.add_argument("--rows")
    parser.add_argument("--top")
    parser.add_argument("--left")
    parser.add_argument("--scale", type=float, default=1.0)
    parser.add_argument("--shot")
    parser.add_argument("--save")
    parser.add_argument("-q", action="store_true")
    args = parser.parse_args(argv)
    if (args.command == "view" or args.pixels) and args.centre is None:
        parser.error("view and copy --pixels need --centre")
    if (args.command == "copy") != (args.image is not None):
        parser.error("copy, and only copy, takes --image")
    report = Report(args.q)
    shot = grab(args)
    {"view": cmd_view, "blank": cmd_blank, "bars": cmd_bars,
     "infobar": cmd_infobar, "copy": cmd_copy}[args.command](args, shot, report)
    return report.done()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
