#!/bin/sh
# Runs a test program with the Wine prefix's screen at the given DPI (HKCU
# "Control Panel\Desktop" "LogPixels") and puts the setting back on every exit.
# Wine takes the setting up when its server starts, so the server is started
# afresh before and after (and kept running for the tests that follow); CTest
# runs such a test alone.
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

old=$("$wine_run" reg query "$key" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" { print $3 }')
changed=$(mktemp) || exit 1  # exists while the setting is changed
restore() {
    if [ -n "$old" ]; then "$wine_run" reg add "$key" /v LogPixels /t REG_DWORD /d "$((old))" /f >/dev/null
    else "$wine_run" reg delete "$key" /v LogPixels /f >/dev/null; fi
    restored=$?; rm -f "$changed"; restart_server; return $restored
}
trap 'rc=$?; trap - EXIT; restore || rc=1; exit $rc' EXIT
trap 'exit 143' HUP INT TERM
# Killed outright (SIGKILL, CTest's time-out) it runs no trap: a watcher restores.
(trap '' HUP INT TERM; while kill -0 $$; do sleep 1; done; [ ! -e "$changed" ] || restore) >/dev/null 2>&1 &
"$wine_run" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null || exit 1
restart_server
"$wine_run" "$@"
