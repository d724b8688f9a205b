#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The real program on a screen that shows the coordinate pattern, first run: the view
# magnifies the pixels around the pointer and follows it, blanks while the pointer is on
# it, the ruler bars carry their division marks, a Ctrl-click on the top bar moves a
# marker, and the bar's popup menu hides and shows its markers.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"
TEST_NAME=magnifier

e2e_init
xvfb_start 1024 768 24 || fail "Xvfb did not start"
make_root_pattern || fail "could not paint the pattern on the root window"
app_start
[[ $(app_title) == "Ocula ( x 6 )" ]] || fail "the first-run title is \"$(app_title)\""
# The top bar's lines in red, the left bar's in the highlight colour: each line must show
# its own colour wherever it does not cross one of the other bar's.
app_stop
sed -i 's/^"ClrMarkT"=.*/"ClrMarkT"=255/' "$APP_CONFIG/ocula/HKEY_CURRENT_USER.conf"
app_start "$APP_CONFIG"
read -r win_x win_y win_w win_h <<<"$(app_client)"

# Pointer positions whose magnified surroundings lie wholly off the window.
pointer 760 500
expect view --factor 6 --centre 760 500
expect bars --factor 6
pointer 850 300
expect view --factor 6 --centre 850 300

# After a still second and more the view rests, sampling seldom; a warp of the pointer
# (which the server does not report as motion) still moves it.
sleep 2
pointer 800 420
expect view --factor 6 --centre 800 420

# On the view the sampling stops and the view shows only its background, also after
# further moves inside it; leaving it starts the sampling again.
pointer $((win_x + 33 + 150)) $((win_y + 33 + 120))
expect blank
pointer $((win_x + 33 + 40)) $((win_y + 33 + 250))
expect blank
pointer 760 500
expect view --factor 6 --centre 760 500

# The marker lines over the view let the mouse through: on top marker 1's line, at the
# far end (60 source columns at this size), the view blanks as well.
far=$(((win_w - 32 - 5) / 6))
pointer $((win_x + 33 + far * 6)) $((win_y + 33 + 100))
expect blank
pointer 760 500
expect view --factor 6 --centre 760 500

# Ctrl-click on the top bar's mark for source column 10: marker 0's line and arrow go
# there; marker 1 stays at the far end.
top_x=$((win_x + 31)) top_y=$((win_y + 1))
pointer $((top_x + 2 + 6 * 10)) $((top_y + 20))
xdotool keydown ctrl click 1 keyup ctrl
pointer 760 500
expect view --factor 6 --centre 760 500 --cols "60,$((far * 6))"
expect bars --factor 6 --top "10,$far"

# Ctrl with the right button on the left bar, at the mark of source row 50 plus 2 pixels
# (nearer to it than to row 51): marker 1 goes there, and no popup opens.
left_x=$((win_x + 1)) left_y=$((win_y + 31))
pointer $((left_x + 20)) $((left_y + 2 + 6 * 50 + 2))
xdotool keydown ctrl click 3 keyup ctrl
pointer 760 500
expect view --factor 6 --centre 760 500 --cols "60,$((far * 6))" --rows 0,300
expect bars --factor 6 --top "10,$far" --left 0,50
popup_geometry >/dev/null && fail "Ctrl with the right button opened a popup"

# Right-click on the top bar: the popup's one entry hides the top markers, the next
# popup's entry shows them again where they were. The left bar's markers stay.
toggle_top_markers() {
    pointer $((top_x + 200)) $((top_y + 20)) && xdotool click 3
    wait_until "$E2E_TIMEOUT" popup_geometry >/dev/null || fail "right-click on the top bar opened no popup"
    local menu
    read -r -a menu <<<"$(popup_geometry)"
    pointer $((menu[0] + menu[2] / 2)) $((menu[1] + menu[3] / 2)) && xdotool click 1
    wait_until "$E2E_TIMEOUT" _no_popup || fail "the popup did not close after its entry was chosen"
    pointer 760 500
}
toggle_top_markers
expect view --factor 6 --centre 760 500 --cols none --rows 0,300
expect bars --factor 6 --top none --left 0,50
toggle_top_markers
expect view --factor 6 --centre 760 500 --cols "60,$((far * 6))" --rows 0,300
expect bars --factor 6 --top "10,$far" --left 0,50

# Larger and back again: the view follows the window's size with every pixel right
# (the larger window reaches x = 840, so the pointer goes further right).
xdotool windowsize --sync "$APP_WIN" 640 560
pointer 950 400
expect view --factor 6 --centre 950 400 --cols "60,$((far * 6))" --rows 0,300
xdotool windowsize --sync "$APP_WIN" "$win_w" "$win_h"
pointer 760 500
expect view --factor 6 --centre 760 500 --cols "60,$((far * 6))" --rows 0,300

[[ $(app_title) == "Ocula ( x 6 )" ]] || fail "the title became \"$(app_title)\""
kill -0 "$APP_PID" 2>/dev/null || fail "the app is gone"
echo "$TEST_NAME: PASS"
