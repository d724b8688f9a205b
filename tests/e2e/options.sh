#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The options dialog driven as a user would: opened from the view's popup menu, the zoom
# factor raised with the spin arrow and the arrow colour changed, OK; the title and the
# bars change at once, and after SIGTERM and a new start the values are still there.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"
TEST_NAME=options

e2e_init
xvfb_start 1024 768 24 || fail "Xvfb did not start"
make_root_pattern || fail "could not paint the pattern on the root window"
app_start
expect_title "Ocula ( x 6 )"
read -r win_x win_y _ _ <<<"$(app_client)"
config=$APP_CONFIG

# The full colour of a top-bar arrow, at marker 0's arrow (bar column 1, row 2).
arrow_pixel() { root_pixel $((win_x + 31 + 1)) $((win_y + 1 + 2)); }
[[ $(arrow_pixel) == EFE60D ]] || fail "the first-run arrows are not yellow: $(arrow_pixel)"

options_open
dialog=$OPTIONS_WIN
dialog_client() {
    xwininfo -id "$dialog" | awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
        END {print x, y}'
}
read -r dlg_x dlg_y <<<"$(dialog_client)"

# The factor's spin arrows sit at (118, 9) and are 18 x 20; the upper one raises it.
for _ in 1 2 3; do
    pointer $((dlg_x + 118 + 9)) $((dlg_y + 9 + 4))
    xdotool click 1
done
# The arrow colour list at (69, 100): open it, one down from Yellow is Red.
pointer $((dlg_x + 69 + 30)) $((dlg_y + 100 + 10))
xdotool click 1
wait_until 5 popup_geometry >/dev/null || fail "the arrow colour list did not open"
xdotool key Down Return
wait_until 5 _no_popup || fail "the arrow colour list did not close"
xdotool key Return # the dialog's default button, OK
_dialog_gone() { ! xdotool search --name '^Options$' >/dev/null 2>&1 || ! _options_mapped; }
wait_until 5 _dialog_gone || fail "OK did not close the dialog"

expect_title "Ocula ( x 9 )"
_red() { [[ $(arrow_pixel) == EC220D ]]; }
wait_until 5 _red || fail "the arrows did not turn red: $(arrow_pixel)"

# Settings persist at shut-down only; a new start shows them.
kill -TERM "$APP_PID"
wait "$APP_PID" || fail "ocula exited with status $? on SIGTERM"
grep -q '"Factor"=9' "$config/ocula/HKEY_CURRENT_USER.conf" || fail "the factor was not saved"
grep -q '"ClrArrow"=1' "$config/ocula/HKEY_CURRENT_USER.conf" || fail "the arrow colour was not saved"
app_start "$config"
expect_title "Ocula ( x 9 )"
read -r win_x win_y _ _ <<<"$(app_client)"
wait_until 5 _red || fail "after a new start the arrows are not red: $(arrow_pixel)"
echo "options: pass"
