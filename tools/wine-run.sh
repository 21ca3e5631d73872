#!/usr/bin/env bash
# Runs a Windows program under a private, persistent Wine prefix.
# usage: wine-run.sh --prefix DIR [--timeout SECONDS] [--x11] program.exe [args...]
# The prefix is made once (serialised with flock) and its wineserver is kept running with
# stdio detached from any pipe, so later runs start in milliseconds instead of seconds.
set -u
prefix= timeout_s=${TOVO_WINE_TIMEOUT:-300} driver=null
while [ $# -gt 0 ]; do
    case "$1" in
    --prefix) prefix=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --x11) driver=x11; shift ;;
    *) break ;;
    esac
done
[ -n "$prefix" ] || { echo "wine-run.sh: --prefix is required" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all}
# The loader that matches the build (tools/wine-arch.sh): 32-bit where the host runs it.
if [ "$("$here/wine-arch.sh")" = i686 ]; then
    export WINEARCH=win32
    wine=/usr/lib/wine/wine
else
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
    wine=/usr/lib/wine/wine64
fi
# control.exe would start a Gecko installer probe with every first document; mscoree asks for Mono.
export WINEDLLOVERRIDES="control.exe=d;mscoree=d;winemenubuilder.exe=d"

if [ ! -f "$prefix/.ready" ]; then
    (
        flock 9
        if [ ! -f "$prefix/.ready" ]; then
            "$wine" wineboot -i </dev/null >"$prefix/.boot.log" 2>&1 9>&-
            { printf '\xff\xfe'; "$here/wine-settings.sh" "$driver" | iconv -f UTF-8 -t UTF-16LE; } \
                >"$prefix/.settings.reg"
            "$wine" regedit /S "$("$wine" winepath -w "$prefix/.settings.reg" 2>/dev/null)" \
                </dev/null >>"$prefix/.boot.log" 2>&1 9>&-
            wineserver -w 9>&-
            touch "$prefix/.ready"
        fi
    ) 9>"$prefix.lock"
fi

# Idempotent: a second persistent server for the same prefix exits at once, and wineboot only
# starts the service processes when they are not running yet. Neither may hold a caller's pipe.
wineserver -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1

exec timeout -k 5 "$timeout_s" "$wine" "$@"
