#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""One measured run of one magnifier under an X server that shows bench/peers/picture.py.

    driver.py --xvfb-pid PID --window X Y W H --view X Y W H --path X0 Y0 X1 Y1
              --duration S [--log FILE] [--keys KEYS] [--idle] -- COMMAND [ARGS...]

Starts COMMAND, moves the pointer every 20 ms along a fixed figure inside the path
rectangle (through XTEST, like a real mouse), and prints one JSON object:

  startup_s     exec to the first moment the view shows magnified picture pixels
  frames        views drawn from the first one seen on, counted from the X server's
                DAMAGE events: every burst of drawing that covers the probe point inside
                the view, bursts split by more than 15 ms of quiet
  cpu_s         the program's CPU time at the end (utime + stime of all its threads, from
                their scheduler run times in /proc/PID/task/*/schedstat: nanoseconds)
  cpu_stat_s    the same from /proc/PID/stat (10 ms ticks, but counts ended threads too)
  steady_cpu_s, steady_frames, steady_s   the same from the first frame (or from the keys)
                to the end, and its length: DURATION seconds
  xserver_cpu_s the X server's utime + stime over the whole run
  hwm_kb        the program's peak resident set (VmHWM)
  view          the magnified area found on the screen at the end, "W x H"
  self_frames   what the program reported itself (Ocula's "ocula frames: N"), or null
  self_passes   the redraw passes Ocula reported ("passes: M"), drawn or not, or null
  run_s, exit   exec to the end of the measurement; the exit status after SIGTERM

With --idle the command is expected to draw nothing (sleep): the run then measures the
X server's cost of the pointer moves and of the counting alone.

The window rectangle is where the program's window is expected; the view rectangle is the
part of it that should show the magnified picture. A run fails (exit 1) when the view
never shows the picture. Needs python3-xlib and the DAMAGE and XTEST extensions.
"""
import argparse
import json
import math
import os
import re
import select
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import picture  # noqa: E402

from Xlib import X, display  # noqa: E402
from Xlib.ext import damage, xtest  # noqa: E402,F401

STEP_S = 0.020
FRAME_GAP_MS = 15
STARTUP_TIMEOUT_S = 30
TICK = os.sysconf("SC_CLK_TCK")


def stat_cpu_seconds(pid):
    """utime + stime of the whole process, in the 10 ms ticks of /proc/PID/stat."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line; field 3 is the first here.
    return (int(fields[11]) + int(fields[12])) / TICK


def cpu_seconds(pid):
    """The same to the nanosecond: the scheduler's run time summed over the live threads
    (a light program uses only a few ticks in a whole run)."""
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass  # the thread ended just now
    return total / 1e9


def peak_rss_kb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return None


def pointer_at(step, path):
    """A Lissajous figure over the path rectangle: a few pixels per step, never still."""
    x0, y0, x1, y1 = path
    t = step * STEP_S
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    return (int(round(cx + (x1 - x0) / 2 * math.sin(2 * math.pi * t / 5.0))),
            int(round(cy + (y1 - y0) / 2 * math.sin(2 * math.pi * t / 3.7 + 0.5))))


class Screen:
    def __init__(self, window):
        self.d = display.Display()
        for ext in ("DAMAGE", "XTEST"):
            if not self.d.has_extension(ext):
                raise SystemExit("driver.py: the X server has no %s extension" % ext)
        self.d.damage_query_version()
        self.root = self.d.screen().root
        geo = self.root.get_geometry()
        self.width, self.height = geo.width, geo.height
        self.window = window
        # Damage on the root window reports drawing into every window on the screen.
        self.damage = self.root.damage_create(damage.DamageReportRawRectangles)
        self.damage_event = self.d.extension_event.DamageNotify

    def move(self, x, y):
        xtest.fake_input(self.d, X.MotionNotify, x=x, y=y)
        self.d.flush()

    def pixels(self, x, y, w, h):
        """Screen pixels as rows of (r, g, b); the server's 24-bit layout is BGRX."""
        raw = self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF).data
        return [[(raw[(j * w + i) * 4 + 2], raw[(j * w + i) * 4 + 1], raw[(j * w + i) * 4])
                 for i in range(w)] for j in range(h)]

    def picture_at(self, rgb):
        """The screen pixel a colour names, when it could be magnified: on the screen and
        outside the magnifier's own window (which would only show the root behind it)."""
        x, y = picture.decode(*rgb)
        wx, wy, ww, wh = self.window
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        if wx - 2 <= x < wx + ww + 2 and wy - 2 <= y < wy + wh + 2:
            return None
        if picture.rgb(x, y) != rgb:
            return None
        return x, y

    def shows_picture(self, x, y):
        """A short row of view pixels holds two horizontally neighbouring picture pixels:
        a magnified view, not a background, a cursor or the root showing through."""
        found = set()
        for rgb in self.pixels(x, y, 24, 1)[0]:
            p = self.picture_at(rgb)
            if p is not None:
                found.add(p)
        return any((px + 1, py) in found for px, py in found)

    def view_extent(self, view):
        """The size of the magnified area around the view's centre: along the middle row
        and column, the span of picture pixels with gaps (grid, marker lines) of at most
        two pixels."""
        vx, vy, vw, vh = view
        wx, wy, ww, wh = self.window
        x0, y0 = max(0, wx), max(0, wy)
        x1, y1 = min(self.width, wx + ww), min(self.height, wy + wh)
        # Above and left of the centre: the view's middle may show a magnified cursor.
        cx, cy = vx + vw // 4, vy + vh // 4

        def span(line):
            hits = [self.picture_at(rgb) is not None for rgb in line]
            first = line_start = None
            best = (0, 0)
            gap = 0
            for i, hit in enumerate(hits):
                if hit:
                    if first is None:
                        first = i
                    line_start = i
                    gap = 0
                elif first is not None:
                    gap += 1
                    if gap > 2:
                        best = max(best, (line_start - first + 1, first))
                        first = None
            if first is not None:
                best = max(best, (line_start - first + 1, first))
            return best[0]

        row = self.pixels(x0, cy, x1 - x0, 1)[0]
        col = [r[0] for r in self.pixels(cx, y0, 1, y1 - y0)]
        return span(row), span(col)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--xvfb-pid", type=int, required=True)
    ap.add_argument("--window", type=int, nargs=4, required=True)
    ap.add_argument("--view", type=int, nargs=4, required=True)
    ap.add_argument("--path", type=int, nargs=4, required=True)
    ap.add_argument("--duration", type=float, required=True)
    ap.add_argument("--log", default=os.devnull)
    ap.add_argument("--keys", default="",
                    help="xdotool key names for the program's window after its first frame")
    ap.add_argument("--idle", action="store_true",
                    help="COMMAND draws nothing: measure the pointer and the counting alone")
    ap.add_argument("--still", action="store_true",
                    help="the pointer stays where it starts: after the first frame every "
                    "tick finds the same picture")
    ap.add_argument("command", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        ap.error("no command")

    # A killed driver still ends the program it started (in the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    signal.signal(signal.SIGHUP, lambda *_: sys.exit(1))

    screen = Screen(args.window)
    vx, vy, vw, vh = args.view
    probe = (vx + vw // 4, vy + vh // 4)
    step = 0
    screen.move(*pointer_at(step, args.path))
    screen.d.sync()

    log = open(args.log, "ab")
    xcpu0 = cpu_seconds(args.xvfb_pid)
    t0 = time.monotonic()
    proc = subprocess.Popen(command, stdout=log, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
    stderr_chunks = []
    os.set_blocking(proc.stderr.fileno(), False)

    frames = 0
    last_ms = None
    first_t = first_cpu = first_frames = end_t = None
    if args.idle:
        first_t, first_cpu, first_frames, end_t = t0, 0.0, 0, t0 + args.duration
    keys_pending = bool(args.keys)
    fd = screen.d.fileno()
    try:
        while True:
            # Events first: the library may already hold some that select would not see.
            while screen.d.pending_events():
                ev = screen.d.next_event()
                if ev.type != screen.damage_event:
                    continue
                a = ev.area
                if not (a.x <= probe[0] < a.x + a.width and a.y <= probe[1] < a.y + a.height):
                    continue
                if first_t is None:
                    if not screen.shows_picture(*probe):
                        continue
                    first_t = time.monotonic()
                    end_t = first_t + args.duration
                    first_cpu = cpu_seconds(proc.pid)
                    first_frames = frames
                if last_ms is None or (ev.timestamp - last_ms) & 0xFFFFFFFF > FRAME_GAP_MS:
                    frames += 1
                last_ms = ev.timestamp
            if keys_pending and first_t is not None:
                keys_pending = False
                send_keys(proc.pid, args.keys)
                # The measured stretch starts once the keys have taken effect.
                end_t = time.monotonic() + args.duration
                first_cpu = cpu_seconds(proc.pid)
                first_frames = frames
            now = time.monotonic()
            if proc.poll() is not None:
                raise SystemExit("driver.py: %s exited early (status %s)" %
                                 (command[0], proc.returncode))
            if first_t is None and now - t0 > STARTUP_TIMEOUT_S:
                raise SystemExit("driver.py: %s never showed a magnified view" % command[0])
            if end_t is not None and now >= end_t:
                break
            next_move = t0 + (step + 1) * STEP_S
            if args.still:
                # Woken only to look at the clock and the program's output.
                next_move = min(now + 0.2, end_t) if end_t is not None else now + 0.2
            elif now >= next_move:
                step += 1
                screen.move(*pointer_at(step, args.path))
                continue
            readable, _, _ = select.select([fd, proc.stderr], [], [], next_move - now)
            if proc.stderr in readable:
                chunk = proc.stderr.read()
                if chunk:
                    stderr_chunks.append(chunk)
        cpu = cpu_seconds(proc.pid)
        cpu_stat = stat_cpu_seconds(proc.pid)
        hwm = peak_rss_kb(proc.pid)
        xcpu = cpu_seconds(args.xvfb_pid) - xcpu0
        run_s = time.monotonic() - t0
        steady_s = time.monotonic() - first_t
        extent = (0, 0) if args.idle else screen.view_extent(args.view)
    finally:
        if proc.poll() is None:
            # SIGTERM: the programs close as if their user closed them.
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
    # What is left of its output; a grandchild that kept the pipe open must not stall us.
    deadline = time.monotonic() + 2
    while time.monotonic() < deadline:
        readable, _, _ = select.select([proc.stderr], [], [], deadline - time.monotonic())
        if not readable:
            break
        chunk = proc.stderr.read()
        if not chunk:
            break
        stderr_chunks.append(chunk)
    err = b"".join(stderr_chunks)
    log.write(err)
    log.close()
    m = re.search(rb"ocula frames: (\d+)(?: passes: (\d+))?", err)
    print(json.dumps({
        "startup_s": first_t - t0,
        "run_s": run_s,
        "frames": frames,
        "self_frames": int(m.group(1)) if m else None,
        "self_passes": int(m.group(2)) if m and m.group(2) else None,
        "cpu_s": cpu,
        "cpu_stat_s": cpu_stat,
        "steady_cpu_s": cpu - first_cpu,
        "steady_frames": frames - first_frames,
        "steady_s": steady_s,
        "xserver_cpu_s": xcpu,
        "hwm_kb": hwm,
        "view": "%dx%d" % extent,
        "exit": proc.returncode,
    }))


def send_keys(pid, keys):
    """Keys through XTEST to the program's window, focused first (there is no window
    manager to do it)."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid), "--name", "."],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    wins = out.split()
    if not wins:
        raise SystemExit("driver.py: no window to send keys to")
    subprocess.run(["xdotool", "windowfocus", "--sync", wins[0], "key", "--delay", "50"] +
                   keys.split(), check=True)


if __name__ == "__main__":
    main()
