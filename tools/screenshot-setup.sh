#!/usr/bin/env bash
# Pictures of the setup program's and the uninstaller's welcome pages, side by side, taken on a
# private Xvfb screen (docs/setup-welcome.png is made this way).
# usage: screenshot-setup.sh BUILD_DIR OUT.png
set -euo pipefail
build=$(cd "$1" && pwd) out=$2
here=$(cd "$(dirname "$0")" && pwd)
prefix=$build/wine/setup-shot
tmp=$(mktemp -d)

fifo=$tmp/display
mkfifo "$fifo"
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$fifo" >/dev/null 2>&1 &
xvfb=$!
read -r -t 10 display <"$fifo" || true
[ -n "${display:-}" ] || { kill "$xvfb"; echo "screenshot-setup.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display
stop() {
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb" 2>/dev/null
    rm -rf "$tmp"
}
trap stop EXIT

# shot NAME program [args]: the program's first visible window once it has drawn, then it is ended.
shot() {
    local name=$1 win=
    shift
    "$here/wine-run.sh" --x11 --prefix "$prefix" --timeout 60 "$@" >/dev/null 2>&1 &
    local pid=$!
    for _ in $(seq 1 150); do
        win=$(xdotool search --onlyvisible --name 'Tovo' 2>/dev/null | head -n 1) && [ -n "$win" ] && break
        sleep 0.2
    done
    [ -n "$win" ] || { echo "screenshot-setup.sh: no window of $*" >&2; exit 1; }
    sleep 2
    import -window "$win" "$tmp/$name.png"
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
    wait "$pid" || true
}
shot setup "$build/TovoBoxSetup.exe"
"$here/wine-run.sh" --prefix "$prefix" "$build/TovoBoxSetup.exe" /S /NOAUTOSTART '/D=C:\shot' >/dev/null 2>&1
shot uninstall "$prefix/drive_c/shot/uninst.exe" '_?=C:\shot'
convert "$tmp/setup.png" "$tmp/uninstall.png" -background white -splice 16x0 +append -chop 16x0 \
    -strip PNG24:"$out"
echo "screenshot-setup.sh: $out"
