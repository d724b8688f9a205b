#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The real program at the scales a session can ask for: Qt scale factors of 1.25, 1.5 and
# 2, and Xft.dpi 144. At each, a screen pixel is exactly Factor x Factor device pixels of
# the view, the ruler bars' marks and arrows sit where the view's pixels are, and the info
# bar's captions show whole inside their boxes.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"
TEST_NAME=scale

e2e_init
xvfb_start 1280 1080 24 || fail "Xvfb did not start"
make_root_pattern || fail "could not paint the pattern on the root window"

_client_size_is() {
    local c
    read -r -a c <<<"$(app_client)"
    [[ ${c[2]} == "$1" && ${c[3]} == "$2" ]]
}

# SCALE VAR=VALUE...: the checks with the app started with those variables.
check_at() {
    local scale=$1
    shift
    APP_ENV=("$@")
    app_start
    # The first run looks as it does at 96 dpi: 400 x 420 pixels there, scaled here; moved
    # to the corner, it leaves the pointer's surroundings clear.
    local size
    size=$(python3 -c "import sys; s = float(sys.argv[1]); print(round(400 * s), round(420 * s))" "$scale")
    wait_until "$E2E_TIMEOUT" _client_size_is $size || fail "the first-run window is not $size: $(app_client)"
    xdotool windowmove --sync "$APP_WIN" 0 0
    pointer 1140 900
    expect view --factor 6 --centre 1140 900 --scale "$scale"
    expect bars --factor 6 --scale "$scale"
    expect infobar --scale "$scale"
    app_stop
}

check_at 1.25 QT_SCALE_FACTOR=1.25
check_at 1.5 QT_SCALE_FACTOR=1.5
check_at 2 QT_SCALE_FACTOR=2
echo 'Xft.dpi: 144' | xrdb -merge || fail "xrdb could not set Xft.dpi"
check_at 1.5
xrdb -remove

echo "scale: PASS"
