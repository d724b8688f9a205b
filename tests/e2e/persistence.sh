#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# Settings outlive the real program: a first run opens with the defaults, the wheel and a
# window move change the factor and the position, a SIGTERM closes the program cleanly and
# saves them into a readable hive file, and the next run opens with them. A first run on a
# desktop whose primary monitor is not at its origin opens on that monitor, wholly on it.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"

TEST_NAME=persistence
TIMEOUT=10
APP_PID=
WID=
WORK=

fail() {
    echo "$TEST_NAME: FAIL: $*"
    [[ -s $WORK/app.log ]] && sed 's/^/  app: /' "$WORK/app.log"
    exit 1
}

cleanup() {
    if [[ -n $APP_PID ]]; then
        kill "$APP_PID" 2>/dev/null
        wait "$APP_PID" 2>/dev/null
    fi
    xvfb_stop
    [[ -n $WORK ]] && rm -rf "$WORK"
}
trap cleanup EXIT

: "${OCULA_BIN:?OCULA_BIN must name the ocula binary}"
[[ -x $OCULA_BIN ]] || fail "$OCULA_BIN is not an executable"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/ocula-persistence.XXXXXX")
CONFIG=$WORK/config
HIVE=$CONFIG/ocula/HKEY_CURRENT_USER.conf
mkdir -m 700 "$CONFIG" "$WORK/runtime" || fail "cannot make $WORK"

app_start() {
    env -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS -u QT_AUTO_SCREEN_SCALE_FACTOR \
        QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$CONFIG" XDG_RUNTIME_DIR="$WORK/runtime" \
        "$OCULA_BIN" >>"$WORK/app.log" 2>&1 &
    APP_PID=$!
}

# --all: without it xdotool takes a window that meets any one of the conditions.
_window_titled() {
    WID=$(xdotool search --all --onlyvisible --pid "$APP_PID" --name "^Ocula \\( x $1 \\)\$" 2>/dev/null |
        head -n 1)
    [[ -n $WID ]]
}

# Waits for the app's window with this factor in its title; sets WID.
expect_window() {
    wait_until "$TIMEOUT" _window_titled "$1" ||
        fail "no window titled \"Ocula ( x $1 )\"; the app's windows are titled:" \
            "$(xdotool search --pid "$APP_PID" --name . getwindowname %@ 2>/dev/null)"
}

# "X Y W H" of the window as the X server has it.
geometry() {
    xwininfo -id "$WID" 2>/dev/null |
        awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
             /^ *Width:/ {w = $2} /^ *Height:/ {h = $2} END {print x, y, w, h}'
}

_geometry_is() { [[ $(geometry) == "$1" ]]; }

expect_geometry() {
    wait_until "$TIMEOUT" _geometry_is "$1" ||
        fail "the window is at \"$(geometry)\", expected \"$1\" (x y width height)"
}

_app_gone() {
    ! kill -0 "$APP_PID" 2>/dev/null || [[ $(ps -o stat= -p "$APP_PID" 2>/dev/null) == Z* ]]
}

xvfb_start 1024 768 24 || fail "Xvfb did not start"

# First run: the defaults.
app_start
expect_window 6
expect_geometry "200 200 400 420"

# Move first: the wheel's effect on the title below then also proves that the program has
# seen the move (the X server reports both on the same connection, in order).
xdotool windowmove "$WID" 100 120
expect_geometry "100 120 400 420"
xdotool mousemove --sync 300 330 click 5 click 5
expect_window 8

kill -TERM "$APP_PID"
wait_until "$TIMEOUT" _app_gone || fail "the app did not exit after SIGTERM"
wait "$APP_PID"
status=$?
APP_PID=
((status == 0)) || fail "the app exited with status $status after SIGTERM"

[[ -f $HIVE ]] || fail "no hive file $HIVE"
grep -Iq . "$HIVE" || fail "$HIVE is not text"
grep -Eq '^"Factor"=8$' "$HIVE" || fail "$HIVE does not hold \"Factor\"=8:"$'\n'"$(cat "$HIVE")"

# Second run: what the first one left.
app_start
expect_window 8
expect_geometry "100 120 400 420"
kill -TERM "$APP_PID"
wait "$APP_PID"
APP_PID=

# RandR 1.5 monitors (a name starting with * is the primary): an 800 x 600 primary right of
# a 1024 x 768 one. The server's own monitor over the whole desktop stays as a third.
xvfb_stop
xvfb_start 1824 768 24 || fail "Xvfb did not start again"
xrandr --setmonitor '*primary' 800/200x600/150+1024+0 none &&
    xrandr --setmonitor left 1024/270x768/200+0+0 none || fail "could not set up the monitors"
rm -rf "${CONFIG:?}/ocula"
app_start
expect_window 6
expect_geometry "1224 180 400 420"

echo "$TEST_NAME: PASS"
