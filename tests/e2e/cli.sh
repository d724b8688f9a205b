#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# The command line and the start without a usable display: --help and --version answer
# without any display, every other argument is refused, and a session with no display,
# a Wayland session without X11 and an X11 display that cannot be opened each end with
# one clear line and a failure status instead of Qt's abort. A desktop that offers Qt
# Wayland or X11 gets the window on X11, where it can stay on top.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"
TEST_NAME=cli

e2e_init
: "${OCULA_BUILD_DIR:?OCULA_BUILD_DIR must name the build directory}"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$OCULA_BUILD_DIR/CMakeCache.txt")
[[ -n $version ]] || fail "no project version in $OCULA_BUILD_DIR/CMakeCache.txt"

OUT=$E2E_TMP/out
ERR=$E2E_TMP/err
STATUS=
# run VAR=VALUE... -- ARG...: ocula in an otherwise empty environment. A window that
# opens by mistake would never end, so the run is cut short.
run() {
    local vars=()
    while [[ $1 != -- ]]; do
        vars+=("$1")
        shift
    done
    shift
    env -i HOME="$E2E_TMP" XDG_RUNTIME_DIR="$E2E_TMP/runtime" "${vars[@]}" \
        timeout 20 "$OCULA_BIN" "$@" >"$OUT" 2>"$ERR"
    STATUS=$?
    ((STATUS != 124)) || fail "ocula $*${vars[*]:+ (with ${vars[*]})} did not end"
}

# One line on stderr, none on stdout, a plain failure status (not a signal, not an abort).
expect_refusal() {
    local what=$1
    ((STATUS != 0 && STATUS < 128)) || fail "$what: status $STATUS"
    [[ ! -s $OUT ]] || fail "$what: wrote to stdout: $(cat "$OUT")"
    [[ $(wc -l <"$ERR") -eq 1 ]] || fail "$what: stderr is not one line: $(cat "$ERR")"
    grep -q '^ocula: ' "$ERR" || fail "$what: the message does not name ocula: $(cat "$ERR")"
}

run -- --help
((STATUS == 0)) || fail "--help: status $STATUS"
[[ ! -s $ERR ]] || fail "--help wrote to stderr: $(cat "$ERR")"
head -n 1 "$OUT" | grep -q '^Usage: ocula' || fail "--help does not start with a usage line"
grep -q -- '--version' "$OUT" || fail "--help does not mention --version"
grep -qF '"man ocula"' "$OUT" || fail "--help does not say where the keys are listed"

run -- --version
((STATUS == 0)) || fail "--version: status $STATUS"
[[ ! -s $ERR ]] || fail "--version wrote to stderr: $(cat "$ERR")"
[[ $(cat "$OUT") == "Ocula $version" ]] || fail "--version says \"$(cat "$OUT")\""

# Refused even where a window could open.
for argument in --bogus picture.png -platform -h; do
    run QT_QPA_PLATFORM=offscreen -- "$argument"
    expect_refusal "argument $argument"
    grep -qF -- "'$argument'" "$ERR" || fail "the message does not quote $argument: $(cat "$ERR")"
done
run QT_QPA_PLATFORM=offscreen -- --version extra
expect_refusal "--version extra"
grep -qF "'extra'" "$ERR" || fail "the message does not quote extra: $(cat "$ERR")"
run QT_QPA_PLATFORM=offscreen -- --help --version
expect_refusal "--help --version"

run -- --no-display-here
expect_refusal "an unknown argument without a display"

# No display at all.
run --
expect_refusal "no display"
grep -qi 'display' "$ERR" || fail "no display: the message does not say so: $(cat "$ERR")"

# Wayland without X11 and without its compositor: a native window is tried and cannot be.
for platform in "" wayland "wayland;xcb"; do
    run WAYLAND_DISPLAY=wayland-0 ${platform:+QT_QPA_PLATFORM=$platform} --
    expect_refusal "Wayland without X11 (QT_QPA_PLATFORM=$platform)"
    grep -q 'Wayland display "wayland-0"' "$ERR" ||
        fail "Wayland: the message does not name the display: $(cat "$ERR")"
done

# An X11 display that is not there.
for ((n = 150; n < 250; n++)); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] || break
done
run DISPLAY=":$n" --
expect_refusal "display :$n that is not there"
grep -qF ":$n" "$ERR" || fail "display :$n: the message does not name it: $(cat "$ERR")"

# A Wayland desktop with Xwayland whose programs are offered Wayland first: X11 is taken.
xvfb_start 640 480 24 || fail "Xvfb did not start"
env -i HOME="$E2E_TMP" XDG_RUNTIME_DIR="$E2E_TMP/runtime" XDG_CONFIG_HOME="$E2E_TMP/config" \
    DISPLAY="$DISPLAY" WAYLAND_DISPLAY=wayland-0 QT_QPA_PLATFORM="wayland;xcb" \
    "$OCULA_BIN" >>"$E2E_TMP/app.log" 2>&1 &
APP_PID=$!
wait_until "$E2E_TIMEOUT" _app_window || {
    cat "$E2E_TMP/app.log"
    fail "with DISPLAY and WAYLAND_DISPLAY set, no window opened on X11"
}

echo "$TEST_NAME: ok"
