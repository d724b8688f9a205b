#!/usr/bin/env python3
"""The Wayland rig from a test script's side (run inside the rig's environment).

    rigctl.py METHOD [ARGS...]     call a control method of the portal double and print
                                   its result: SetNextResponse U, SetCursorModes U,
                                   SetPortal screencast|bare|none, EndStreams, LastOptions,
                                   StartCount, ReadbackNode, MovePointer X Y
    rigctl.py cast [--cursor-mode N] [--restore-token T] [--grab FILE.ppm]
                                   ask the portal for the screen as Ocula does
                                   (CreateSession, SelectSources, Start,
                                   OpenPipeWireRemote) and print "response METHOD CODE",
                                   "stream NODE X Y W H" and "restore_token T" lines; with
                                   --grab, read one frame through the fd it handed out.
                                   Exits 0 when Start answered 0, 3 when it answered
                                   otherwise, 1 on any other failure
    rigctl.py pattern FILE.ppm [--rect X Y W H] [-q]
                                   check that the screenshot shows the coordinate pattern
                                   in that rectangle (default: all of it)
"""
import argparse
import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

METHODS = {"SetNextResponse": "u", "SetCursorModes": "u", "SetPortal": "s", "EndStreams": "",
           "LastOptions": "", "StartCount": "", "ReadbackNode": "", "MovePointer": "dd"}
TIMEOUT_MS = 10000


def control(method, args):
    import dbus
    if method not in METHODS or len(args) != len(METHODS[method]):
        sys.exit("rigctl: %s takes %d argument(s)" % (method, len(METHODS.get(method, ""))))
    convert = {"u": dbus.UInt32, "s": dbus.String, "d": dbus.Double}
    values = [convert[t](float(a) if t == "d" else int(a) if t == "u" else a)
              for t, a in zip(METHODS[method], args)]
    rig = dbus.SessionBus().get_object("org.ocula.TestRig", "/org/ocula/TestRig")
    result = getattr(rig, method)(*values, dbus_interface="org.ocula.TestRig")
    if result is not None:
        print(result)
    return 0


def cast(args):
    import dbus
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
        GLib.source_remove(timer) if got else None
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
    return 0


def pattern(args):
    from make_pattern import pattern_rgb
    from viewcheck import Shot

    with open(args.shot, "rb") as f:
        shot = Shot(f.read())
    x0, y0, w, h = args.rect or (0, 0, shot.width, shot.height)
    wrong = []
    for y in range(y0, y0 + h):
        start = (y * shot.width + x0) * 3
        want = b"".join(bytes(pattern_rgb(x, y)) for x in range(x0, x0 + w))
        if shot.pixels[start:start + w * 3] == want:
            continue
        for x in range(x0, x0 + w):
            if shot.rgb(x, y) != pattern_rgb(x, y):
                wrong.append((x, y))
    if wrong and not args.q:
        for x, y in wrong[:8]:
            print("pixel (%d, %d) is %02X%02X%02X, the pattern's %02X%02X%02X" %
                  ((x, y) + shot.rgb(x, y) + pattern_rgb(x, y)))
        print("%d pixels differ from the pattern" % len(wrong))
    return 1 if wrong else 0


def main(argv):
    if argv and argv[0] in ("cast", "pattern"):
        parser = argparse.ArgumentParser(prog="rigctl.py " + argv[0])
        if argv[0] == "cast":
            parser.add_argument("--cursor-mode", type=int, default=4)
            parser.add_argument("--restore-token")
            parser.add_argument("--grab")
            return cast(parser.parse_args(argv[1:]))
        parser.add_argument("shot")
        parser.add_argument("--rect", type=int, nargs=4)
        parser.add_argument("-q", action="store_true")
        return pattern(parser.parse_args(argv[1:]))
    if not argv:
        sys.stderr.write(__doc__)
        return 2
    return control(argv[0], argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
