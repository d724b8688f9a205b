#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""A stand-in for the desktop's ScreenCast portal, for the Wayland end-to-end rig.

It owns org.freedesktop.portal.Desktop on the rig's private session bus and answers
org.freedesktop.portal.ScreenCast the way xdg-desktop-portal does (request and session
objects named from the caller's unique name and its tokens, results through
Request::Response), with no dialog: Start records every monitor through mutter's own
org.gnome.Mutter.ScreenCast and hands over their PipeWire nodes, each with the monitor's
place and size on the desktop as mutter tells them, OpenPipeWireRemote a socket connected
to the rig's PipeWire.

For the tests it also owns org.ocula.TestRig, whose object /org/ocula/TestRig steers and
watches the portal (see TestRig below), moves the pointer through
org.gnome.Mutter.RemoteDesktop and names streams of its own (one a monitor) from which the
screen can be read back. The names are taken only once those streams run, so a client that
sees them can use everything at once.

Usage: portal_double.py [--cursor-modes N]     (runs until SIGTERM or SIGINT)
"""
import argparse
import json
import os
import signal
import socket
import sys
import uuid

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL_NAME = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SCREENCAST = "org.freedesktop.portal.ScreenCast"
REQUEST = "org.freedesktop.portal.Request"
SESSION = "org.freedesktop.portal.Session"
RIG_NAME = "org.ocula.TestRig"
RIG_PATH = "/org/ocula/TestRig"
RIG = "org.ocula.TestRig"

MUTTER_SC = "org.gnome.Mutter.ScreenCast"
MUTTER_SC_PATH = "/org/gnome/Mutter/ScreenCast"
MUTTER_RD = "org.gnome.Mutter.RemoteDesktop"
MUTTER_RD_PATH = "/org/gnome/Mutter/RemoteDesktop"
MUTTER_DC = "org.gnome.Mutter.DisplayConfig"
MUTTER_DC_PATH = "/org/gnome/Mutter/DisplayConfig"

# Portal cursor modes (bits) to mutter's RecordMonitor cursor-mode values.
MUTTER_CURSOR = {1: 0, 2: 1, 4: 2}
INVALID = "org.freedesktop.portal.Error.InvalidArgument"
FAILED = "org.freedesktop.portal.Error.Failed"


def plain(value):
    """D-Bus values as JSON-friendly Python values (Boolean before the integers: it is one)."""
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dict, dbus.Dictionary)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (int, dbus.Byte)):
        return int(value)
    if isinstance(value, float):
        return float(value)
    return str(value)


def sender_part(sender):
    return sender.lstrip(":").replace(".", "_")


def fail(name, message):
    return dbus.exceptions.DBusException(message, name=name)


class Request(dbus.service.Object):
    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.closed = False

    @dbus.service.method(REQUEST, in_signature="", out_signature="")
    def Close(self):
        self.closed = True
        self.remove_from_connection()

    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass

    def answer(self, response, results=None):
        # Sent once the method has returned, as the real portal does: a caller that
        # subscribes to the expected path before calling never misses it.
        def send():
            if not self.closed:
                self.Response(dbus.UInt32(response), dbus.Dictionary(results or {}, signature="sv"))
                self.remove_from_connection()
            return False

        GLib.idle_add(send)


class Session(dbus.service.Object):
    def __init__(self, portal, path, owner):
        super().__init__(portal.bus, path)
        self.portal = portal
        self.path = path
        self.owner = owner
        self.sources = None  # SelectSources options once called
        self.mutter = None  # the mutter ScreenCast session behind a started one
        self.node = None
        self.open = True

    @dbus.service.method(SESSION, in_signature="", out_signature="")
    def Close(self):
        self.end(emit=False)

    @dbus.service.signal(SESSION, signature="a{sv}")
    def Closed(self, details):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface == SESSION and name == "version":
            return dbus.UInt32(1)
        raise fail("org.freedesktop.DBus.Error.InvalidArgs", "no such property")

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"version": dbus.UInt32(1)} if interface == SESSION else {}

    def end(self, emit):
        if not self.open:
            return
        self.open = False
        if self.mutter is not None:
            try:
                self.mutter.Stop(dbus_interface=MUTTER_SC + ".Session")
            except dbus.exceptions.DBusException:
                pass  # mutter closed it already
            self.mutter = None
        if emit:
            self.Closed(dbus.Dictionary({}, signature="sv"))
        self.portal.sessions.pop(self.path, None)
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus, cursor_modes):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.cursor_modes = cursor_modes
        self.present = "screencast"  # or "bare": the portal without a ScreenCast interface
        self.sessions = {}
        self.watched = {}
        self.next_response = 0
        self.start_count = 0
        self.issued_tokens = set()
        self.last = {}

    # -- properties --------------------------------------------------------------------
    def properties(self):
        return {"version": dbus.UInt32(4), "AvailableSourceTypes": dbus.UInt32(1 | 2),
                "AvailableCursorModes": dbus.UInt32(self.cursor_modes)}

    def need_screencast(self):
        if self.present != "screencast":
            raise fail("org.freedesktop.DBus.Error.UnknownMethod",
                       "No such interface '%s' on object at path %s" % (SCREENCAST, PORTAL_PATH))

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        props = self.GetAll(interface)
        if name not in props:
            raise fail("org.freedesktop.DBus.Error.InvalidArgs", "No such property '%s'" % name)
        return props[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface != SCREENCAST:
            raise fail("org.freedesktop.DBus.Error.InvalidArgs",
                       "No such interface '%s'" % interface)
        self.need_screencast()
        return dbus.Dictionary(self.properties(), signature="sv")

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, in_signature="", out_signature="s",
                         path_keyword="object_path", connection_keyword="connection")
    def Introspect(self, object_path, connection):
        # dbus-python leaves properties out; QtDBus reads them only from the XML.
        xml = dbus.service.Object.Introspect(self, object_path, connection)
        head = '<interface name="%s">' % SCREENCAST
        if self.present != "screencast":
            start = xml.find(head)
            return xml[:start] + xml[xml.index("</interface>", start) + len("</interface>"):]
        props = "".join('<property name="%s" type="u" access="read"/>' % n
                        for n in self.properties())
        return xml.replace(head, head + props)

    # -- requests and sessions -----------------------------------------------------------
    def request(self, sender, options):
        token = str(options.get("handle_token", "t%s" % uuid.uuid4().hex[:8]))
        return Request(self.bus, "%s/request/%s/%s" % (PORTAL_PATH, sender_part(sender), token))

    def session(self, path, sender):
        session = self.sessions.get(str(path))
        if session is None or session.owner != sender:
            raise fail(INVALID, "Invalid session")
        return session

    def watch(self, sender):
        # The real portal closes a caller's sessions when the caller leaves the bus.
        if sender in self.watched:
            return

        def gone(owner):
            if owner == "":
                for s in [s for s in self.sessions.values() if s.owner == sender]:
                    s.end(emit=False)
                self.watched.pop(sender).cancel()

        self.watched[sender] = self.bus.watch_name_owner(sender, gone)

    @dbus.service.method(SCREENCAST, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        self.need_screencast()
        self.last["CreateSession"] = plain(options)
        token = str(options.get("session_handle_token", "s%s" % uuid.uuid4().hex[:8]))
        path = "%s/session/%s/%s" % (PORTAL_PATH, sender_part(sender), token)
        if path in self.sessions:
            raise fail(INVALID, "Session %s exists" % path)
        self.sessions[path] = Session(self, path, sender)
        self.watch(sender)
        req = self.request(sender, options)
        req.answer(0, {"session_handle": dbus.String(path)})
        return req

    @dbus.service.method(SCREENCAST, in_signature="oa{sv}", out_signature="o",
                         sender_keyword="sender")
    def SelectSources(self, session_path, options, sender=None):
        self.need_screencast()
        session = self.session(session_path, sender)
        self.last["SelectSources"] = plain(options)
        if session.mutter is not None:
            raise fail(FAILED, "Invalid state")
        types = int(options.get("types", 1))
        if types & ~3 or not types:
            raise fail(INVALID, "Unsupported source type %d" % types)
        cursor = int(options.get("cursor_mode", 1))
        if cursor not in MUTTER_CURSOR or not cursor & self.cursor_modes:
            raise fail(INVALID, "Unsupported cursor mode %d" % cursor)
        if int(options.get("persist_mode", 0)) > 2:
            raise fail(INVALID, "Invalid persist mode")
        token = options.get("restore_token")
        self.last["restore_token_known"] = token is not None and str(token) in self.issued_tokens
        session.sources = options
        req = self.request(sender, options)
        req.answer(0)
        return req

    @dbus.service.method(SCREENCAST, in_signature="osa{sv}", out_signature="o",
                         sender_keyword="sender")
    def Start(self, session_path, parent_window, options, sender=None):
        self.need_screencast()
        session = self.session(session_path, sender)
        self.start_count += 1
        self.last["Start"] = plain(options)
        self.last["parent_window"] = str(parent_window)
        if session.sources is None or session.mutter is not None:
            raise fail(FAILED, "Invalid state")
        req = self.request(sender, options)
        response, self.next_response = self.next_response, 0
        if response:
            # As the real portal does, a session whose Start failed is closed, silently.
            req.answer(response)
            session.end(emit=False)
            return req
        cursor = MUTTER_CURSOR[int(session.sources.get("cursor_mode", 1))]

        def streaming(streams):
            session.node = streams[0][0]
            token = uuid.uuid4().hex
            self.issued_tokens.add(token)
            self.last["restore_token_issued"] = token
            # As GNOME's portal does: every monitor, each stream with its monitor's place.
            granted = [dbus.Struct((dbus.UInt32(node), dbus.Dictionary({
                "position": dbus.Struct([dbus.Int32(v) for v in params["position"]]),
                "size": dbus.Struct([dbus.Int32(v) for v in params["size"]]),
                "source_type": dbus.UInt32(1)}, signature="sv"))) for node, params in streams]
            self.last["streams"] = [[int(node)] + [int(v) for v in params["position"]] +
                                    [int(v) for v in params["size"]] for node, params in streams]
            req.answer(0, {"streams": dbus.Array(granted, signature="(ua{sv})"),
                           "restore_token": dbus.String(token)})

        def broken(error):
            print("portal_double: Start failed: %s" % error, file=sys.stderr, flush=True)
            req.answer(2)

        try:
            session.mutter = record_monitors(self.bus, {}, cursor, streaming, broken,
                                             lambda: session.end(emit=True))
        except dbus.exceptions.DBusException as error:
            broken(error)
        return req

    @dbus.service.method(SCREENCAST, in_signature="oa{sv}", out_signature="h",
                         sender_keyword="sender")
    def OpenPipeWireRemote(self, session_path, options, sender=None):
        self.need_screencast()
        session = self.session(session_path, sender)
        if session.node is None:
            raise fail(FAILED, "Invalid state: not started")
        # The real portal restricts this connection to the granted nodes; this one sees all.
        with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as sock:
            sock.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
            return dbus.types.UnixFd(sock.fileno())  # a duplicate: ours closes here


def connectors(bus):
    """mutter's monitors by connector name, the primary first, then as they lie (top to
    bottom, left to right)."""
    dc = bus.get_object(MUTTER_DC, MUTTER_DC_PATH)
    _, _, logical, _ = dc.GetCurrentState(dbus_interface=MUTTER_DC)
    logical = sorted(logical, key=lambda m: (not m[4], int(m[1]), int(m[0])))
    return [str(spec[0]) for m in logical for spec in m[5]]


def record_monitors(bus, session_props, cursor_mode, on_streams, on_error, on_closed,
                    start=True):
    """Records every monitor in a new mutter ScreenCast session; on_streams([(node, params),
    ...]) in the order of connectors() once all their PipeWire streams are there. Returns
    the session's proxy, whose stream_paths name the streams in that order."""
    sc = bus.get_object(MUTTER_SC, MUTTER_SC_PATH)
    path = sc.CreateSession(dbus.Dictionary(session_props, signature="sv"),
                            dbus_interface=MUTTER_SC)
    session = bus.get_object(MUTTER_SC, path)
    session.connect_to_signal("Closed", on_closed, dbus_interface=MUTTER_SC + ".Session")
    props = dbus.Dictionary({"cursor-mode": dbus.UInt32(cursor_mode)}, signature="sv")
    session.stream_paths = [session.RecordMonitor(c, props, dbus_interface=MUTTER_SC + ".Session")
                            for c in connectors(bus)]
    added = [None] * len(session.stream_paths)

    def on_added(i, stream, node):
        params = stream.Get(MUTTER_SC + ".Stream", "Parameters",
                            dbus_interface=dbus.PROPERTIES_IFACE)
        added[i] = (int(node), params)
        if None not in added:
            on_streams(list(added))

    for i, stream_path in enumerate(session.stream_paths):
        stream = bus.get_object(MUTTER_SC, stream_path)
        stream.connect_to_signal("PipeWireStreamAdded",
                                 lambda node, i=i, stream=stream: on_added(i, stream, node),
                                 dbus_interface=MUTTER_SC + ".Stream")
    if start:
        session.Start(dbus_interface=MUTTER_SC + ".Session", reply_handler=lambda: None,
                      error_handler=on_error)
    return session


class TestRig(dbus.service.Object):
    """The tests' side: what the portal answers next, what it was asked, the pointer and a
    stream for reading the screen back."""

    def __init__(self, bus, portal, loop):
        super().__init__(bus, RIG_PATH)
        self.bus = bus
        self.portal = portal
        self.loop = loop
        self.streams = None  # [(node, x, y, w, h)] of the readback streams, one a monitor
        # The pointer moves through a remote desktop session, which needs a screen cast
        # session of its own linked to it; that one's streams are the readback streams.
        rd = bus.get_object(MUTTER_RD, MUTTER_RD_PATH).CreateSession(dbus_interface=MUTTER_RD)
        self.rd = bus.get_object(MUTTER_RD, rd)
        rd_id = self.rd.Get(MUTTER_RD + ".Session", "SessionId",
                            dbus_interface=dbus.PROPERTIES_IFACE)

        def lost(*_):
            print("portal_double: the rig's own session closed", file=sys.stderr, flush=True)
            loop.quit()

        def ready(streams):
            self.streams = [(node,) + tuple(int(v) for v in params["position"]) +
                            tuple(int(v) for v in params["size"]) for node, params in streams]

        self.sc = record_monitors(bus, {"remote-desktop-session-id": rd_id}, 2, ready, lost,
                                  lost, start=False)
        self.rd.connect_to_signal("Closed", lost, dbus_interface=MUTTER_RD + ".Session")
        self.rd.Start(dbus_interface=MUTTER_RD + ".Session")

    @dbus.service.method(RIG, in_signature="u", out_signature="")
    def SetNextResponse(self, response):
        self.portal.next_response = int(response)

    @dbus.service.method(RIG, in_signature="u", out_signature="")
    def SetCursorModes(self, modes):
        self.portal.cursor_modes = int(modes)

    @dbus.service.method(RIG, in_signature="s", out_signature="")
    def SetPortal(self, state):
        """"screencast" (as started), "bare" (a portal without ScreenCast) or "none" (no
        portal on the bus at all)."""
        if state not in ("screencast", "bare", "none"):
            raise fail(INVALID, "unknown portal state %s" % state)
        if state == "none":
            self.bus.release_name(PORTAL_NAME)
        else:
            self.bus.request_name(PORTAL_NAME, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
        self.portal.present = state

    @dbus.service.method(RIG, in_signature="", out_signature="u")
    def EndStreams(self):
        """Ends every started portal session as the compositor would: mutter stops its
        screen cast, so the PipeWire stream goes, and the session emits Closed. Returns
        how many ended."""
        started = [s for s in self.portal.sessions.values() if s.mutter is not None]
        for session in started:
            session.end(emit=True)
        return dbus.UInt32(len(started))

    @dbus.service.method(RIG, in_signature="", out_signature="s")
    def LastOptions(self):
        return json.dumps(self.portal.last, sort_keys=True)

    @dbus.service.method(RIG, in_signature="", out_signature="u")
    def StartCount(self):
        return dbus.UInt32(self.portal.start_count)

    @dbus.service.method(RIG, in_signature="", out_signature="s")
    def ReadbackStreams(self):
        """One line "NODE X Y W H" a monitor: its stream and its place on the desktop."""
        return "\n".join(" ".join(str(v) for v in s) for s in self.streams)

    @dbus.service.method(RIG, in_signature="dd", out_signature="")
    def MovePointer(self, x, y):
        """Move the pointer to that desktop position (the monitor it lies on: mutter takes
        the position relative to one monitor's stream)."""
        inside = [i for i, (_, sx, sy, w, h) in enumerate(self.streams)
                  if sx <= x < sx + w and sy <= y < sy + h]
        i = inside[0] if inside else 0
        _, sx, sy, _, _ = self.streams[i]
        self.rd.NotifyPointerMotionAbsolute(self.sc.stream_paths[i], dbus.Double(x - sx),
                                            dbus.Double(y - sy),
                                            dbus_interface=MUTTER_RD + ".Session")

    @dbus.service.method(RIG, in_signature="dd", out_signature="")
    def Click(self, x, y):
        """Move the pointer there and click the left button."""
        self.MovePointer(x, y)
        for down in (True, False):
            self.rd.NotifyPointerButton(dbus.Int32(0x110), dbus.Boolean(down),  # BTN_LEFT
                                        dbus_interface=MUTTER_RD + ".Session")

    @dbus.service.method(RIG, in_signature="i", out_signature="")
    def Scroll(self, steps):
        """Turn the wheel by that many notches where the pointer is (negative: away from
        the user)."""
        self.rd.NotifyPointerAxisDiscrete(dbus.UInt32(0), dbus.Int32(steps),  # vertical
                                          dbus_interface=MUTTER_RD + ".Session")

    @dbus.service.method(RIG, in_signature="u", out_signature="")
    def PressKey(self, keysym):
        """Press and release the key of that X keysym, for the window with the focus."""
        for down in (True, False):
            self.rd.NotifyKeyboardKeysym(dbus.UInt32(keysym), dbus.Boolean(down),
                                         dbus_interface=MUTTER_RD + ".Session")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cursor-modes", type=int, default=7,
                        help="AvailableCursorModes: 7 as GNOME and KDE, 3 as wlroots")
    args = parser.parse_args(argv)
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    loop = GLib.MainLoop()
    portal = Portal(bus, args.cursor_modes)
    rig = TestRig(bus, portal, loop)
    timed_out = []
    GLib.timeout_add_seconds(10, lambda: timed_out.append(True))
    while rig.streams is None and not timed_out:
        loop.get_context().iteration(True)
    if rig.streams is None:
        print("portal_double: mutter gave the rig no stream", file=sys.stderr)
        return 1
    # mutter 43 hands the first event of a new remote desktop pointer or keyboard to no
    # client: spend them here, so that every MovePointer and PressKey of a test arrives.
    rig.MovePointer(0, 0)
    rig.PressKey(0xFFE1)  # Shift_L
    for name in (RIG_NAME, PORTAL_NAME):
        owned = bus.request_name(name, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
        if owned != dbus.bus.REQUEST_NAME_REPLY_PRIMARY_OWNER:
            print("portal_double: %s is taken" % name, file=sys.stderr)
            return 1
    for signum in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signum, loop.quit)
    loop.run()
    for session in list(portal.sessions.values()):
        session.end(emit=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
