#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# Ocula on a Wayland desktop of two monitors side by side (1280 x 720 and, to its right,
# 1024 x 768), read through the portal as one stream a monitor: the view magnifies the
# right pixels around the pointer on the second monitor and across the edge between the
# two, and the typed coordinates and the X box count pixels of the whole desktop. Started
# as a desktop starts it, in a session that has Xwayland too, its window is an X11 one,
# whose id it gives the portal as the permission dialog's parent; its view is the same.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=rig.bash
source "$here/rig.bash"
TEST_NAME=ocula_two_monitors
# shellcheck source=ocula.bash
source "$here/ocula.bash"

rig_start --second-monitor 1024x768 --xwayland
[[ $RIG_SCREENS == "0 0 1280 720;1280 0 1024 768" ]] ||
    rig_fail "mutter laid the monitors out as $RIG_SCREENS"
rig_show_pattern

# Ocula's window opens on the monitor with the pointer: the first.
pointer 900 500
ocula_start
expect view --factor 6 --centre 900 500
pointer 1800 400
expect view --factor 6 --centre 1800 400
# The X box follows the pointer on a timer of its own: its digest once it stays the same.
x_box=
_x_box_steady() {
    local was=$x_box
    x_box=$(box "$(box_x)")
    [[ $x_box == "$was" ]]
}
rig_wait 10 _x_box_steady || rig_fail "the X box does not settle"
# Across the edge: the view's left half from the first monitor, its right from the second,
# with the pointer on either side of it.
for x in 1280 1279; do
    pointer "$x" 300
    expect view --factor 6 --centre "$x" 300
done

# Frozen on the first monitor (Esc), X and Y typed as a place on the second. The markers
# keep their screen columns and rows, which now lie left of and above the view: both are
# at its first column and row.
pointer 620 300
expect view --factor 6 --centre 620 300
rig_ctl PressKey 0xff1b # Escape
rig_ctl Click $((client[0] + $(box_x) + 16)) $((client[1] + client[3] - 10))
for key in 0xff57 0xff08 0xff08 0xff08 0x31 0x38 0x30 0x30 0xff0d 0xff09 0x34 0x30 0x30 0xff0d; do
    rig_ctl PressKey "$key" # End, BackSpace x 3, 1800, Return, Tab, 400 (all selected), Return
done
pointer 900 500
expect view --factor 6 --centre 1800 400 --cols 0 --rows 0
_x_box_is() { [[ $(box "$(box_x)") == "$x_box" ]]; }
rig_wait 5 _x_box_is || rig_fail "the X box shows another number for 1800"
ocula_stop

pointer 900 500
ocula_start --x11
[[ $(option parent_window) =~ ^x11:([0-9a-f]+)$ ]] && ((16#${BASH_REMATCH[1]} == X_ID)) ||
    rig_fail "Start was sent the parent window $(option parent_window), not Ocula's X window $X_ID"
pointer 1800 400
expect view --factor 6 --centre 1800 400
ocula_stop

echo "$TEST_NAME: PASS"
