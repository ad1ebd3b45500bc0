#!/bin/sh
# Prepares and stops the private Wine prefix the tests run in.
#   wine-prefix.sh start <prefix> [win32|win64]
#                                   create it once (about 20 s), select the headless
#                                   graphics driver, start a persistent wineserver
#   wine-prefix.sh stop <prefix>    stop that prefix's wineserver (and only that one)
# A win64 prefix (the 64-bit build's) runs 32-bit programs as well, through its
# 32-bit view of the system directory and registry. Default: win32.
set -eu
action=$1
export WINEPREFIX=$2
export WINEARCH=${3:-win32}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

case "$action" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating the private Wine prefix $WINEPREFIX (once, about 20 s)..."
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    # Without an X display CreateWindow fails; Wine's null driver gives real windows
    # and messages with nothing drawn. A test that wants pixels starts its own Xvfb
    # and a separate prefix, so this setting stays as it is.
    if ! grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null; then
        wineserver -k 2>/dev/null || true
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
        wineserver -w
    fi
    # A persistent wineserver makes each test process start in tens of milliseconds.
    # It is started detached so that ctest does not wait for it.
    (wineserver -p >/dev/null 2>&1 &)
    # Wait until the server answers, so the first test does not race it.
    i=0
    while [ $i -lt 50 ]; do
        if wine cmd /c exit 0 >/dev/null 2>&1; then exit 0; fi
        i=$((i + 1)); sleep 0.2
    done
    echo "The wineserver for $WINEPREFIX did not come up" >&2
    exit 1
    ;;
stop)
    wineserver -k 2>/dev/null || true
    ;;
*)
    echo "usage: $0 start|stop <prefix>" >&2
    exit 2
    ;;
esac
