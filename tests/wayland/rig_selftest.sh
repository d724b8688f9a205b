#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The Wayland rig checks itself before Ocula is tested on it: the pattern client's pixels
# land exactly on the screen; the portal double answers a client as the desktop's portal
# does (requests and sessions at the paths the caller's tokens name, a stream with its
# geometry, a new restore token per Start, a PipeWire fd that reads the screen); the test
# controls work (MovePointer moves the compositor's pointer, Scroll turns the wheel,
# PressKey types, SetNextResponse refuses, EndStreams ends the stream and closes the
# session, SetPortal and SetCursorModes take the portal away or narrow it); and every
# process the rig started is gone afterwards.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=rig.bash
source "$here/rig.bash"
TEST_NAME=wayland_rig_selftest

started=$SECONDS
rig_start --cursor-modes 7
rig_show_pattern
echo "$TEST_NAME: rig up with the pattern shown after $((SECONDS - started)) s"

# A framed window over it (as Ocula's will be): rigctl window finds its client area,
# which shows the window's pixels exactly, under a title bar with its title written.
_framed() {
    rig_grab "$RIG_DIR/framed.ppm" &&
        read -r x y w h < <(rig_ctl window "$RIG_DIR/framed.ppm") && [[ "$w $h" == "300 200" ]]
}
rig_spawn framed "$RIG_PATTERN_WINDOW" --window 300 200
framed=$RIG_SPAWNED
rig_wait 10 _framed || rig_fail "no 300 x 200 window found: $(rig_ctl window "$RIG_DIR/framed.ppm")"
rig_ctl pattern "$RIG_DIR/framed.ppm" --rect "$x" "$y" 300 200 --origin "$x" "$y" ||
    rig_fail "the framed window at ($x, $y) does not show its pixels there"
rig_ctl text "$RIG_DIR/framed.ppm" --rect "$x" $((y - 30)) 300 30 ||
    rig_fail "no title above the framed window at ($x, $y)"
rig_end "$framed"
rig_wait 5 _rig_pattern_shown || rig_fail "the framed window did not go"

out=$(rig_ctl cast --grab "$RIG_DIR/cast.ppm") || rig_fail "cast failed:"$'\n'"$out"
for line in "response CreateSession 0" "response SelectSources 0" "response Start 0"; do
    grep -qx "$line" <<<"$out" || rig_fail "no \"$line\" in:"$'\n'"$out"
done
grep -Eqx "stream [0-9]+ 0 0 $RIG_WIDTH $RIG_HEIGHT" <<<"$out" ||
    rig_fail "no stream of the whole monitor in:"$'\n'"$out"
rig_ctl pattern "$RIG_DIR/cast.ppm" || rig_fail "the portal's stream does not show the pattern"
token=$(sed -n 's/^restore_token //p' <<<"$out")
options=$(rig_ctl LastOptions)
for want in '"cursor_mode": 4' '"persist_mode": 2' '"restore_token_known": false'; do
    grep -qF "$want" <<<"$options" || rig_fail "LastOptions lacks $want: $options"
done

# The token of the last Start brings the stream back; the next Start gives a new token.
out=$(rig_ctl cast --restore-token "$token") || rig_fail "cast with a token failed:"$'\n'"$out"
grep -qF '"restore_token_known": true' <<<"$(rig_ctl LastOptions)" ||
    rig_fail "the double did not know its own token $token"
[[ $(sed -n 's/^restore_token //p' <<<"$out") != "$token" ]] ||
    rig_fail "Start gave the same token twice"
[[ $(rig_ctl StartCount) == 2 ]] || rig_fail "StartCount is $(rig_ctl StartCount), not 2"

# The compositor's pointer follows MovePointer: the pattern client sees it arrive.
for at in "321 123" "1000 600"; do
    read -r px py <<<"$at"
    rig_ctl MovePointer "$px" "$py"
    rig_wait 5 grep -qx "pointer $at" "$RIG_DIR/pattern.log" ||
        rig_fail "the pointer did not reach ($at)"
done

# Wheel turns reach the window under the pointer, keys the focused one: KP_Add arrives as
# Qt's plus key (Qt 6.4 on Wayland leaves out the keypad modifier).
rig_ctl Scroll -1
rig_wait 5 grep -qx "wheel 120" "$RIG_DIR/pattern.log" || rig_fail "the wheel turn did not arrive"
rig_ctl PressKey 0xffab
rig_wait 5 grep -q "^key 2b " "$RIG_DIR/pattern.log" || rig_fail "the key press did not arrive"

for refusal in 1 2; do
    rig_ctl SetNextResponse "$refusal"
    out=$(rig_ctl cast)
    status=$?
    if ((status != 3)) || ! grep -qx "response Start $refusal" <<<"$out"; then
        rig_fail "SetNextResponse $refusal: status $status,"$'\n'"$out"
    fi
done

# A stream that ends: the node goes and the client hears Closed on its session.
rig_spawn holder "$RIG_PYTHON" "$here/rigctl.py" cast --hold
holder=$RIG_SPAWNED
rig_wait 10 grep -q '^restore_token' "$RIG_DIR/holder.log" || rig_fail "the held cast did not start"
node=$(awk '/^stream/ {print $2}' "$RIG_DIR/holder.log")
rig_wait 5 rig_node "$node" || rig_fail "the held stream's node $node is not there"
[[ $(rig_ctl EndStreams) == 1 ]] || rig_fail "EndStreams did not end the one started session"
rig_wait 5 grep -qx closed "$RIG_DIR/holder.log" || rig_fail "the session was not closed"
_node_gone() { ! rig_node "$node"; }
rig_wait 5 _node_gone || rig_fail "the node $node outlived EndStreams"
rig_reap "$holder" || rig_fail "the held cast exited with status $?"

# No portal at all, a portal without ScreenCast, a portal without cursor metadata.
for state in none bare; do
    rig_ctl SetPortal "$state"
    out=$(rig_ctl cast | tail -n 1)
    [[ $out == "error org.freedesktop.DBus.Error."* ]] || rig_fail "SetPortal $state: $out"
done
rig_ctl SetPortal screencast
rig_ctl SetCursorModes 3
[[ $(rig_ctl cast | tail -n 1) == "error org.freedesktop.portal.Error.InvalidArgument" ]] ||
    rig_fail "cursor_mode 4 was accepted with AvailableCursorModes 3"
rig_ctl cast --cursor-mode 2 >/dev/null ||
    rig_fail "cursor_mode 2 was refused with AvailableCursorModes 3"

pids=("${RIG_PIDS[@]}")
rig_stop
for pid in "${pids[@]}"; do
    ! rig_alive "$pid" || { echo "$TEST_NAME: FAIL: process $pid outlived rig_stop"; exit 1; }
done
echo "$TEST_NAME: PASS in $((SECONDS - started)) s"
