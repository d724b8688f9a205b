#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The X11 (SHM and plain GetImage) and Qt screen sources against a real X server that
# shows the coordinate pattern: exact pixels, edges, cursor, at device pixel ratio 1 and
# with Qt scaling by 2; a screen that shrinks and grows; a server without MIT-SHM; and
# one whose depth the X11 source must refuse.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source-path=SCRIPTDIR source=../support/xvfb.sh
source "$here/../support/xvfb.sh"

build=${OCULA_BUILD_DIR:?OCULA_BUILD_DIR must name the build directory}
check=$build/tests/x11/x11screensource_check

fail() {
    echo "screensource: FAIL: $*"
    exit 1
}

if [[ ! -x $check ]]; then
    if grep -q '^OCULA_WITH_X11:BOOL=OFF' "$build/CMakeCache.txt" 2>/dev/null; then
        echo "screensource: skipped, built without X11"
        exit 0
    fi
    fail "$check is not built"
fi

runtime=$(mktemp -d "${TMPDIR:-/tmp}/ocula-runtime.XXXXXX")
cleanup() {
    xvfb_stop
    rm -rf "$runtime"
}
trap cleanup EXIT

width=640 height=480

# XVFB_ARGS...: a fresh server showing the pattern.
start_server() {
    xvfb_stop
    xvfb_start "$width" "$height" "$@" || fail "Xvfb $* did not start"
    # shellcheck disable=SC2119 # no file wanted: a temporary one
    make_root_pattern || fail "could not paint the pattern on the root window"
}

# SCALE CURSOR_X CURSOR_Y [VAR=VALUE... [-- TEST_FUNCTIONS...]]: the checks, with the
# pointer put at the given device pixel first.
run_check() {
    local scale=$1 x=$2 y=$3
    shift 3
    local vars=() functions=()
    while (($#)) && [[ $1 != -- ]]; do
        vars+=("$1")
        shift
    done
    (($#)) && shift && functions=("$@")
    xdotool mousemove --sync "$x" "$y" || fail "xdotool could not move the pointer"
    env -u QT_SCREEN_SCALE_FACTORS -u QT_ENABLE_HIGHDPI_SCALING -u QT_AUTO_SCREEN_SCALE_FACTOR \
        QT_SCALE_FACTOR="$scale" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$runtime" \
        OCULA_EXPECT_SCREEN="$width,$height" OCULA_EXPECT_CURSOR="$x,$y" "${vars[@]}" \
        "$check" "${functions[@]}" ||
        fail "the sources disagree with the screen (scale $scale ${vars[*]}; see above)"
}

start_server 24
run_check 1 123 45
# Qt reports the cursor in logical pixels, so at scale 2 only even positions survive.
run_check 2 124 46
# Last on this server: it leaves RandR in a state that Qt no longer understands.
run_check 1 10 10 OCULA_RESIZE_SCREEN=1 -- followsTheScreenSize

start_server 24 -extension MIT-SHM
run_check 1 321 234 OCULA_EXPECT_SHM=0

# A 16-bit root is not one the X11 source reads: the factory must fall back to Qt. The
# pattern cannot show exactly there, and this check does not need it.
xvfb_stop
xvfb_start "$width" "$height" 16 || fail "Xvfb at depth 16 did not start"
run_check 1 10 10 OCULA_EXPECT_REFUSED=1 -- factoryChoosesBySupport

echo "screensource: PASS"
