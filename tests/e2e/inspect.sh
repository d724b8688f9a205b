#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The pixel inspector of the real program over the coordinate pattern: K and Shift+K put
# the centre's colour on the clipboard as text, V the view exactly as the screen shows it
# and Shift+V the sampled pixels at 1:1 (both as PNG); over a frozen view K takes the pixel
# under the pointer; Save View As... from the popup menu writes the view as shown into the
# Pictures folder under its offered name.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"
TEST_NAME=inspect

e2e_init
xvfb_start 1024 768 24 || fail "Xvfb did not start"
make_root_pattern || fail "could not paint the pattern on the root window"
mkdir -p "$E2E_TMP/home/Pictures"
APP_ENV=(HOME="$E2E_TMP/home")
app_start
read -r win_x win_y _ _ <<<"$(app_client)"
pointer 760 500
expect view --factor 6 --centre 760 500
# No window manager: give the window the input focus; the view holds the keyboard focus.
xdotool windowfocus --sync "$APP_WIN" || fail "could not focus the window"

clip_text() { xclip -selection clipboard -o 2>/dev/null; }
_clip_is() { [[ $(clip_text) == "$1" ]]; }
expect_clip() {
    wait_until "$E2E_TIMEOUT" _clip_is "$1" || fail "$2: the clipboard holds \"$(clip_text)\", not \"$1\""
}
_clip_png() { xclip -selection clipboard -t image/png -o >"$1" 2>/dev/null && [[ -s $1 ]]; }
# The clipboard's PNG, once it is a new one (the previous copy is removed first).
clip_png() {
    rm -f "$1"
    wait_until "$E2E_TIMEOUT" _clip_png "$1" || fail "$2: no PNG on the clipboard"
}
rgb_of() { # RRGGBB -> rgb(R, G, B)
    printf 'rgb(%d, %d, %d)' "0x${1:0:2}" "0x${1:2:2}" "0x${1:4:2}"
}

centre=$(python3 "$here/../support/make_pattern.py" --pixel 760 500)
xdotool key k
expect_clip "#$centre" K
xdotool key shift+k
expect_clip "$(rgb_of "$centre")" Shift+K

xdotool key v
clip_png "$E2E_TMP/view.png" V
expect copy --image "$E2E_TMP/view.png"
xdotool key shift+v
clip_png "$E2E_TMP/pixels.png" Shift+V
expect copy --image "$E2E_TMP/pixels.png" --pixels --factor 6 --centre 760 500

# Frozen, the pointer over the view picks its pixel: 150 x 120 view pixels in, at x6, from
# a rectangle that starts 30 columns and 30 rows before the centre.
xdotool key Escape
pointer $((win_x + 33 + 150)) $((win_y + 33 + 120))
under=$(python3 "$here/../support/make_pattern.py" --pixel $((760 - 30 + 25)) $((500 - 30 + 20)))
xdotool key k
expect_clip "#$under" "K over a frozen view"

# Save View As... is the third item from the bottom; the dialog offers the Pictures folder
# and the name from the centre and the factor, which Return takes.
xdotool click 3
wait_until "$E2E_TIMEOUT" popup_geometry >/dev/null || fail "no popup menu on a right click"
xdotool key Up Up Up Return
_save_dialog() { dialog=$(xdotool search --onlyvisible --name '^Save View As$' 2>/dev/null | head -n 1) && [[ -n $dialog ]]; }
wait_until "$E2E_TIMEOUT" _save_dialog || fail "the save dialog did not open"
xdotool windowfocus --sync "$dialog" || fail "could not focus the save dialog"
xdotool key Return
saved=$E2E_TMP/home/Pictures/ocula-760-500-x6.png
wait_until "$E2E_TIMEOUT" test -s "$saved" || fail "no $saved: $(ls "$E2E_TMP/home/Pictures")"
wait_until "$E2E_TIMEOUT" eval '! _save_dialog' || fail "the save dialog did not close"
expect copy --image "$saved"
[[ -z $(find "$E2E_TMP/home" -name '*.png.*') ]] || fail "a temporary file was left behind"
echo "inspect: pass"
