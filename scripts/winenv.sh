# Sourced by the other scripts: where things live, and the Wine services that tests and the program need.
# shellcheck shell=bash

AMBRETT_REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export AMBRETT_REPO
export AMBRETT_BUILD=${AMBRETT_BUILD:-$AMBRETT_REPO/build}
export AMBRETT_CACHE=${AMBRETT_CACHE:-$HOME/.cache/ambrett}
export WINEPREFIX=${WINEPREFIX:-$AMBRETT_BUILD/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
# No Mono or Gecko install prompts while the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=d;mshtml=d}

AMBRETT_XVFB_PID=
AMBRETT_WINESERVER_PID=

# Starts a virtual display (unless AMBRETT_USE_DISPLAY=1 keeps the user's) and one persistent
# wineserver, so every Wine process starts in tens of milliseconds instead of seconds.
start_wine_services() {
    if [ "${AMBRETT_USE_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
        local n
        for n in $(seq 90 130); do
            if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then break; fi
        done
        Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
        AMBRETT_XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
        echo "virtual display $DISPLAY"
    fi
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "preparing the Wine prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    wineserver -p >/dev/null 2>&1 &
    AMBRETT_WINESERVER_PID=$!
    # Wine's background services start with the first program and inherit its output; started here,
    # they hold /dev/null instead of a test runner's pipe, which would otherwise never see its end.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

stop_wine_services() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "$AMBRETT_WINESERVER_PID" ] && wait "$AMBRETT_WINESERVER_PID" 2>/dev/null
    if [ -n "$AMBRETT_XVFB_PID" ]; then
        kill "$AMBRETT_XVFB_PID" 2>/dev/null || true
        wait "$AMBRETT_XVFB_PID" 2>/dev/null
    fi
    AMBRETT_XVFB_PID=
    AMBRETT_WINESERVER_PID=
    return 0
}
