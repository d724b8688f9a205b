# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# A private Wayland desktop for end-to-end tests: its own XDG_RUNTIME_DIR and session bus,
# PipeWire with WirePlumber, a headless mutter with a 1280 x 720 monitor (and a second one
# if asked), and the ScreenCast portal double (portal_double.py) on that bus. Source this
# file, then:
#
#   rig_start [--cursor-modes N] [--second-monitor WxH] [--xwayland]
#                                 start it all (N: the portal's AvailableCursorModes, 7 by
#                                 default) and wait until each part is ready; exports
#                                 XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS, WAYLAND_DISPLAY
#                                 and QT_QPA_PLATFORM=wayland, drops DISPLAY (with
#                                 --xwayland, mutter's Xwayland is DISPLAY, with its
#                                 XAUTHORITY), and installs the traps that call rig_stop. RIG_DIR is the scratch
#                                 directory (removed by rig_stop); RIG_SCREENS the monitors
#                                 as mutter lays them out ("X Y W H;X Y W H", the first
#                                 1280 x 720 at (0, 0), a second one to its right), RIG_WIDTH
#                                 x RIG_HEIGHT the box around them all
#   rig_stop                      end every process the rig started, newest first, by its
#                                 pid (TERM, then KILL after 3 s); safe to call twice
#   rig_spawn NAME COMMAND...     run COMMAND in the background, its stdout in
#                                 $RIG_DIR/NAME.log and its stderr in NAME.err; rig_stop
#                                 ends it. Sets RIG_SPAWNED
#   rig_end PID                   end one process now (TERM, then KILL), returns its status
#   rig_reap PID [TIMEOUT]        wait (5 s by default) for the process to exit by itself
#                                 and return its status; 124 if it still runs
#   rig_pid NAME                  print the pid of the running process spawned as NAME
#                                 (dbus, pipewire, wireplumber, mutter, portal, pattern...)
#   rig_alive PID                 the process still runs (and is no zombie)
#   rig_ctl ARGS...               rigctl.py: the double's control methods, e.g.
#                                 rig_ctl MovePointer 300 200
#   rig_grab FILE                 one frame of the desktop, read from the rig's own streams
#                                 (one a monitor), as FILE (.ppm, as viewcheck.py --shot
#                                 reads; or .png); black where no monitor is
#   rig_show_pattern              show the coordinate pattern of the whole desktop on every
#                                 monitor (the pattern_window client) and wait until the
#                                 screen shows it
#   rig_wait TIMEOUT COMMAND...   rerun COMMAND until it succeeds; fails on timeout
#   rig_node NODE                 PipeWire has a node of that id now
#   rig_fail MESSAGE              print MESSAGE and the rig's logs, exit 1
#
# Set TEST_NAME before rig_fail is used. RIG_PATTERN_WINDOW names the pattern client
# (default: the one in $OCULA_BUILD_DIR, else in build/ of the source tree); with
# --window W H it shows an ordinary framed window instead.

RIG_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# The distribution's interpreter: python3-dbus and python3-gi are installed for it, not
# for a python3 that another installation may put first in PATH.
RIG_PYTHON=${RIG_PYTHON:-/usr/bin/python3}
RIG_WIDTH=1280
RIG_HEIGHT=720
RIG_DIR=
RIG_PIDS=()
RIG_NAMES=()
RIG_SPAWNED=
RIG_NODES=()
RIG_SCREENS=
RIG_WATCHDOG=
RIG_BUILD_DIR=${OCULA_BUILD_DIR:-$RIG_HERE/../../build}
RIG_PATTERN_WINDOW=${RIG_PATTERN_WINDOW:-$RIG_BUILD_DIR/tests/wayland/ocula_pattern_window}

rig_wait() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

rig_alive() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]
}

rig_fail() {
    echo "${TEST_NAME:-rig}: FAIL: $*"
    if [[ -n $RIG_DIR ]]; then
        local log
        for log in "$RIG_DIR"/*.log "$RIG_DIR"/*.err; do
            [[ -s $log ]] || continue
            echo "--- ${log##*/} (last lines)"
            tail -n 15 "$log"
        done
    fi
    exit 1
}

rig_spawn() {
    local name=$1
    shift
    : >>"$RIG_DIR/$name.log"
    "$@" >>"$RIG_DIR/$name.log" 2>>"$RIG_DIR/$name.err" &
    RIG_SPAWNED=$!
    RIG_PIDS+=("$RIG_SPAWNED")
    RIG_NAMES+=("$name")
    echo "$RIG_SPAWNED" >>"$RIG_DIR/pids"
}

_rig_forget() {
    local i
    for i in "${!RIG_PIDS[@]}"; do
        [[ ${RIG_PIDS[i]} == "$1" ]] && unset 'RIG_PIDS[i]' 'RIG_NAMES[i]'
    done
}

_rig_gone() { ! rig_alive "$1"; }

rig_reap() {
    local pid=$1
    rig_wait "${2:-5}" _rig_gone "$pid" || return 124
    _rig_forget "$pid"
    wait "$pid"
}

rig_end() {
    local pid=$1 n
    _rig_forget "$pid"
    kill "$pid" 2>/dev/null
    for ((n = 0; n < 60; n++)); do
        rig_alive "$pid" || break
        sleep 0.05
    done
    rig_alive "$pid" && kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

rig_pid() {
    local i
    for i in "${!RIG_NAMES[@]}"; do
        [[ ${RIG_NAMES[i]} == "$1" ]] && echo "${RIG_PIDS[i]}"
    done
}

rig_stop() {
    local pids=("${RIG_PIDS[@]}") i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        rig_end "${pids[i]}"
    done
    RIG_PIDS=()
    RIG_NAMES=()
    if [[ -n $RIG_WATCHDOG ]]; then
        kill "$RIG_WATCHDOG" 2>/dev/null
        wait "$RIG_WATCHDOG" 2>/dev/null
        RIG_WATCHDOG=
    fi
    if [[ -n $RIG_DIR ]]; then
        rm -rf "$RIG_DIR"
        RIG_DIR=
    fi
    return 0
}

# Waits for COMMAND while the process PID (named NAME) runs.
_rig_ready() {
    local name=$1 pid=$2 timeout=$3
    shift 3
    local deadline=$((SECONDS + timeout))
    until "$@" >/dev/null 2>&1; do
        rig_alive "$pid" || rig_fail "$name exited while starting"
        ((SECONDS < deadline)) || rig_fail "$name was not ready after $timeout s"
        sleep 0.05
    done
}

_rig_owned() {
    local name
    for name in "$@"; do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner "string:$name" | grep -q 'boolean true' || return 1
    done
}

rig_node() {
    # pw-cli info answers 0 for an unknown id as well.
    pw-cli ls Node 2>/dev/null | grep -Eq "^[[:space:]]*id $1,"
}

_rig_wireplumber() {
    pw-cli ls Client | grep -q 'application.name = "WirePlumber"'
}

_rig_bus_address() {
    [[ -s $RIG_DIR/bus.address ]]
}

_rig_x11_display() {
    DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$RIG_DIR/mutter.err")
    XAUTHORITY=$(echo "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.*)
    [[ -n $DISPLAY && -f $XAUTHORITY ]] && DISPLAY=$DISPLAY XAUTHORITY=$XAUTHORITY xwininfo -root
}

# mutter's Xwayland (a child of the mutter PID) as DISPLAY. rig_stop ends it by its pid too,
# after mutter: ended first, it takes mutter down before mutter removes its X11 sockets.
_rig_xwayland() {
    _rig_ready Xwayland "$1" 10 _rig_x11_display
    export DISPLAY XAUTHORITY
    local pid last=$((${#RIG_PIDS[@]} - 1))
    pid=$(ps -o pid= -o comm= --ppid "$1" | awk '$2 == "Xwayland" {print $1}')
    [[ -n $pid ]] || rig_fail "mutter runs no Xwayland"
    RIG_PIDS=("${RIG_PIDS[@]:0:last}" "$pid" "$1")
    RIG_NAMES=("${RIG_NAMES[@]:0:last}" xwayland mutter)
    echo "$pid" >>"$RIG_DIR/pids"
}

rig_start() {
    local cursor_modes=7 monitors=("--virtual-monitor" "1280x720") x11=--no-x11
    while (($#)); do
        case $1 in
        --cursor-modes) cursor_modes=$2 && shift ;;
        --second-monitor) monitors+=("--virtual-monitor" "$2") && shift ;;
        --xwayland) x11= ;;
        *) rig_fail "rig_start: unknown option $1" ;;
        esac
        shift
    done
    RIG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/ocula-rig.XXXXXX")
    trap rig_stop EXIT
    # Let a killed run clean up as well (the EXIT trap does not run on a signal).
    trap 'exit 1' INT TERM HUP PIPE
    mkdir -m 700 "$RIG_DIR/runtime"
    mkdir -p "$RIG_DIR/home"/{config,state,data,cache}
    export XDG_RUNTIME_DIR=$RIG_DIR/runtime
    # Nothing the rig runs may touch the user's own configuration or state.
    export XDG_CONFIG_HOME=$RIG_DIR/home/config XDG_STATE_HOME=$RIG_DIR/home/state
    export XDG_DATA_HOME=$RIG_DIR/home/data XDG_CACHE_HOME=$RIG_DIR/home/cache
    unset DISPLAY XAUTHORITY WAYLAND_DISPLAY WAYLAND_SOCKET XDG_SESSION_TYPE XDG_CURRENT_DESKTOP
    # Qt clients at scale 1 with Qt's own window frame, whatever the calling session uses.
    unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_AUTO_SCREEN_SCALE_FACTOR QT_FONT_DPI \
        QT_WAYLAND_DECORATION QT_WAYLAND_DISABLE_WINDOWDECORATION
    : >"$RIG_DIR/pids"

    # Should this shell die without its traps, the watchdog ends what the rig started.
    local parent=$$
    (
        trap - EXIT INT TERM HUP PIPE
        while kill -0 "$parent" 2>/dev/null; do sleep 1; done
        xargs -r kill -KILL <"$RIG_DIR/pids" 2>/dev/null
        rm -rf "$RIG_DIR"
    ) >/dev/null 2>&1 &
    RIG_WATCHDOG=$!

    rig_spawn dbus dbus-daemon --config-file="$RIG_HERE/session-bus.xml" --nofork \
        --print-address=3 3>"$RIG_DIR/bus.address"
    _rig_ready dbus-daemon "$RIG_SPAWNED" 5 _rig_bus_address
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$RIG_DIR/bus.address")
    export DBUS_SESSION_BUS_ADDRESS

    rig_spawn pipewire pipewire
    _rig_ready pipewire "$RIG_SPAWNED" 10 pw-cli info 0
    rig_spawn wireplumber wireplumber
    _rig_ready wireplumber "$RIG_SPAWNED" 10 _rig_wireplumber

    rig_spawn mutter mutter --headless "${monitors[@]}" --wayland $x11 \
        --wayland-display=wayland-rig
    _rig_ready mutter "$RIG_SPAWNED" 20 _rig_owned org.gnome.Mutter.ScreenCast \
        org.gnome.Mutter.RemoteDesktop org.gnome.Mutter.DisplayConfig
    [[ -z $x11 ]] && _rig_xwayland "$RIG_SPAWNED"
    _rig_ready mutter "$RIG_SPAWNED" 5 test -S "$XDG_RUNTIME_DIR/wayland-rig"
    export WAYLAND_DISPLAY=wayland-rig QT_QPA_PLATFORM=wayland

    rig_spawn portal "$RIG_PYTHON" "$RIG_HERE/portal_double.py" --cursor-modes "$cursor_modes"
    _rig_ready portal_double "$RIG_SPAWNED" 15 _rig_owned org.freedesktop.portal.Desktop \
        org.ocula.TestRig
    local streams node x y w h
    streams=$(rig_ctl ReadbackStreams) || rig_fail "no readback streams"
    RIG_NODES=() RIG_SCREENS='' RIG_WIDTH=0 RIG_HEIGHT=0
    while read -r node x y w h; do
        RIG_NODES+=("$node")
        RIG_SCREENS+=${RIG_SCREENS:+;}"$x $y $w $h"
        ((x + w > RIG_WIDTH)) && RIG_WIDTH=$((x + w))
        ((y + h > RIG_HEIGHT)) && RIG_HEIGHT=$((y + h))
    done <<<"$streams"
    export RIG_SCREENS
    ((${#RIG_NODES[@]} == ${#monitors[@]} / 2)) ||
        rig_fail "mutter streams ${#RIG_NODES[@]} monitors, not $((${#monitors[@]} / 2))"
}

rig_ctl() {
    "$RIG_PYTHON" "$RIG_HERE/rigctl.py" "$@"
}

# Every monitor's picture has its size and is not all black: a buffer that only moves the
# pointer can come with no pixels, which gst flags corrupted or passes on as a black
# picture (the rig's screen is never all black once a client shows).
_rig_grabbed() {
    local i screen size
    for i in "${!RIG_NODES[@]}"; do
        read -r -a screen <<<"$(cut -d';' -f$((i + 1)) <<<"$RIG_SCREENS")"
        size=$((screen[2] * screen[3] * 3))
        [[ $(stat -c %s "$RIG_DIR/grab$i.rgb" 2>/dev/null) == "$size" ]] &&
            ! cmp -s -n "$size" "$RIG_DIR/grab$i.rgb" /dev/zero || return 1
    done
}

rig_grab() {
    local out=$1 try i screen pipeline=()
    for i in "${!RIG_NODES[@]}"; do
        read -r -a screen <<<"$(cut -d';' -f$((i + 1)) <<<"$RIG_SCREENS")"
        pipeline+=(pipewiresrc path="${RIG_NODES[i]}" num-buffers=1 ! videoconvert !
            "video/x-raw,format=RGB,width=${screen[2]},height=${screen[3]}" !
            filesink location="$RIG_DIR/grab$i.rgb")
    done
    for try in 1 2 3; do
        rm -f "$RIG_DIR"/grab*.rgb
        timeout 10 gst-launch-1.0 -q "${pipeline[@]}" >>"$RIG_DIR/grab.log" 2>&1 && _rig_grabbed &&
            break
        ((try < 3)) || return 1
    done
    local ppm=$out
    [[ $out == *.png ]] && ppm=$RIG_DIR/grab.ppm
    if ((${#RIG_NODES[@]} == 1)); then
        { printf 'P6\n%d %d\n255\n' "$RIG_WIDTH" "$RIG_HEIGHT" && cat "$RIG_DIR/grab0.rgb"; } >"$ppm"
    else
        rig_ctl desktop "$ppm" "$RIG_DIR"/grab*.rgb || return 1
    fi
    [[ $ppm == "$out" ]] || convert "$ppm" "$out"
}

_rig_pattern_shown() {
    rig_grab "$RIG_DIR/pattern.ppm" && rig_ctl pattern "$RIG_DIR/pattern.ppm" -q
}

rig_show_pattern() {
    [[ -x $RIG_PATTERN_WINDOW ]] || rig_fail "no pattern client at $RIG_PATTERN_WINDOW"
    rig_spawn pattern "$RIG_PATTERN_WINDOW"
    if ! rig_wait 15 _rig_pattern_shown; then
        rig_ctl pattern "$RIG_DIR/pattern.ppm"
        rig_fail "the screen does not show the pattern"
    fi
}
