#!/usr/bin/env bash
# Starts the built client under Wine. With a display it runs there until it is closed; without
# one it runs on a private Xvfb, saves a screenshot to BUILD/screenshot.png and stops again.
set -u
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
exe=$build/bin/TovoBox.exe
prefix=$build/wine/run

# The prefix's persistent server and its service processes end with the client.
if [ -n "${DISPLAY:-}" ]; then
    "$here/wine-run.sh" --x11 --prefix "$prefix" --timeout 86400 "$exe"
    rc=$?
    WINEPREFIX=$(cd "$prefix" && pwd) wineserver -k >/dev/null 2>&1
    exit $rc
fi

fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp 5>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r -t 10 display <"$fifo"
rm -f "$fifo"
[ -n "${display:-}" ] || { echo "run-client.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display
stop() {
    WINEPREFIX=$(cd "$prefix" && pwd) wineserver -k >/dev/null 2>&1
    kill "$xvfb" 2>/dev/null
}
trap stop EXIT

"$here/wine-run.sh" --x11 --prefix "$prefix" --timeout 120 "$exe" >/dev/null 2>&1 &
for _ in $(seq 1 100); do
    xdotool search --name 'Tovo' >/dev/null 2>&1 && break
    sleep 0.2
done
sleep 2
import -window root "$build/screenshot.png"
echo "The client ran on a private display; screenshot: $build/screenshot.png"
