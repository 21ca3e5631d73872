#!/usr/bin/env bash
# Starts the built client under Wine. With a display it runs there until it is closed; without
# one it runs on a private Xvfb until its own window is visible and painted, saves a screenshot
# to BUILD/screenshot.png and stops again. It fails, saying why, when the client ends or shows
# no painted window in time.
set -u
build=${1:-build}
limit=${TOVO_RUN_LIMIT:-120} # seconds; the first run also makes the Wine prefix
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
log=$build/run-client.log
# The runner goes first: one still making the prefix would otherwise go on to start the client.
stop() {
    [ -z "${runner:-}" ] || kill "$runner" 2>/dev/null
    WINEPREFIX=$(cd "$prefix" && pwd) wineserver -k >/dev/null 2>&1
    kill "$xvfb" 2>/dev/null
}
trap stop EXIT

start=$(date +%s)
"$here/wine-run.sh" --x11 --prefix "$prefix" --timeout $((limit + 10)) "$exe" >"$log" 2>&1 &
runner=$!
# wine-run.sh ends in `exec timeout wine …`: the client is the child of that process, and Wine's X
# windows carry its process id. Before that its children make the prefix and start Wine's server.
while :; do
    if ! kill -0 "$runner" 2>/dev/null; then
        wait "$runner"
        rc=$?
        echo "run-client.sh: the client ended with exit code $rc before showing a painted window" >&2
        grep -m3 -iE 'unhandled|exception|page fault|err:' "$log" >&2
        exit 1
    fi
    client=
    [ "$(ps -o comm= -p "$runner")" != timeout ] || client=$(pgrep -P "$runner" | head -n1)
    shown=
    for w in ${client:+$(xdotool search --onlyvisible --pid "$client" --name '^Tovo$' 2>/dev/null)}; do
        # A window still black, or of one colour, has not been painted yet.
        shown=$w
        colours=$(import -window "$w" png:- 2>/dev/null | convert - -format %k info: 2>/dev/null)
        if [ "${colours:-0}" -gt 8 ]; then
            import -window root "$build/screenshot.png"
            echo "The client is up and painted after $(($(date +%s) - start)) s on a private display; screenshot: $build/screenshot.png"
            exit 0
        fi
    done
    if [ $(($(date +%s) - start)) -ge "$limit" ]; then
        echo "run-client.sh: no painted client window within $limit s (log: $log)" >&2
        # What there is to see of it: whether it runs and uses the processor, its X windows, and
        # how far Wine's log got.
        if [ -n "$client" ] && ps -p "$client" >/dev/null; then
            read -r state cpu < <(ps -o stat=,time= -p "$client")
            echo "run-client.sh: the client (process $client) is in state $state after $cpu of processor" \
                "time, with $(xdotool search --pid "$client" 2>/dev/null | wc -l) X windows;" \
                "$(if [ -n "$shown" ]; then echo "its main window is visible with ${colours:-no} colours (unpainted)";
                   else echo "its main window is not visible"; fi)" >&2
        elif [ -f "$prefix/.ready" ]; then
            echo "run-client.sh: Wine has not started the client yet" >&2
        else
            echo "run-client.sh: the Wine prefix $prefix is still being made" >&2
        fi
        if [ -s "$log" ]; then
            echo "run-client.sh: the log's last lines:" >&2
            tail -n 5 "$log" | sed 's/^/  /' >&2
        else
            echo "run-client.sh: the log is empty; WINEDEBUG=+seh (or other channels) makes Wine say more" >&2
        fi
        exit 1
    fi
    sleep 0.2
done
