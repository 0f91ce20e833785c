#!/bin/sh
# Runs a test program with the Wine prefix's screen at the given DPI (HKCU
# "Control Panel\Desktop" "LogPixels") and puts the setting back afterwards.
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
"$wine_run" reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null || exit 1
restart_server
"$wine_run" "$@"
rc=$?
if [ -n "$old" ]; then
    "$wine_run" reg add "$key" /v LogPixels /t REG_DWORD /d "$((old))" /f >/dev/null || rc=1
else
    "$wine_run" reg delete "$key" /v LogPixels /f >/dev/null || rc=1
fi
restart_server
exit $rc
