#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""The Wayland rig from a test script's side (run inside the rig's environment).

    rigctl.py METHOD [ARGS...]     call a control method of the portal double and print
                                   its result: SetNextResponse U, SetCursorModes U,
                                   SetPortal screencast|bare|none, EndStreams, LastOptions,
                                   StartCount, ReadbackStreams, MovePointer X Y, Click X Y,
                                   Scroll STEPS, PressKey KEYSYM (an X keysym, e.g. 0xffab
                                   for KP_Add)
    rigctl.py cast [--cursor-mode N] [--restore-token T] [--grab FILE.ppm] [--hold]
                                   ask the portal for the screen as Ocula does
                                   (CreateSession, SelectSources, Start,
                                   OpenPipeWireRemote) and print "response METHOD CODE",
                                   "stream NODE X Y W H" and "restore_token T" lines; with
                                   --grab, read one frame through the fd it handed out;
                                   with --hold, then wait until the portal closes the
                                   session and print "closed". Exits 0 when Start
                                   answered 0, 3 when it answered otherwise, 1 with
                                   "error NAME" when a call failed
    rigctl.py pattern FILE.ppm [--rect X Y W H] [--origin X Y] [-q]
                                   check that the screenshot shows the coordinate pattern
                                   in that rectangle (default: every monitor), the
                                   pattern's (0, 0) at the origin (default: the desktop's)
    rigctl.py window FILE.ppm      print "X Y W H", the client area of the one (framed)
                                   window the screenshot shows over the pattern
    rigctl.py desktop FILE.ppm RAW...
                                   write the desktop as FILE.ppm from one RGB picture a
                                   monitor, black where no monitor is
    rigctl.py text FILE.ppm --rect X Y W H [-q]
                                   check that the rectangle shows text on a plain
                                   background (a message drawn in a view)

The monitors are those RIG_SCREENS lists ("X Y W H;X Y W H", as rig.bash exports it); with
none, the screenshot is one monitor.
"""
import argparse
import collections
import os
import subprocess
import sys

import dbus

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

METHODS = {"SetNextResponse": "u", "SetCursorModes": "u", "SetPortal": "s", "EndStreams": "",
           "LastOptions": "", "StartCount": "", "ReadbackStreams": "", "MovePointer": "dd",
           "Click": "dd", "Scroll": "i", "PressKey": "u"}
TIMEOUT_MS = 10000


def control(method, args):
    if method not in METHODS or len(args) != len(METHODS[method]):
        sys.exit("rigctl: %s takes %d argument(s)" % (method, len(METHODS.get(method, ""))))
    convert = {"u": dbus.UInt32, "i": dbus.Int32, "s": dbus.String, "d": dbus.Double}
    values = [convert[t](float(a) if t == "d" else int(a, 0) if t in "ui" else a)
              for t, a in zip(METHODS[method], args)]
    rig = dbus.SessionBus().get_object("org.ocula.TestRig", "/org/ocula/TestRig")
    result = getattr(rig, method)(*values, dbus_interface="org.ocula.TestRig")
    if result is not None:
        print(result)
    return 0


def cast(args):
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = bus.get_object("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop")
    sender = bus.get_unique_name().lstrip(":").replace(".", "_")
    loop = GLib.MainLoop()
    counter = [0]

    def call(method, *params):
        """Calls METHOD with handle_token in its last (options) argument and returns the
        Response's (code, results), as a portal client must: subscribed before the call."""
        counter[0] += 1
        token = "rigctl%d" % counter[0]
        path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender, token)
        got = []

        def response(code, results):
            got.append((int(code), results))
            loop.quit()

        match = bus.add_signal_receiver(response, "Response", "org.freedesktop.portal.Request",
                                        "org.freedesktop.portal.Desktop", path)
        options = dict(params[-1], handle_token=token)
        handle = getattr(portal, method)(*params[:-1], dbus.Dictionary(options, signature="sv"),
                                         dbus_interface="org.freedesktop.portal.ScreenCast")
        if str(handle) != path:
            sys.exit("rigctl: %s answered on %s, not %s" % (method, handle, path))
        timer = GLib.timeout_add(TIMEOUT_MS, loop.quit)
        loop.run()
        if got:
            GLib.source_remove(timer)
        match.remove()
        if not got:
            sys.exit("rigctl: no Response to %s" % method)
        print("response %s %d" % (method, got[0][0]))
        return got[0]

    code, results = call("CreateSession", {"session_handle_token": "rigctl"})
    if code:
        return 3
    session = dbus.ObjectPath(results["session_handle"])
    sources = {"types": dbus.UInt32(1), "multiple": dbus.Boolean(True),
               "cursor_mode": dbus.UInt32(args.cursor_mode), "persist_mode": dbus.UInt32(2)}
    if args.restore_token:
        sources["restore_token"] = dbus.String(args.restore_token)
    if call("SelectSources", session, sources)[0]:
        return 3
    code, results = call("Start", session, "", {})
    if code:
        return 3
    streams = results["streams"]
    for node, props in streams:
        print("stream %d %d %d %d %d" % ((node,) + tuple(props["position"]) + tuple(props["size"])))
    print("restore_token %s" % results["restore_token"])
    fd = portal.OpenPipeWireRemote(session, dbus.Dictionary({}, signature="sv"),
                                   dbus_interface="org.freedesktop.portal.ScreenCast").take()
    if args.grab:
        node, props = streams[0]
        width, height = props["size"]
        raw = args.grab + ".rgb"
        subprocess.run(["timeout", "10", "gst-launch-1.0", "-q", "pipewiresrc", "fd=%d" % fd,
                        "path=%d" % node, "num-buffers=1", "!", "videoconvert", "!",
                        "video/x-raw,format=RGB,width=%d,height=%d" % (width, height), "!",
                        "filesink", "location=" + raw], pass_fds=[fd], check=True)
        with open(raw, "rb") as f:
            pixels = f.read()
        os.unlink(raw)
        if len(pixels) != width * height * 3:
            sys.exit("rigctl: the frame read through the portal's fd has %d bytes" % len(pixels))
        with open(args.grab, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (width, height) + pixels)
    os.close(fd)
    if args.hold:
        # Until the portal closes the session (rigctl EndStreams), as a viewer would.
        bus.add_signal_receiver(lambda details: loop.quit(), "Closed",
                                "org.freedesktop.portal.Session", "org.freedesktop.portal.Desktop",
                                session)
        loop.run()
        print("closed")
    return 0


# The frame Qt draws around a window on mutter (no server-side decorations there): a
# title bar above the client area and a thin border on the other sides.
FRAME_LEFT, FRAME_TOP, FRAME_RIGHT, FRAME_BOTTOM = 3, 30, 3, 3


def screens(shot=None):
    listed = os.environ.get("RIG_SCREENS")
    if listed:
        return [tuple(int(v) for v in s.split()) for s in listed.split(";")]
    return [(0, 0, shot.width, shot.height)]


def desktop(args):
    rects = screens()
    if len(args.raw) != len(rects):
        sys.exit("rigctl: %d pictures for %d monitors" % (len(args.raw), len(rects)))
    width = max(x + w for x, _, w, _ in rects)
    height = max(y + h for _, y, _, h in rects)
    pixels = bytearray(width * height * 3)
    for (x, y, w, h), raw in zip(rects, args.raw):
        with open(raw, "rb") as f:
            picture = f.read()
        for row in range(h):
            start = ((y + row) * width + x) * 3
            pixels[start:start + w * 3] = picture[row * w * 3:(row + 1) * w * 3]
    with open(args.shot, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height) + pixels)
    return 0


def load(path):
    from viewcheck import Shot
    with open(path, "rb") as f:
        return Shot(f.read())


def off_pattern(shot, x0, y0, w, h, ox=0, oy=0):
    """The (x, y) of every pixel in the rectangle that is not the pattern's, for a pattern
    whose (0, 0) is at (ox, oy)."""
    from make_pattern import _row
    if x0 < ox or y0 < oy:
        sys.exit("rigctl: the rectangle starts before the pattern's origin")
    for y in range(y0, y0 + h):
        start = (y * shot.width + x0) * 3
        got = shot.pixels[start:start + w * 3]
        want = _row(y - oy, x0 - ox + w)[(x0 - ox) * 3:]
        if got != want:
            for i in range(w):
                if got[i * 3:i * 3 + 3] != want[i * 3:i * 3 + 3]:
                    yield x0 + i, y


def pattern(args):
    from make_pattern import pattern_rgb
    shot = load(args.shot)
    ox, oy = args.origin or (0, 0)
    wrong = [p for rect in ([args.rect] if args.rect else screens(shot))
             for p in off_pattern(shot, *rect, ox, oy)]
    if wrong and not args.q:
        for x, y in wrong[:8]:
            print("pixel (%d, %d) is %02X%02X%02X, the pattern's %02X%02X%02X" %
                  ((x, y) + shot.rgb(x, y) + pattern_rgb(x - ox, y - oy)))
        print("%d pixels differ from the pattern" % len(wrong))
    return 1 if wrong else 0


def window(args):
    """The client area of the one window shown over the pattern, from the box around
    everything that is not the pattern."""
    shot = load(args.shot)
    xs, ys = set(), set()
    for rect in screens(shot):
        for x, y in off_pattern(shot, *rect):
            xs.add(x)
            ys.add(y)
    if not xs:
        print("nothing covers the pattern")
        return 1
    left, top = min(xs) + FRAME_LEFT, min(ys) + FRAME_TOP
    print(left, top, max(xs) - FRAME_RIGHT - left + 1, max(ys) - FRAME_BOTTOM - top + 1)
    return 0


def text(args):
    """Words on a plain background in the rectangle: one colour covers most of it, and
    the other pixels, leaving out whole lines across it (marker lines), spread over a
    line of writing's height and a word's width."""
    shot = load(args.shot)
    x0, y0, w, h = args.rect
    colours = collections.Counter(shot.rgb(x, y) for y in range(y0, y0 + h)
                                  for x in range(x0, x0 + w))
    background, count = colours.most_common(1)[0]
    ink = [(x, y) for y in range(y0, y0 + h) for x in range(x0, x0 + w)
           if shot.rgb(x, y) != background]
    per_col = collections.Counter(x for x, _ in ink)
    per_row = collections.Counter(y for _, y in ink)
    ink = [(x, y) for x, y in ink if per_col[x] < h * 0.9 and per_row[y] < w * 0.9]
    rows, cols = {y for _, y in ink}, {x for x, _ in ink}
    if count * 2 < w * h or len(ink) < 50 or len(rows) < 6 or len(cols) < 20:
        if not args.q:
            print("no words: the commonest colour %02X%02X%02X covers %d of %d pixels; "
                  "%d others in %d rows and %d columns" %
                  (background + (count, w * h, len(ink), len(rows), len(cols))))
        return 1
    return 0


def main(argv):
    commands = {"cast": cast, "pattern": pattern, "window": window, "text": text,
                "desktop": desktop}
    if argv and argv[0] in commands:
        parser = argparse.ArgumentParser(prog="rigctl.py " + argv[0])
        if argv[0] == "cast":
            parser.add_argument("--cursor-mode", type=int, default=4)
            parser.add_argument("--restore-token")
            parser.add_argument("--grab")
            parser.add_argument("--hold", action="store_true")
        elif argv[0] == "desktop":
            parser.add_argument("shot")
            parser.add_argument("raw", nargs="+")
        else:
            parser.add_argument("shot")
            parser.add_argument("--rect", type=int, nargs=4, required=argv[0] == "text")
            parser.add_argument("--origin", type=int, nargs=2)
            parser.add_argument("-q", action="store_true")
        try:
            return commands[argv[0]](parser.parse_args(argv[1:]))
        except dbus.exceptions.DBusException as error:
            print("error %s" % error.get_dbus_name())
            return 1
    if not argv:
        sys.stderr.write(__doc__)
        return 2
    return control(argv[0], argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
