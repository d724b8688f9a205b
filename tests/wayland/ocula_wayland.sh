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
# shellcheck source=ocula.bash
source "$here/ocula.bash"

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
