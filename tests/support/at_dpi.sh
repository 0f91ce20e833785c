#!/bin/sh
# Runs a test program with the Wine prefix's screen at the given DPI (HKCU
# "Control Panel\Desktop" "LogPixels") and puts the setting back on every
# exit: a failing or killed program, a signal to this script, or this script
# killed outright. Wine takes the setting up when its server starts, so the
# server is started afresh before and after (and kept running for the tests
# that follow); CTest runs such a test alone.
# Usage: at_dpi.sh DPI PREFIX WINE_RUN PROGRAM [ARGUMENTS...]
dpi=$1 prefix=$2 wine_run=$3
shift 3
export WINEPREFIX="$prefix"
key='HKCU\Control Panel\Desktop'

restart_server() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    wineserver -p 2>/dev/null
}

# Exists while the setting is changed.
changed=$(mktemp) || exit 1
restore() {
    if [ -n "$old" ]; then
        "$wine_run" reg add "$key" /v LogPixels /t REG_DWORD /d "$((old))" /f >/dev/null
    else
        "$wine_run" reg delete "$key" /v LogPixels /f >/dev/null
    fi
    restored=$?
    rm -f "$changed"
    restart_server
    return $restored
}

old=$("$wine_run" reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" { print $3 }')
trap 'rc=$?; trap - EXIT; restore || rc=1; exit $rc' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
# Killed outright (CTest's time-out sends SIGKILL), this script runs no trap:
# a watcher puts the setting back once the script is gone.
(
    trap '' HUP INT TERM
    while kill -0 $$ 2>/dev/null; do sleep 1; done
    if [ -e "$changed" ]; then restore; fi
) >/dev/null 2>&1 &
"$wine_run" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null || exit 1
restart_server
"$wine_run" "$@"
