#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The real program driven by keys and the wheel: keypad + and - and the wheel step the
# zoom factor (title and view follow), G toggles the grid, Esc freezes the view and
# Backspace releases it, and typed coordinates move a frozen view.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"
TEST_NAME=keys_wheel

e2e_init
xvfb_start 1024 768 24 || fail "Xvfb did not start"
make_root_pattern || fail "could not paint the pattern on the root window"
app_start
read -r win_x win_y win_w win_h <<<"$(app_client)"
pointer 760 500
expect view --factor 6 --centre 760 500
# No window manager: give the window the input focus; the view holds the keyboard focus.
xdotool windowfocus --sync "$APP_WIN" || fail "could not focus the window"

xdotool key KP_Add
expect_title "Ocula ( x 7 )"
expect view --factor 7 --centre 760 500
xdotool key KP_Subtract
expect_title "Ocula ( x 6 )"
expect view --factor 6 --centre 760 500

# The wheel over the info bar, away from the view: forward zooms out, backward in.
wheel() {
    pointer $((win_x + 220)) $((win_y + win_h - 11)) && xdotool click "$1"
}
wheel 4
expect_title "Ocula ( x 5 )"
pointer 760 500
expect view --factor 5 --centre 760 500
wheel 5
expect_title "Ocula ( x 6 )"
wheel 5
expect_title "Ocula ( x 7 )"
wheel 4
expect_title "Ocula ( x 6 )"
# Over the view too, which has a native window of its own.
pointer $((win_x + 33 + 150)) $((win_y + 33 + 120)) && xdotool click 5
expect_title "Ocula ( x 7 )"
xdotool click 4
expect_title "Ocula ( x 6 )"
pointer 760 500
expect view --factor 6 --centre 760 500

xdotool key g
expect view --factor 6 --centre 760 500 --no-grid
xdotool key g
expect view --factor 6 --centre 760 500

# On the view the view holds the pointer (a grab of the whole desktop's), to hear it leave;
# whenever it stops sampling, or a popup or dialog takes over, it lets go. Closing a popup
# or the about box with Esc does not freeze the view either (its key-up comes to the view).
on_view() {
    pointer $((win_x + 33 + 150 + $1)) $((win_y + 33 + 120)) && expect blank
    pointer_grabbable
    (($? == 1)) || fail "the view did not take the pointer ($2)"
}
let_go() { wait_until "$E2E_TIMEOUT" pointer_grabbable || fail "$1: the view kept the pointer grab"; }
on_view 0 Esc
xdotool key Escape
let_go "Esc (freeze)"
xdotool key BackSpace
pointer 760 500
expect view --factor 6 --centre 760 500
on_view 1 F
xdotool key f
let_go "F (fixed centre)"
xdotool key f
pointer 760 500
expect view --factor 6 --centre 760 500
# (Qt drops a move to where it last saw the pointer: each visit to the view is to a new place.)
offset=2
for entry in none About; do
    on_view $((offset++)) "popup, $entry"
    xdotool click 3
    wait_until "$E2E_TIMEOUT" popup_geometry >/dev/null || fail "no popup menu on a right click"
    if [[ $entry == About ]]; then
        xdotool key Up Return
        _about() { xdotool search --onlyvisible --name '^About' >/dev/null 2>&1; }
        wait_until "$E2E_TIMEOUT" _about || fail "the about box did not open"
        pointer_grabbable || fail "the about box is open but the pointer is held"
    fi
    xdotool key Escape
    wait_until "$E2E_TIMEOUT" _no_popup || fail "Esc did not close the popup"
    [[ $entry == About ]] && { wait_until "$E2E_TIMEOUT" eval '! _about' || fail "Esc did not close the about box"; }
    let_go "$entry closed with Esc"
    pointer 760 500
    expect view --factor 6 --centre 760 500
done
# Closing the about box left no window focused here (no window manager): a window that is
# not active takes no grab, and hears the pointer leave all the same.
pointer $((win_x + 33 + 155)) $((win_y + 33 + 120)) && expect blank
pointer_grabbable || fail "the inactive window took the pointer"
pointer 760 500
expect view --factor 6 --centre 760 500
xdotool windowfocus --sync "$APP_WIN" || fail "could not focus the window"
on_view 6 "deactivated"
xmessage -geometry "80x40+0+0" other &
other=$!
_other() { other_win=$(xdotool search --onlyvisible --class "^Xmessage$" 2>/dev/null | head -n 1) && [[ -n $other_win ]]; }
wait_until "$E2E_TIMEOUT" _other || fail "the other window did not show"
xdotool windowfocus --sync "$other_win"
let_go "another window took the focus"
kill "$other"
wait "$other" 2>/dev/null
xdotool windowfocus --sync "$APP_WIN" || fail "could not focus the window"
pointer 760 500
expect view --factor 6 --centre 760 500

# Sideways scrolling (buttons 6 and 7) is not zoom.
pointer $((win_x + 220)) $((win_y + win_h - 11)) && xdotool click 6 click 7 click 6 key KP_Add
expect_title "Ocula ( x 7 )"
xdotool key KP_Subtract
expect_title "Ocula ( x 6 )"

# The info bar's boxes show the control's values at once: the distances after a zoom (as
# a resize, which rewrites them, would show them), and the X box while the view rests
# after an arrow key has stepped the centre off the pointer and the view went back to it.
box() { # LEFT (within the info bar) -> a digest of the 33 x 20 box's pixels
    import -silent -window root -crop "33x20+$((win_x + $1))+$((win_y + win_h - 20))" +repage \
        -depth 8 rgb:- | md5sum
}
pointer 760 500
xdotool key KP_Add KP_Add
expect_title "Ocula ( x 8 )"
zoomed=$(box 39)
# One pixel wider leaves the distance as it is; G's redraw shows that the resize is in.
xdotool windowsize --sync "$APP_WIN" $((win_w + 1)) "$win_h" key g
expect view --factor 8 --centre 760 500 --no-grid
[[ $(box 39) == "$zoomed" ]] || fail "the Width box changed at a resize: stale after the zoom"
xdotool windowsize --sync "$APP_WIN" "$win_w" "$win_h" key g
expect view --factor 8 --centre 760 500
_box_is() { [[ $(box "$1") == "$2" ]]; }
xdotool key KP_Subtract KP_Subtract
expect_title "Ocula ( x 6 )"
txt_x=$((win_w - 118 + 20))
resting=$(box $txt_x)
sleep 1 # the view rests after half a second of nothing new
xdotool key Left
_box_not() { [[ $(box "$1") != "$2" ]]; }
wait_until "$E2E_TIMEOUT" _box_not $txt_x "$resting" || fail "the X box did not show the stepped centre"
wait_until "$E2E_TIMEOUT" _box_is $txt_x "$resting" || fail "the X box kept the stepped centre while the view rests"

# A window too narrow for its bars says nothing on the terminal (the next key's title
# shows that the narrow layout was handled).
xdotool windowsize --sync "$APP_WIN" 32 "$win_h" windowsize --sync "$APP_WIN" "$win_w" "$win_h" key KP_Add
expect_title "Ocula ( x 7 )"
xdotool key KP_Subtract
expect_title "Ocula ( x 6 )"
grep -q QPainter "$E2E_TMP/app.log" && fail "the app printed: $(grep QPainter "$E2E_TMP/app.log")"

# Esc freezes when it is released, not while it is held (no autorepeat here, so held
# means held). G redraws at once, so once it shows, the release has been handled before
# the pointer moves; after the move G redraws again, still around the frozen point.
xset r off
xdotool keydown Escape
pointer 850 300
expect view --factor 6 --centre 850 300
xdotool keyup Escape key g
expect view --factor 6 --centre 850 300 --no-grid
pointer 760 500 && xdotool key g
expect view --factor 6 --centre 850 300
expect view --factor 6 --centre 850 300

# Nothing redraws a frozen view but the window system's expose: after another window has
# covered part of it, the view shows the whole frozen picture again.
xmessage -geometry "200x150+$((win_x + 100))+$((win_y + 100))" cover &
cover=$!
_cover_shown() { xdotool search --onlyvisible --class "^Xmessage$" >/dev/null 2>&1; }
wait_until "$E2E_TIMEOUT" _cover_shown || fail "the covering window did not show"
read -r -a client <<<"$(app_client)"
python3 "$VIEWCHECK" view -q --client "${client[@]}" --factor 6 --centre 850 300 &&
    fail "the view still checks out under the covering window"
kill "$cover"
wait "$cover" 2>/dev/null
expect view --factor 6 --centre 850 300
xdotool key BackSpace
expect view --factor 6 --centre 760 500

# Frozen around (320, 700), X typed as 300 (letters and the minus are filtered out):
# the view centres on (300, 700), and the top markers keep their screen columns, so
# marker 0 moves 20 source columns right and marker 1 stays at the far end.
pointer 320 700
expect view --factor 6 --centre 320 700
xdotool key Escape key g
expect view --factor 6 --centre 320 700 --no-grid
xdotool key g
expect view --factor 6 --centre 320 700
# The coordinates panel is 118 pixels wide, flush right in the 22-pixel info bar; the X
# box spans panel pixels 20..53 and is 20 pixels high, 2 below the bar's top.
pointer $((win_x + win_w - 118 + 36)) $((win_y + win_h - 22 + 2 + 10)) && xdotool click 1
xdotool key ctrl+a type '3x0-0'
xdotool key Return
far=$(((win_w - 32 - 5) / 6))
expect view --factor 6 --centre 300 700 --cols "120,$((far * 6))"
expect bars --factor 6 --top "20,$far"

kill -0 "$APP_PID" 2>/dev/null || fail "the app is gone"
echo "$TEST_NAME: PASS"
