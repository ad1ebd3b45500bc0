#!/bin/sh
# Runs one Windows program in a Wine prefix made afresh for it, so that it sees
# a machine on which nothing of ours was ever installed or registered.
#   run_in_fresh_prefix.sh win32|win64 <prefix> <program.exe> [arguments...]
# The prefix is removed and made again (about 10 to 20 s), set to Wine's headless
# graphics driver and served by one persistent wineserver for the run; it is left
# in place afterwards for a look at what the program did.
set -eu
export WINEARCH=$1
export WINEPREFIX=$2
shift 2
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
echo "Creating the Wine prefix $WINEPREFIX ($WINEARCH)..."
wineboot -i >/dev/null 2>&1 || true
wineserver -w
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
(wineserver -p >/dev/null 2>&1 &)
trap 'wineserver -k 2>/dev/null || true' EXIT
status=0
wine "$@" || status=$?
exit $status
