# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# The real program on the Wayland rig, for the scripts that test it there. Source rig.bash
# first and set TEST_NAME, then:
#
#   ocula_start [--x11] [STATE_DIR]
#                             start Ocula (OCULA_BIN) and wait for its window (client);
#                             with --x11, as a desktop starts it (no QT_QPA_PLATFORM), in
#                             a rig started with --xwayland: its window is an X11 one, X_ID
#   ocula_stop                end it; fails unless it exits with status 0
#   expect CHECK ARGS...      wait until viewcheck.py CHECK holds for its window
#   pointer X Y               move the pointer to that desktop position
#   view_rect                 "X Y W H" of the view on the screen
#   said TEXT                 one line on stderr holding TEXT, and words in the view
#   option CALL [KEY]         what Ocula sent last in that portal call
#   box LEFT                  a digest of the 33 x 20 info bar box at LEFT in the window
VIEWCHECK=$RIG_HERE/../e2e/viewcheck.py
OCULA_BIN=${OCULA_BIN:-$RIG_BUILD_DIR/src/ocula}
[[ -x $OCULA_BIN ]] || rig_fail "$OCULA_BIN is not an executable"

runs=0
OCULA_PID=
OCULA_NAME=
OCULA_CONFIG=
OCULA_STATE=
X_ID=
client=()

_ocula_window() {
    local shot=$RIG_DIR/$OCULA_NAME.ppm found
    rig_grab "$shot" && found=$(rig_ctl window "$shot") || return 1
    # The same place twice running: the window has its final size.
    [[ $found == "${client[*]}" ]] && return 0
    read -r -a client <<<"$found"
    return 1
}

# The X11 window of the program's pid, and its client area from the X server (Xwayland
# places it where the compositor shows it; the frame around it is the compositor's).
_ocula_x11_window() {
    local found
    X_ID=$(xdotool search --onlyvisible --pid "$OCULA_PID" 2>/dev/null | head -n 1)
    [[ -n $X_ID ]] || return 1
    found=$(xwininfo -id "$X_ID" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ \
        {y = $NF} /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}')
    [[ $found == "${client[*]}" ]] && return 0
    read -r -a client <<<"$found"
    return 1
}

# ocula_start [--x11] [STATE_DIR]: a run with a fresh configuration and the given (or a
# fresh) state directory, in a working directory of its own (where a core file would land);
# waits for its window and sets client to its client area "X Y W H".
ocula_start() {
    local window=_ocula_window platform=()
    if [[ ${1:-} == --x11 ]]; then
        window=_ocula_x11_window platform=(-u QT_QPA_PLATFORM)
        shift
    fi
    runs=$((runs + 1))
    OCULA_NAME=ocula$runs
    OCULA_CONFIG=$RIG_DIR/$OCULA_NAME/config
    OCULA_STATE=${1:-$RIG_DIR/$OCULA_NAME/state}
    mkdir -p "$OCULA_CONFIG" "$OCULA_STATE" "$RIG_DIR/$OCULA_NAME/cwd"
    rig_spawn "$OCULA_NAME" env "${platform[@]}" -C "$RIG_DIR/$OCULA_NAME/cwd" \
        XDG_CONFIG_HOME="$OCULA_CONFIG" XDG_STATE_HOME="$OCULA_STATE" "$OCULA_BIN"
    OCULA_PID=$RIG_SPAWNED
    client=()
    rig_wait 15 "$window" || rig_fail "$OCULA_NAME showed no window"
}

ocula_stop() {
    rig_end "$OCULA_PID"
    local status=$?
    ((status == 0)) || rig_fail "$OCULA_NAME exited with status $status on SIGTERM"
}

_viewcheck() {
    rig_grab "$RIG_DIR/check.ppm" &&
        "$RIG_PYTHON" "$VIEWCHECK" "$@" --shot "$RIG_DIR/check.ppm" --client "${client[@]}"
}

# expect CHECK ARGS...: wait until viewcheck.py CHECK holds for the window; on timeout
# print why and keep the screenshot.
expect() {
    _viewcheck "$@" -q >/dev/null && return 0
    if ! rig_wait 10 _viewcheck "$@" -q; then
        _viewcheck "$@"
        if [[ -n ${OCULA_BUILD_DIR:-} ]]; then
            mkdir -p "$OCULA_BUILD_DIR/Testing"
            cp "$RIG_DIR/check.ppm" "$OCULA_BUILD_DIR/Testing/$TEST_NAME-failed.ppm"
        fi
        rig_fail "$OCULA_NAME: $* does not hold"
    fi
}

pointer() {
    rig_ctl MovePointer "$1" "$2"
}

# The view's rectangle on the screen at 96 dpi (as viewcheck.py lays the window out).
view_rect() {
    echo $((client[0] + 33)) $((client[1] + 33)) $((client[2] - 36)) $((client[3] - 22 - 36))
}

_ocula_lines() { grep -c '^ocula: ' "$RIG_DIR/$OCULA_NAME.err"; }
_ocula_wrote() { grep -q "^ocula: .*$1" "$RIG_DIR/$OCULA_NAME.err"; }
_view_text() {
    local rect
    read -r -a rect <<<"$(view_rect)"
    rig_grab "$RIG_DIR/check.ppm" && rig_ctl text "$RIG_DIR/check.ppm" --rect "${rect[@]}" -q
}

# said TEXT: one line on stderr, starting "ocula: " and holding TEXT, and words in the view.
said() {
    rig_wait 10 _ocula_wrote "$1" ||
        rig_fail "$OCULA_NAME wrote no \"$1\" on stderr: $(cat "$RIG_DIR/$OCULA_NAME.err")"
    [[ $(_ocula_lines) == 1 ]] ||
        rig_fail "$OCULA_NAME wrote more than one line: $(cat "$RIG_DIR/$OCULA_NAME.err")"
    rig_wait 10 _view_text || rig_fail "$OCULA_NAME: the view shows no words for \"$1\""
}

# option CALL [KEY]: what Ocula sent last in that call (or, without KEY, the double's
# record of that name), as the shell writes it: strings bare, true, false, null, numbers.
option() {
    rig_ctl LastOptions | "$RIG_PYTHON" -c '
import json, sys
value = json.load(sys.stdin).get(sys.argv[1])
if len(sys.argv) > 2:
    value = (value or {}).get(sys.argv[2])
print(value if isinstance(value, str) else json.dumps(value))' "$@"
}

_start_count() { [[ $(rig_ctl StartCount) == "$1" ]]; }

# The X box of the coordinates panel: the panel is 118 pixels wide, flush right in the
# 22-pixel info bar; the X box spans panel pixels 20..53 and is 20 pixels high, 2 below the
# bar's top (at 96 dpi).
box_x() { echo $((client[2] - 118 + 20)); }

box() {
    rig_grab "$RIG_DIR/box.ppm" &&
        convert "$RIG_DIR/box.ppm" -crop "33x20+$((client[0] + $1))+$((client[1] + client[3] - 20))" \
            +repage -depth 8 rgb:- | md5sum
}
