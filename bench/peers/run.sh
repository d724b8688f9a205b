#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# Ocula against other magnifiers, each a whole program under Xvfb with no window manager:
# the same busy picture on the screen, the same view sizes and factors, the same pointer
# path (moved every 20 ms, never over the magnifier's window), and one side-by-side table.
#
#   bench/peers/run.sh OCULA_BINARY [QTFLOOR_BINARY]
#
# Ocula also runs with the pointer at rest ("still", printed after the table): the cost of a
# tick that finds the same picture and draws nothing. With QTFLOOR_BINARY (built from
# qtfloor.cpp), the cost of a Qt program that only shows a label and ticks every 50 ms is
# printed too: what any Qt Widgets magnifier pays before it does any work.
#
# Environment: PEERS_SECONDS (10) measured seconds per run, PEERS_RUNS (3) runs per
# program and case (the table shows medians), PEERS_PROGRAMS ("ocula kmag xzoom") the
# programs to try; kmag and xzoom are skipped when they are not installed (Debian packages
# of those names). Needs python3-xlib for the measuring driver (driver.py).
#
# The two cases:
#   small  view 400 x 420 at factor 6, on a 1920 x 1080 x 24 screen; every window at the
#          top-left corner, the pointer in (700..1800, 150..950)
#   large  view 1900 x 1000 at factor 2, on a 1952 x 2200 x 24 screen: taller than 1080 so
#          that the pointer can move below the window (520..1430, 1400..1900) with the
#          magnified area wholly on the picture and off every window; wider than 1920 so
#          that Ocula's window, 1936 pixels wide around that view, is wholly on the screen
# Windows (client areas) for those views, small / large: Ocula 436 x 478 / 1936 x 1058
# (6540 x 7170 / 29040 x 15870 twips; bars, markers and grid on, as on a first run), kmag
# 414 x 467 / 1914 x 1047 (menu bar off, tool bar and scroll bars on), xzoom 400 x 420 /
# 1900 x 1000 (all view). The table's "view seen" column checks them on the screen.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=tests/support/xvfb.sh source-path=SCRIPTDIR/../..
source "$root/tests/support/xvfb.sh"

OCULA_BIN=${1:?usage: run.sh OCULA_BINARY [QTFLOOR_BINARY]}
QTFLOOR_BIN=${2:-}
SECONDS_PER_RUN=${PEERS_SECONDS:-10}
RUNS=${PEERS_RUNS:-3}
PROGRAMS=${PEERS_PROGRAMS:-ocula kmag xzoom}
# The system's interpreter: python3-xlib is a Debian package, invisible to other Pythons.
PY=/usr/bin/python3

die() {
    echo "bench-peers: $*" >&2
    exit 1
}

[[ -x $OCULA_BIN ]] || die "$OCULA_BIN is not an executable"
OCULA_BIN=$(cd "$(dirname "$OCULA_BIN")" && pwd)/$(basename "$OCULA_BIN")
[[ -z $QTFLOOR_BIN || -x $QTFLOOR_BIN ]] || die "$QTFLOOR_BIN is not an executable"
"$PY" -c 'import Xlib.ext.damage, Xlib.ext.xtest' 2>/dev/null ||
    die "the driver needs python3-xlib (apt-get install python3-xlib)"
[[ $SECONDS_PER_RUN =~ ^[0-9]+([.][0-9]+)?$ ]] || die "PEERS_SECONDS must be a number"
[[ $RUNS =~ ^[1-9][0-9]*$ ]] || die "PEERS_RUNS must be a positive whole number"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/ocula-peers.XXXXXX")
mkdir -m 700 "$WORK/runtime"
DRIVER_PID=
cleanup() {
    # The driver ends its magnifier itself, also when it is killed.
    if [[ -n $DRIVER_PID ]]; then
        kill "$DRIVER_PID" 2>/dev/null
        wait "$DRIVER_PID" 2>/dev/null
    fi
    xvfb_stop
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP PIPE

available=()
for p in $PROGRAMS; do
    case $p in
    ocula) available+=(ocula) ;;
    kmag | xzoom)
        if command -v "$p" >/dev/null; then
            available+=("$p")
        else
            echo "bench-peers: $p is not installed (apt-get install $p); skipped" >&2
        fi
        ;;
    *) die "unknown program $p" ;;
    esac
done

# Per case: screen W H, view W H, factor, pointer rectangle, xzoom's fixed source corner.
declare -A CASE=(
    [small]="1920 1080  400 420  6  700 150 1800 950  1200 500"
    [large]="1952 2200  1900 1000  2  520 1400 1430 1900  500 1400"
)

# Ocula: the first-run marker (so the defaults are not written over) and the window's
# client rectangle in twips (15 per pixel). Around the view: a 1-pixel control border, the
# 30-pixel ruler bars and a 2-pixel view frame (36 pixels across, 36 down) and the
# 22-pixel info bar below.
ocula_config() { # DIR VIEW_W VIEW_H FACTOR
    mkdir -p "$1/ocula"
    printf '[Software\\Tarnwick\\Ocula]\n"Version"=30\n' >"$1/ocula/HKEY_LOCAL_MACHINE.conf"
    printf '[Software\\Tarnwick\\Ocula]\n"MainLeft"=0\n"MainTop"=0\n"MainWidth"=%d\n"MainHeight"=%d\n[Software\\Tarnwick\\Ocula\\Options]\n"Factor"=%d\n' \
        $((($2 + 36) * 15)) $((($3 + 58) * 15)) "$4" >"$1/ocula/HKEY_CURRENT_USER.conf"
}

# kmag: menu bar off; its tool bar (33 pixels) and the view's scroll bars (14 pixels)
# stay. Zoom index 4 is 1:2, 8 is 1:6; the refresh stays at its default (Medium).
kmag_config() { # DIR VIEW_W VIEW_H FACTOR SCREEN_W SCREEN_H
    local zoom
    case $4 in
    2) zoom=4 ;;
    6) zoom=8 ;;
    *) die "no kmag zoom index for factor $4" ;;
    esac
    mkdir -p "$1"
    cat >"$1/kmagrc" <<EOF
[General Options]
Mode=followmouse
ZoomIndex=$zoom
Geometry=$(($2 + 14)),$(($3 + 47))
[MainWindow]
MenuBar=Disabled
$5x$6 screen: Width=$(($2 + 14))
$5x$6 screen: Height=$(($3 + 47))
$5x$6 screen: XPosition=0
$5x$6 screen: YPosition=0
EOF
}

# The environment every measured program gets: no scaling, no session manager, X11, and
# caches of the bench's own; each run adds XDG_CONFIG_HOME. A command, not a function, so
# that a program started in the background is the process whose id $! gives.
BENCH_ENV=(env -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS -u QT_AUTO_SCREEN_SCALE_FACTOR
    -u SESSION_MANAGER QT_QPA_PLATFORM=xcb XDG_CACHE_HOME="$WORK/cache"
    XDG_DATA_HOME="$WORK/data" XDG_RUNTIME_DIR="$WORK/runtime")

# One run of one program: prints the driver's JSON line with the case and program added.
run_one() { # PROGRAM CASE SECONDS
    local prog=$1 name=$2 secs=$3 sw sh vw vh f px0 py0 px1 py1 sx sy
    read -r sw sh vw vh f px0 py0 px1 py1 sx sy <<<"${CASE[$name]}"
    local cfg
    cfg=$(mktemp -d "$WORK/config.XXXXXX")
    local window view keys="" cmd=()
    case $prog in
    ocula | still)
        ocula_config "$cfg" "$vw" "$vh" "$f"
        window="0 0 $((vw + 36)) $((vh + 58))"
        view="33 33 $vw $vh"
        cmd=(env OCULA_FRAME_COUNT=1 "$OCULA_BIN")
        ;;
    kmag)
        kmag_config "$cfg" "$vw" "$vh" "$f" "$sw" "$sh"
        window="0 0 $((vw + 14)) $((vh + 47))"
        view="0 33 $vw $vh"
        cmd=(kmag)
        ;;
    xzoom)
        # xzoom magnifies a fixed area (it does not follow the pointer): the middle of the
        # pointer's rectangle. Two presses of d step its delay from 200 to 50 ms, the
        # refresh period of the others.
        window="0 0 $vw $vh"
        view="0 0 $vw $vh"
        keys="d d"
        cmd=(xzoom -mag "$f" -geometry "${vw}x${vh}+0+0" -source "+$sx+$sy")
        ;;
    idle)
        window="0 0 1 1"
        view="0 0 1 1"
        cmd=(sleep 3600)
        ;;
    esac
    local extra=()
    [[ -n $keys ]] && extra+=(--keys "$keys")
    [[ $prog == idle ]] && extra+=(--idle)
    [[ $prog == still ]] && extra+=(--still)
    # shellcheck disable=SC2086 # the rectangles are lists of numbers on purpose
    "${BENCH_ENV[@]}" XDG_CONFIG_HOME="$cfg" "$PY" "$here/driver.py" --xvfb-pid "$XVFB_PID" \
        --window $window --view $view --path "$px0" "$py0" "$px1" "$py1" --duration "$secs" \
        --log "$WORK/$prog.log" "${extra[@]}" -- "${cmd[@]}" >"$WORK/one.json" &
    DRIVER_PID=$!
    wait "$DRIVER_PID"
    local status=$?
    DRIVER_PID=
    rm -rf "$cfg"
    if ((status != 0)); then
        echo "bench-peers: the run of $prog ($name) failed; its output:" >&2
        tail -n 20 "$WORK/$prog.log" >&2
        return 1
    fi
    "$PY" -c 'import json, sys
r = json.load(open(sys.argv[1]))
r.update(program=sys.argv[2], case=sys.argv[3])
print(json.dumps(r))' "$WORK/one.json" "$prog" "$name"
}

# The Qt floor: as many ticks as a measured run has 50 ms periods, in the small case's
# screen with the pointer off its window; prints the program's "qtfloor: ..." line.
FLOOR_TICKS=$(awk -v s="$SECONDS_PER_RUN" 'BEGIN { printf "%d", s * 20 + 0.5 }')
if [[ -n $QTFLOOR_BIN ]] && ((FLOOR_TICKS <= 20)); then
    echo "bench-peers: the Qt floor needs PEERS_SECONDS above 1; skipped" >&2
    QTFLOOR_BIN=
fi
run_floor() {
    local cfg
    cfg=$(mktemp -d "$WORK/config.XXXXXX")
    "${BENCH_ENV[@]}" XDG_CONFIG_HOME="$cfg" timeout 60 "$QTFLOOR_BIN" "$FLOOR_TICKS" \
        2>>"$WORK/qtfloor.log" | grep '^qtfloor: '
    local status=${PIPESTATUS[0]}
    rm -rf "$cfg"
    return "$status"
}

results=$WORK/results.jsonl
floor=$WORK/floor.txt
: >"$floor"
started=$(date -u '+%Y-%m-%d %H:%M UTC')
load=$(cut -d' ' -f1-3 /proc/loadavg)
for name in small large; do
    read -r sw sh _ <<<"${CASE[$name]}"
    xvfb_start "$sw" "$sh" 24 || die "Xvfb did not start"
    "$PY" "$here/picture.py" "$sw" "$sh" "$WORK/picture.ppm" || die "could not write the picture"
    # display exits with 1 even when it has set the background, so check the screen.
    display -window root "$WORK/picture.ppm" >/dev/null 2>&1
    for xy in "0 0" "$((sw - 1)) $((sh - 1))" "$((sw / 2)) $((sh / 2))"; do
        # shellcheck disable=SC2086
        [[ $(root_pixel $xy) == $("$PY" "$here/picture.py" --pixel $xy) ]] ||
            die "the root window does not show the picture at $xy"
    done
    echo "bench-peers: $name case: ${sw}x${sh} screen, $RUNS x ${SECONDS_PER_RUN} s per program" >&2
    # Once each, unmeasured: their files in the page cache, their caches written. A peer
    # that fails is left out of this case; Ocula must not fail.
    progs=()
    for prog in "${available[@]}"; do
        if run_one "$prog" "$name" 1 >/dev/null; then
            progs+=("$prog")
        else
            [[ $prog == ocula ]] && die "Ocula failed"
            echo "bench-peers: $prog is left out of the $name case" >&2
        fi
    done
    for ((r = 1; r <= RUNS; r++)); do
        # Interleaved, so that a slow moment of the machine does not fall on one program.
        # still: Ocula with the pointer at rest on the still picture, every tick after the
        # first unchanged (the small case only: the cost is the same at any size).
        measured=(idle "${progs[@]}")
        [[ $name == small && " ${progs[*]} " == *" ocula "* ]] && measured+=(still)
        [[ $name == small && -n $QTFLOOR_BIN ]] && measured+=(qtfloor)
        for prog in "${measured[@]}"; do
            if [[ $prog == qtfloor ]]; then
                run_floor >>"$floor" || echo "bench-peers: one run of the Qt floor failed" >&2
                continue
            fi
            if ! run_one "$prog" "$name" "$SECONDS_PER_RUN" >>"$results"; then
                [[ $prog == ocula || $prog == idle || $prog == still ]] &&
                    die "the run of $prog failed"
                echo "bench-peers: one run of $prog ($name) is missing from the table" >&2
            fi
        done
    done
    xvfb_stop
done

versions=$WORK/versions.txt
{
    echo "date: $started; load average at start: $load"
    echo "machine: $(nproc) CPUs, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1), Linux $(uname -r)"
    echo "ocula: $(git -C "$root" describe --always --dirty 2>/dev/null || echo unknown) ($OCULA_BIN)"
    echo "windows, small / large: ocula 436x478 / 1936x1058, kmag 414x467 / 1914x1047," \
        "xzoom 400x420 / 1900x1000; screens 1920x1080 / 1952x2200 (the pointer below the window)"
    for pkg in kmag xzoom xvfb; do
        v=$(dpkg-query -W -f='${Version}' "$pkg" 2>/dev/null) && echo "$pkg: $v (Debian package)"
    done
} >"$versions"
"$PY" "$here/summary.py" --runs "$RUNS" --seconds "$SECONDS_PER_RUN" --info "$versions" \
    --floor "$floor" "$results"
