#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The real program on a Wayland desktop (the rig: headless mutter, PipeWire, the portal
# double), reading the screen through the ScreenCast portal. It asks for monitors with
# cursor metadata and a remembered permission, and keeps the restore token; the view
# magnifies the pixels around the pointer, follows it and blanks over itself; a stream
# that ends is started again once (with the token), then the view says so; a refused
# request, a missing portal and a portal without pointer positions each give one line on
# stderr and the words in the view; the wheel and the keypad zoom; when the compositor
# dies the program saves its settings and exits with status 1 and one line.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=rig.bash
source "$here/rig.bash"
TEST_NAME=ocula_wayland
OCULA_BIN=${OCULA_BIN:-${OCULA_BUILD_DIR:-$here/../../build}/src/ocula}
VIEWCHECK=$here/../e2e/viewcheck.py
[[ -x $OCULA_BIN ]] || rig_fail "$OCULA_BIN is not an executable"

runs=0
OCULA_PID=
OCULA_NAME=
OCULA_CONFIG=
OCULA_STATE=
client=()

_ocula_window() {
    local shot=$RIG_DIR/$OCULA_NAME.ppm found
    rig_grab "$shot" && found=$(rig_ctl window "$shot") || return 1
    # The same place twice running: the window has its final size.
    [[ $found == "${client[*]}" ]] && return 0
    read -r -a client <<<"$found"
    return 1
}

# ocula_start [STATE_DIR]: a run with a fresh configuration and the given (or a fresh)
# state directory, in a working directory of its own (where a core file would land); waits
# for its window and sets client to its client area "X Y W H".
ocula_start() {
    runs=$((runs + 1))
    OCULA_NAME=ocula$runs
    OCULA_CONFIG=$RIG_DIR/$OCULA_NAME/config
    OCULA_STATE=${1:-$RIG_DIR/$OCULA_NAME/state}
    mkdir -p "$OCULA_CONFIG" "$OCULA_STATE" "$RIG_DIR/$OCULA_NAME/cwd"
    rig_spawn "$OCULA_NAME" env -C "$RIG_DIR/$OCULA_NAME/cwd" XDG_CONFIG_HOME="$OCULA_CONFIG" \
        XDG_STATE_HOME="$OCULA_STATE" "$OCULA_BIN"
    OCULA_PID=$RIG_SPAWNED
    client=()
    rig_wait 15 _ocula_window || rig_fail "$OCULA_NAME showed no window"
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

rig_start --cursor-modes 7
rig_show_pattern

# --- A first run: what it asks for, what it keeps, what it shows.
pointer 900 500
ocula_start
rig_wait 10 _start_count 1 || rig_fail "Ocula did not start a screen cast"
for want in "cursor_mode 4" "persist_mode 2" "multiple true"; do
    read -r key value <<<"$want"
    [[ $(option SelectSources "$key") == "$value" ]] ||
        rig_fail "SelectSources sent $key $(option SelectSources "$key"), not $value"
done
(($(option SelectSources types) & 1)) || rig_fail "SelectSources did not ask for monitors"
[[ $(option SelectSources restore_token) == null ]] || rig_fail "a first run sent a restore token"
parent=$(option parent_window)
[[ -z $parent || $parent == wayland:* ]] || rig_fail "Start was sent the parent window $parent"
expect view --factor 6 --centre 900 500
expect bars --factor 6
token=$(option restore_token_issued)
token_file=$OCULA_STATE/ocula/screencast-token
[[ $(cat "$token_file" 2>/dev/null) == "$token" ]] ||
    rig_fail "the token file holds \"$(cat "$token_file" 2>/dev/null)\", not $token"

pointer 1000 600
expect view --factor 6 --centre 1000 600
# Over its own view the view blanks; off it, it samples again.
read -r vx vy _ _ <<<"$(view_rect)"
pointer $((vx + 150)) $((vy + 120))
expect blank
pointer 880 480
expect view --factor 6 --centre 880 480

# --- The stream ends: one new Start, with the kept token; at the second end, the words.
[[ $(rig_ctl EndStreams) == 1 ]] || rig_fail "Ocula's screen cast was not running"
rig_wait 10 _start_count 2 || rig_fail "Ocula did not start again after the stream ended"
[[ $(option SelectSources restore_token) == "$token" ]] ||
    rig_fail "the second Start sent the token $(option SelectSources restore_token), not $token"
pointer 860 460
expect view --factor 6 --centre 860 460
token=$(option restore_token_issued)
[[ $(cat "$token_file") == "$token" ]] || rig_fail "the new token $token was not kept"
rig_ctl EndStreams >/dev/null
said "screen cast ended"
_start_count 2 || rig_fail "Ocula started a third screen cast"
ocula_stop

# --- The next run sends the kept token.
ocula_start "$OCULA_STATE"
rig_wait 10 _start_count 3 || rig_fail "the second run did not start a screen cast"
[[ $(option SelectSources restore_token) == "$token" ]] ||
    rig_fail "the second run sent the token $(option SelectSources restore_token), not $token"
[[ $(option restore_token_known) == true ]] || rig_fail "the token sent is not one the portal gave"
ocula_stop

# --- When it cannot work: each failure once on stderr and in the view.
rig_ctl SetNextResponse 1
ocula_start
said "refused"
ocula_stop
for portal in none bare; do
    rig_ctl SetPortal "$portal"
    ocula_start
    said "no ScreenCast portal"
    ocula_stop
done
rig_ctl SetPortal screencast
rig_ctl SetCursorModes 3
ocula_start
said "no pointer position"
[[ $(option SelectSources cursor_mode) != 4 ]] ||
    rig_fail "Ocula asked for cursor metadata where the portal offers none"
ocula_stop
rig_ctl SetCursorModes 7

# --- Zoom by wheel (backward zooms in) over the info bar and by the keypad, then the
# compositor dies: the settings are saved, one line, status 1, no core file.
pointer 900 500
ocula_start
expect view --factor 6 --centre 900 500
pointer $((client[0] + 220)) $((client[1] + client[3] - 11))
rig_ctl Scroll 1
pointer 900 500
expect view --factor 7 --centre 900 500
rig_ctl PressKey 0xffab # KP_Add
expect view --factor 8 --centre 900 500
mutter=$(rig_pid mutter)
kill -KILL "$mutter"
wait "$mutter" 2>/dev/null
rig_reap "$OCULA_PID"
status=$?
((status != 124)) || rig_fail "Ocula still runs 5 s after the compositor died"
((status == 1)) || rig_fail "Ocula exited with status $status when the compositor died"
if [[ $(_ocula_lines) != 1 ]] || ! _ocula_wrote "lost the connection"; then
    rig_fail "stderr after the compositor died: $(cat "$RIG_DIR/$OCULA_NAME.err")"
fi
hive=$OCULA_CONFIG/ocula/HKEY_CURRENT_USER.conf
grep -qx '"Factor"=8' "$hive" || rig_fail "the factor 8 was not saved:"$'\n'"$(cat "$hive")"
[[ -z $(ls -A "$RIG_DIR/$OCULA_NAME/cwd") ]] ||
    rig_fail "Ocula left $(ls -A "$RIG_DIR/$OCULA_NAME/cwd") in its working directory"

echo "$TEST_NAME: PASS"
