#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Ocula authors
# SPDX-License-Identifier: MIT
# SIGTERM, SIGINT and SIGHUP close the real program as the user would: it exits with
# status 0 within moments, and its settings are saved on the way out (the zoom factor
# changed during the run is there at the next start). When the X server goes away under it
# (a crash, a session that ends its server before its clients), with or without the options
# dialog open, the program ends too and still saves.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xvfb.sh
source "$here/../support/xvfb.sh"
# shellcheck source=common.bash
source "$here/common.bash"
TEST_NAME=shutdown

e2e_init
xvfb_start 640 480 24 || fail "Xvfb did not start"
config=$(mktemp -d "$E2E_TMP/config.XXXXXX")

_app_exited() {
    local state
    state=$(ps -o stat= -p "$APP_PID")
    [[ -z $state || $state == Z* ]]
}

factor=6
for signal in TERM INT HUP; do
    app_start "$config"
    expect_title "Ocula ( x $factor )"
    xdotool windowfocus --sync "$APP_WIN" key KP_Add || fail "could not send a key"
    factor=$((factor + 1))
    expect_title "Ocula ( x $factor )"
    kill -s "$signal" "$APP_PID"
    wait_until 3 _app_exited || fail "SIG$signal: the app still runs after 3 seconds"
    wait "$APP_PID"
    status=$?
    APP_PID=
    ((status == 0)) || fail "SIG$signal: the app exited with status $status"
done
# The last run's change reached the settings too.
app_start "$config"
expect_title "Ocula ( x $factor )"

hive=$config/ocula/HKEY_CURRENT_USER.conf
for dialog in closed open; do
    if [[ $dialog == open ]]; then
        xvfb_start 640 480 24 || fail "Xvfb did not start again"
        app_start "$config"
        expect_title "Ocula ( x $factor )"
    fi
    xdotool windowfocus --sync "$APP_WIN" key KP_Add || fail "could not send a key"
    factor=$((factor + 1))
    expect_title "Ocula ( x $factor )"
    [[ $dialog == open ]] && options_open
    xvfb_stop
    wait_until 3 _app_exited || fail "server gone, dialog $dialog: the app still runs after 3 seconds"
    wait "$APP_PID"
    status=$?
    APP_PID=
    # Qt's own exit status for a lost display; a signal would mean a crash on the way out.
    ((status < 128)) || fail "server gone, dialog $dialog: the app died with status $status"
    grep -qx "\"Factor\"=$factor" "$hive" ||
        fail "server gone, dialog $dialog: the factor $factor was not saved:"$'\n'"$(cat "$hive")"
done

echo "$TEST_NAME: PASS"
