#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
"""Prints the side-by-side table of bench/peers/run.sh from the driver's JSON lines.

    summary.py --runs N --seconds S --info FILE [--floor FILE] RESULTS.jsonl

Every figure is the median over the runs of one program in one case; each run's figure
is computed first (a run's CPU divided by that run's frames), then the median is taken.
"""
import argparse
import json
import statistics
import sys
from collections import defaultdict

CASES = {"small": "400x420 x6", "large": "1900x1000 x2"}


def frames_of(r):
    # Ocula counts the views it draws; the others' frames are counted on the X server.
    return r["self_frames"] if r["self_frames"] is not None else r["frames"]


def per_frame_ms(seconds, frames):
    return seconds * 1000 / frames if frames > 0 else float("nan")


def median(values):
    values = [v for v in values if v == v]
    return statistics.median(values) if values else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, required=True)
    ap.add_argument("--seconds", type=float, required=True)
    ap.add_argument("--info", required=True)
    ap.add_argument("--floor", help='the Qt floor\'s "qtfloor: WHOLE STEADY START" lines')
    ap.add_argument("results")
    args = ap.parse_args()

    runs = defaultdict(list)
    with open(args.results) as f:
        for line in f:
            r = json.loads(line)
            runs[(r["program"], r["case"])].append(r)
    programs = []
    for prog, _ in runs:
        if prog not in ("idle", "still") and prog not in programs:
            programs.append(prog)

    # The X server's own cost of the pointer moves and the frame counting, per second.
    idle_rate = {case: median([r["xserver_cpu_s"] / r["run_s"] for r in runs[("idle", case)]])
                 for case in CASES}

    stats = {}
    for (prog, case), rs in runs.items():
        if prog in ("idle", "still"):
            continue
        stats[(prog, case)] = {
            "own": median([per_frame_ms(r["cpu_s"], frames_of(r)) for r in rs]),
            "steady": median([per_frame_ms(r["steady_cpu_s"], r["steady_frames"]) for r in rs]),
            "xs": median([per_frame_ms(r["xserver_cpu_s"], frames_of(r)) for r in rs]),
            "xs_net": median([per_frame_ms(r["xserver_cpu_s"] - idle_rate[case] * r["run_s"],
                                           frames_of(r)) for r in rs]),
            "fps": median([r["steady_frames"] / args.seconds for r in rs]),
            "frames": median([frames_of(r) for r in rs]),
            "rss": median([r["hwm_kb"] / 1024 for r in rs]),
            "start": median([r["startup_s"] * 1000 for r in rs]),
            "view": statistics.mode([r["view"] for r in rs]),
            "damage": median([r["frames"] for r in rs]),
            "self": median([r["self_frames"] for r in rs]) if rs[0]["self_frames"] is not None
            else None,
        }

    def cell(prog, case, key, unit, digits):
        s = stats.get((prog, case))
        if s is None:
            return "-"
        value = s[key]
        text = "%.*f %s" % (digits, value, unit)
        base = stats.get(("ocula", case), {}).get(key)
        if prog != "ocula" and base:
            text += " (%.1fx)" % (value / base)
        return text

    out = sys.stdout
    with open(args.info) as f:
        out.write(f.read())
    out.write("medians of %d run(s) of %g s each; ratios are to Ocula (above 1: costs more)\n\n"
              % (args.runs, args.seconds))

    header = ["program", "own CPU/frame, view %s" % CASES["small"],
              "own CPU/frame, view %s" % CASES["large"], "X server CPU/frame (large)",
              "peak RSS (large)", "start to first frame (small)"]
    rows = [[prog,
             cell(prog, "small", "own", "ms", 3),
             cell(prog, "large", "own", "ms", 3),
             cell(prog, "large", "xs", "ms", 3),
             cell(prog, "large", "rss", "MB", 1),
             cell(prog, "small", "start", "ms", 0)] for prog in programs]
    table(out, header, rows)

    out.write("\nIn detail (own CPU/frame: the whole run's CPU, start-up included, over its "
              "frames; steady: from the first frame on;\nX server net: less its cost with no "
              "magnifier running, %.2f / %.2f ms per second small / large)\n\n"
              % (idle_rate["small"] * 1000, idle_rate["large"] * 1000))
    header = ["case", "program", "view seen", "frames/s", "own CPU/frame", "steady", "X server",
              "X server net", "peak RSS", "start"]
    rows = []
    for case in CASES:
        for prog in programs:
            s = stats.get((prog, case))
            if s is None:
                continue
            rows.append([CASES[case], prog, s["view"], "%.1f" % s["fps"],
                         cell(prog, case, "own", "ms", 3), cell(prog, case, "steady", "ms", 3),
                         cell(prog, case, "xs", "ms", 3), cell(prog, case, "xs_net", "ms", 3),
                         "%.1f MB" % s["rss"], "%.0f ms" % s["start"]])
    table(out, header, rows)

    still = [r for r in runs.get(("still", "small"), []) if r["self_passes"]]
    if still:
        # Per 50 ms refresh period: at rest Ocula samples less often than that, so the
        # cost of the time is what counts, not the cost of a pass.
        per_period = median([r["steady_cpu_s"] * 1000 / (r["steady_s"] / 0.05) for r in still])
        per_pass = median([r["steady_cpu_s"] * 1000 / max(1, r["self_passes"] - 1)
                           for r in still])
        out.write("\nOcula with the pointer at rest on a still picture, view %s: %.3f ms own CPU "
                  "per 50 ms refresh period (median; %.3f ms per pass that looked; %d passes, %d "
                  "frames drawn in the first run's %.0f s)\n"
                  % (CASES["small"], per_period, per_pass, still[0]["self_passes"],
                     still[0]["self_frames"], still[0]["steady_s"]))

    floor = []
    if args.floor:
        with open(args.floor) as f:
            floor = [list(map(float, line.split()[1:4])) for line in f
                     if line.startswith("qtfloor: ")]
    if floor:
        whole, steady, start = (median([r[i] for r in floor]) for i in range(3))
        out.write("\nA Qt program that shows one label in a window of the small case's size and "
                  "ticks every 50 ms doing nothing\n(bench/peers/qtfloor.cpp), what any Qt "
                  "Widgets magnifier pays first: %.3f ms own CPU per tick over the run, %.3f ms\n"
                  "steady, %.0f ms of CPU up to its first tick (medians of %d runs)\n"
                  % (whole, steady, start, len(floor)))

    checks = ["%s: %d counted, %d drawn" % (CASES[case], s["damage"], s["self"])
              for case in CASES
              for s in [stats.get(("ocula", case))] if s is not None and s["self"] is not None]
    out.write("""
How it was measured:
- own CPU: utime + stime of all the program's threads (their scheduler run times, to the
  nanosecond), read just before the program is sent SIGTERM
- frames: Ocula counts the views it draws (OCULA_FRAME_COUNT=1); kmag's and xzoom's are
  counted on the X server, not assumed from a refresh rate: DAMAGE on the root window, each
  burst of drawing over a point inside the view is one frame. The same count for Ocula,
  against its own: %s
- start to first frame: exec to the first drawing that puts magnified picture pixels at
  that point (event-driven, about 1 ms resolution)
- peak RSS: VmHWM; view seen: the magnified area found on the screen at the end (a grid or
  marker line on its edge can take 1 pixel)
- the pointer moves every 20 ms; kmag refreshes at its default rate (Medium); xzoom does not
  follow the pointer, it magnifies a fixed area inside the pointer's rectangle, and its
  delay is set to 50 ms (keys d d) after its first frame, like Ocula's 50 ms tick
""" % ("; ".join(checks) or "not available"))


def table(out, header, rows):
    widths = [max(len(str(x)) for x in col) for col in zip(header, *rows)]
    line = "  ".join(h.ljust(w) if i < 2 else h.rjust(w) for i, (h, w) in
                     enumerate(zip(header, widths)))
    out.write(line + "\n" + "-" * len(line) + "\n")
    for row in rows:
        out.write("  ".join(str(x).ljust(w) if i < 2 else str(x).rjust(w) for i, (x, w) in
                            enumerate(zip(row, widths))) + "\n")


if __name__ == "__main__":
    main()
