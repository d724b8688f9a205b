# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Shared by the end-to-end scripts that drive the real ocula binary under Xvfb. Source it
# after tests/support/xvfb.sh, set TEST_NAME, then:
#
#   e2e_init                      a scratch directory ($E2E_TMP) and the EXIT trap that
#                                 stops the app and Xvfb and removes it
#   app_start [CONFIG_DIR]        start ocula with that (default: a fresh) XDG_CONFIG_HOME,
#                                 wait for its window; sets APP_PID, APP_WIN, APP_CONFIG.
#                                 The session's scale variables are dropped; APP_ENV
#                                 (an array of VAR=VALUE) sets them, or others, instead
#   app_stop                      kill the app by its pid (if still running)
#   app_client                    print the window's client area as "X Y W H"
#   app_title                     print the window's title
#   expect_title TEXT             wait until the title is exactly TEXT
#   expect CHECK ARGS...          wait until viewcheck.py CHECK --client <app> ARGS holds;
#                                 on timeout print why and keep the screenshot
#   pointer X Y                   move the pointer there and wait until it is there
#   popup_geometry                print "X Y W H" of the shown popup (a viewable
#                                 override-redirect top-level window); fails if none
#   pointer_grabbable             another client can grab the pointer now (status 0), or
#                                 someone holds it (status 1)
#   options_open                  right-click the view, choose Options and wait until the
#                                 dialog is shown; sets OPTIONS_WIN
#   fail MESSAGE                  print and exit 1

E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
VIEWCHECK=$E2E_DIR/viewcheck.py
APP_PID=
APP_WIN=
APP_CONFIG=
APP_ENV=()
OPTIONS_WIN=
E2E_TMP=
E2E_TIMEOUT=10

fail() {
    echo "$TEST_NAME: FAIL: $*"
    exit 1
}

e2e_cleanup() {
    app_stop
    xvfb_stop
    [[ -n $E2E_TMP ]] && rm -rf "$E2E_TMP"
}

e2e_init() {
    : "${OCULA_BIN:?OCULA_BIN must name the ocula binary}"
    [[ -x $OCULA_BIN ]] || fail "$OCULA_BIN is not an executable"
    E2E_TMP=$(mktemp -d "${TMPDIR:-/tmp}/ocula-e2e.XXXXXX")
    mkdir -m 700 "$E2E_TMP/runtime"
    trap e2e_cleanup EXIT
    # Let a killed run clean up as well (the EXIT trap does not run on a signal).
    trap 'exit 1' INT TERM HUP PIPE
}

_app_window() {
    APP_WIN=$(xdotool search --all --onlyvisible --pid "$APP_PID" --name '^Ocula' 2>/dev/null | head -n 1)
    [[ -n $APP_WIN ]]
}

app_start() {
    APP_CONFIG=${1:-$(mktemp -d "$E2E_TMP/config.XXXXXX")}
    env -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS -u QT_AUTO_SCREEN_SCALE_FACTOR \
        -u QT_FONT_DPI QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$APP_CONFIG" \
        XDG_RUNTIME_DIR="$E2E_TMP/runtime" "${APP_ENV[@]}" "$OCULA_BIN" >>"$E2E_TMP/app.log" 2>&1 &
    APP_PID=$!
    wait_until "$E2E_TIMEOUT" _app_window || {
        cat "$E2E_TMP/app.log"
        fail "the app showed no window titled Ocula"
    }
}

app_stop() {
    if [[ -n $APP_PID ]]; then
        kill "$APP_PID" 2>/dev/null
        wait "$APP_PID" 2>/dev/null
        APP_PID=
    fi
    return 0
}

app_client() {
    xwininfo -id "$APP_WIN" |
        awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
             /^ *Width:/ {w = $2} /^ *Height:/ {h = $2} END {print x, y, w, h}'
}

app_title() {
    xdotool getwindowname "$APP_WIN" 2>/dev/null
}

_title_is() { [[ $(app_title) == "$1" ]]; }

expect_title() {
    wait_until "$E2E_TIMEOUT" _title_is "$1" ||
        fail "the window title is \"$(app_title)\", expected \"$1\""
}

expect() {
    local check=$1 client
    shift
    read -r -a client <<<"$(app_client)"
    if ! wait_until "$E2E_TIMEOUT" python3 "$VIEWCHECK" "$check" -q --client "${client[@]}" "$@"; then
        local keep=()
        if [[ -n ${OCULA_BUILD_DIR:-} ]]; then
            keep=(--save "$OCULA_BUILD_DIR/Testing/$TEST_NAME-failed.ppm")
            mkdir -p "$OCULA_BUILD_DIR/Testing"
        fi
        python3 "$VIEWCHECK" "$check" --client "${client[@]}" "$@" "${keep[@]}"
        fail "$check $* does not hold${keep:+ (screenshot: ${keep[1]})}"
    fi
}

popup_geometry() {
    local id info
    for id in $(xwininfo -root -children | awk '$1 ~ /^0x/ {print $1}'); do
        info=$(xwininfo -id "$id" 2>/dev/null) || continue
        grep -q 'Map State: IsViewable' <<<"$info" || continue
        grep -q 'Override Redirect State: yes' <<<"$info" || continue
        # Qt keeps a 1 x 1 helper window of its own; a menu is larger.
        awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
             /^ *Width:/ {w = $2} /^ *Height:/ {h = $2}
             END {if (w > 1 && h > 1) print x, y, w, h; else exit 1}' <<<"$info" && return 0
    done
    return 1
}

_no_popup() { ! popup_geometry >/dev/null; }

pointer() {
    # mousemove --sync waits for a move, so it hangs when the pointer is there already.
    [[ $(xdotool getmouselocation) == "x:$1 y:$2 "* ]] && return 0
    xdotool mousemove --sync "$1" "$2"
}

pointer_grabbable() {
    python3 -c '
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XCloseDisplay.argtypes = [ctypes.c_void_p]
x.XGrabPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_uint,
                           ctypes.c_int, ctypes.c_int, ctypes.c_ulong, ctypes.c_ulong,
                           ctypes.c_ulong]
d = x.XOpenDisplay(None)
if not d:
    sys.exit(2)
# GrabModeAsync for both; 0 is GrabSuccess.
status = x.XGrabPointer(d, x.XDefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)
x.XCloseDisplay(d)
sys.exit(0 if status == 0 else 1)
'
}

_options_window() {
    OPTIONS_WIN=$(xdotool search --name '^Options$' 2>/dev/null | head -n 1)
    [[ -n $OPTIONS_WIN ]]
}
_options_mapped() { xwininfo -id "$OPTIONS_WIN" | grep -q 'IsViewable'; }

options_open() {
    local x y
    read -r x y _ _ <<<"$(app_client)"
    # Right button on the view, then Options (the second entry from the bottom; separators
    # are skipped).
    pointer $((x + 150)) $((y + 150))
    xdotool click 3
    wait_until 5 popup_geometry >/dev/null || fail "no popup menu on a right click"
    xdotool key Up Up Return
    wait_until 5 _options_window || fail "the options dialog did not open"
    wait_until 5 _options_mapped || fail "the options dialog is not shown"
}
