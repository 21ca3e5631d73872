#!/usr/bin/env bash
# Runs a Windows program under a private, persistent Wine prefix.
# usage: wine-run.sh --prefix DIR [--timeout SECONDS] [--x11] [--netns] program.exe [args...]
# The prefix is made once (serialised with flock).
#
# Without --netns the prefix's wineserver is kept running with stdio detached from any pipe, so
# later runs start in milliseconds instead of seconds.
#
# With --netns (every test) the program runs in a network namespace of its own: only loopback and
# a link-local interface with a default route that leads nowhere, so the system reports a
# connection and nothing leaves the namespace. Wine opens sockets in the wineserver, so the
# namespace gets a wineserver of its own too, which also keeps window stations and named objects
# apart from every other run. When
# namespaces are not allowed the program runs on the shared network, and only the build tree's
# own test port (tools/test-port.sh) keeps runs apart.
set -u
prefix= timeout_s=${TOVO_WINE_TIMEOUT:-300} driver=null netns=
args=("$@")
while [ $# -gt 0 ]; do
    case "$1" in
    --prefix) prefix=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --x11) driver=x11; shift ;;
    --netns) netns=1; shift ;;
    *) break ;;
    esac
done
[ -n "$prefix" ] || { echo "wine-run.sh: --prefix is required" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

if [ -n "$netns" ] && [ -z "${TOVO_NETNS:-}" ]; then
    # Root, or a user namespace where unprivileged ones are allowed.
    for how in "" "--user --map-root-user"; do
        # shellcheck disable=SC2086
        if unshare $how --net true 2>/dev/null; then
            # shellcheck disable=SC2086
            TOVO_NETNS=1 exec unshare $how --net -- "$0" "${args[@]}"
        fi
    done
    echo "wine-run.sh: no network namespace allowed here; running on the shared network" >&2
    netns=
fi

if [ -n "$netns" ]; then
    ip link set lo up || exit 3
    # A default route is what makes the system report a connection; its far end answers nothing.
    if ip link add tovo0 type veth peer name tovo1 2>/dev/null; then
        ip addr add 169.254.73.1/16 dev tovo0
        ip link set tovo0 up
        ip link set tovo1 up
        ip route add default via 169.254.73.2 dev tovo0
    fi
    # Wine keeps its server's socket in a fresh directory under TMPDIR and finds a running server
    # there: a directory of this run's own gives it a server of its own.
    TMPDIR=$(mktemp -d "${TMPDIR:-/tmp}/tovo-wine.XXXXXX") || exit 3
    export TMPDIR
    trap 'rm -rf "$TMPDIR"' EXIT
fi

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
            # A set-up cut short (its server ended by a caller's time-out, say) is not marked
            # ready and loses Wine's own stamp, so that the next run sets the prefix up again
            # instead of starting programs in a half-made one.
            if "$wine" wineboot -i </dev/null >"$prefix/.boot.log" 2>&1 9>&- &&
                { printf '\xff\xfe'; "$here/wine-settings.sh" "$driver" | iconv -f UTF-8 -t UTF-16LE; } \
                    >"$prefix/.settings.reg" &&
                "$wine" regedit /S "$("$wine" winepath -w "$prefix/.settings.reg" 2>/dev/null)" \
                    </dev/null >>"$prefix/.boot.log" 2>&1 9>&- &&
                wineserver -w 9>&-; then
                touch "$prefix/.ready"
            else
                rm -f "$prefix/.update-timestamp"
            fi
        fi
    ) 9>"$prefix.lock"
fi

if [ -n "$netns" ]; then
    # The namespace's own server and service processes, started away from the caller's pipes,
    # and ended with the program: nothing of this run outlives it.
    "$wine" wineboot </dev/null >/dev/null 2>&1
    timeout -k 5 "$timeout_s" "$wine" "$@"
    rc=$?
    wineserver -k </dev/null >/dev/null 2>&1
    exit $rc
fi

# Idempotent: a second persistent server for the same prefix exits at once, and wineboot only
# starts the service processes when they are not running yet. Neither may hold a caller's pipe.
wineserver -p </dev/null >/dev/null 2>&1
"$wine" wineboot </dev/null >/dev/null 2>&1

exec timeout -k 5 "$timeout_s" "$wine" "$@"
