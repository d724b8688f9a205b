#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# A large view over a still picture, the pointer moving a few pixels at a time: the view
# moves what it showed and paints only what comes into view, and every pixel is right,
# the grid's and the marker lines' included, in every direction.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"

TEST_NAME=moves
e2e_init
xvfb_start 1280 1024 24 || fail "Xvfb did not start"
make_root_pattern || fail "could not paint the pattern on the root window"

# A window of 1000 x 560 pixels at the top-left corner (sizes in twips), at factor 4: a
# view of more than 300 000 pixels, large enough to be moved rather than painted.
config=$(mktemp -d "$E2E_TMP/config.XXXXXX")
mkdir -p "$config/ocula"
printf '[Software\\Tarnwick\\Ocula]\n"Version"=30\n' >"$config/ocula/HKEY_LOCAL_MACHINE.conf"
printf '[Software\\Tarnwick\\Ocula]\n"MainLeft"=0\n"MainTop"=0\n"MainWidth"=%d\n"MainHeight"=%d\n[Software\\Tarnwick\\Ocula\\Options]\n"Factor"=4\n' \
    $((1000 * 15)) $((560 * 15)) >"$config/ocula/HKEY_CURRENT_USER.conf"

# The pointer stays below the window, so that the view never shows itself.
pointer 600 850
OCULA_FRAME_COUNT=1 app_start "$config"
read -r win_x win_y win_w _ <<<"$(app_client)"
far=$(((win_w - 32 - 5) / 4))
expect view --factor 4 --centre 600 850

# Marker 0's line to source column 100, across the middle of the view (a Ctrl-click on
# the top bar's mark): what a move would bring from under it is painted instead.
pointer $((win_x + 31 + 2 + 4 * 100)) $((win_y + 1 + 20))
xdotool keydown ctrl click 1 keyup ctrl
pointer 600 850
expect view --factor 4 --centre 600 850 --cols "400,$((far * 4))"

# Right and down, left, up, back: small steps, one of them straight to the left (which the
# view paints whole) and one straight down.
for step in "603 852" "606 854" "609 856" "607 856" "605 856" "605 859" "602 855" "598 851" \
    "596 849" "600 850"; do
    read -r x y <<<"$step"
    pointer "$x" "$y"
    expect view --factor 4 --centre "$x" "$y" --cols "400,$((far * 4))"
done

app_stop
moved=$(sed -n 's/^ocula frames: .* moved: \([0-9]*\)$/\1/p' "$E2E_TMP/app.log")
[[ -n $moved ]] || fail "the app reported no frame count: $(cat "$E2E_TMP/app.log")"
((moved > 0)) || fail "no frame was moved: $(cat "$E2E_TMP/app.log")"
echo "$TEST_NAME: PASS ($moved frames moved)"
