#!/usr/bin/env bash
# Runs a Windows test program under Wine's X11 driver on a private Xvfb screen.
# usage: xvfb-run-test.sh WIDTHxHEIGHT PREFIX program.exe [args...]
# Each run gets its own display (never a fixed number) and ends only what it started.
set -u
size=$1 prefix=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 5 -screen 0 "${size}x24" -nolisten tcp 5>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r -t 10 display <"$fifo"
rm -f "$fifo"
if [ -z "${display:-}" ]; then
    kill "$xvfb" 2>/dev/null
    echo "xvfb-run-test.sh: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=:$display

cleanup() {
    WINEPREFIX=$(cd "$prefix" 2>/dev/null && pwd) wineserver -k >/dev/null 2>&1
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT

# The server may still run from an earlier screen: start afresh on this display.
[ -d "$prefix" ] && WINEPREFIX=$(cd "$prefix" && pwd) wineserver -k >/dev/null 2>&1
"$here/wine-run.sh" --x11 --netns --prefix "$prefix" --timeout "${TOVO_WINE_TIMEOUT:-300}" "$@"
