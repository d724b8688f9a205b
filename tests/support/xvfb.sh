# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Helpers for tests that need a real X server. Source this file, then:
#
#   xvfb_start [WIDTH [HEIGHT [DEPTH [XVFB_ARGS...]]]]
#                                        start a private Xvfb (640x480x24 by default) on the
#                                        first free display from :91 up; exports DISPLAY,
#                                        sets XVFB_PID, XVFB_WIDTH, XVFB_HEIGHT; returns once
#                                        the server answers. XVFB_ARGS go to Xvfb as they
#                                        are (e.g. -extension MIT-SHM to switch SHM off).
#   xvfb_stop                            kill that Xvfb by its pid; safe to call twice.
#                                        Call it from your EXIT trap: trap xvfb_stop EXIT
#   set_root_pattern FILE                show an image (PNG, PPM, ...) on the root window.
#   make_root_pattern [FILE]             write the coordinate pattern at the screen's size
#                                        (tests/support/make_pattern.py) and show it.
#   root_pixel X Y                       print the screen pixel at (X, Y) as RRGGBB.
#   wait_until TIMEOUT_SECONDS COMMAND...
#                                        rerun COMMAND until it succeeds; fails on timeout.
#
# Xvfb also dies with the shell that started it, even when that shell is killed outright
# and its traps never run.

XVFB_SUPPORT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
XVFB_PID=
XVFB_WATCHDOG_PID=
XVFB_WIDTH=
XVFB_HEIGHT=

wait_until() {
    local timeout=$1
    shift
    local deadline=$((SECONDS + timeout))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

# Waits until the server on display $1 answers; fails at once if it has exited.
_xvfb_wait_ready() {
    local deadline=$((SECONDS + 10))
    while kill -0 "$XVFB_PID" 2>/dev/null && ((SECONDS < deadline)); do
        xdpyinfo -display "$1" >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    return 1
}

xvfb_start() {
    local width=${1:-640} height=${2:-480} depth=${3:-24} n log
    shift $(($# < 3 ? $# : 3))
    log=$(mktemp "${TMPDIR:-/tmp}/ocula-xvfb.XXXXXX")
    for ((n = 91; n < 200; n++)); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 "${width}x${height}x${depth}" -noreset -nolisten tcp "$@" \
            >"$log" 2>&1 &
        XVFB_PID=$!
        # Another test may have taken the same number a moment ago: then this server
        # exits and we try the next one.
        if _xvfb_wait_ready ":$n"; then
            export DISPLAY=":$n"
            XVFB_WIDTH=$width
            XVFB_HEIGHT=$height
            local parent=$$ server=$XVFB_PID
            (
                trap - EXIT
                while kill -0 "$parent" 2>/dev/null && kill -0 "$server" 2>/dev/null; do
                    sleep 1
                done
                kill "$server" 2>/dev/null
            ) >/dev/null 2>&1 &
            XVFB_WATCHDOG_PID=$!
            rm -f "$log"
            return 0
        fi
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    done
    echo "xvfb_start: could not start Xvfb; last log:" >&2
    cat "$log" >&2
    rm -f "$log"
    return 1
}

xvfb_stop() {
    if [[ -n $XVFB_WATCHDOG_PID ]]; then
        kill "$XVFB_WATCHDOG_PID" 2>/dev/null
        wait "$XVFB_WATCHDOG_PID" 2>/dev/null
        XVFB_WATCHDOG_PID=
    fi
    if [[ -n $XVFB_PID ]]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
        XVFB_PID=
    fi
    return 0
}

_pixel_of() { # IMAGE X Y
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -n 1
}

set_root_pattern() {
    local file=$1 size w h
    size=$(identify -format '%w %h' "$file" 2>/dev/null) || {
        echo "set_root_pattern: cannot read $file" >&2
        return 1
    }
    read -r w h <<<"$size"
    # display exits with 1 even when it has set the background, so check the screen.
    display -window root "$file" >/dev/null 2>&1
    local x y
    for x in 0 $((w - 1)); do
        for y in 0 $((h - 1)); do
            if [[ $(root_pixel "$x" "$y") != "$(_pixel_of "$file" "$x" "$y")" ]]; then
                echo "set_root_pattern: the root window does not show $file" >&2
                return 1
            fi
        done
    done
}

make_root_pattern() {
    local file=${1:-}
    if [[ -z $file ]]; then
        file=$(mktemp "${TMPDIR:-/tmp}/ocula-pattern.XXXXXX.png")
    fi
    python3 "$XVFB_SUPPORT_DIR/make_pattern.py" "$XVFB_WIDTH" "$XVFB_HEIGHT" "$file" &&
        set_root_pattern "$file"
    local rc=$?
    [[ -z ${1:-} ]] && rm -f "$file"
    return $rc
}

root_pixel() {
    import -silent -window root -crop "1x1+$1+$2" +repage -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-Fa-f]\{6\}\).*/\1/p' | head -n 1
}
