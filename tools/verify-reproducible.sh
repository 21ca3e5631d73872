#!/usr/bin/env bash
# Shows that the release is reproducible: runs `make installer` (the release client and the unsigned
# setup program) in two copies of this tree, in folders of different names, one after the other,
# in different time zones, and compares what they made byte for byte.
# usage: verify-reproducible.sh WORK_DIR
# The copies hold the tree as it is, uncommitted changes included; the time NSIS records is the
# commit's (SOURCE_DATE_EPOCH, as make release takes it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
work=$(cd "$1" && pwd)
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
# A make that runs this one must not hand the copies its job server or its signing certificate;
# the suite runs beside it on the same cores.
unset MAKEFLAGS MFLAGS MAKELEVEL SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

# The files of the tree: those git knows of, or, outside a checkout, all but build folders.
files() {
    if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
        git -C "$root" ls-files -z --cached --others --exclude-standard
    else
        (cd "$root" && find . \( -name 'build*' -prune \) -o -type f -print0)
    fi
}

build() {
    local src=$1 tz=$2
    rm -rf "$src"
    mkdir -p "$src"
    files | tar -C "$root" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$src" -xf -
    if command -v makensis >/dev/null; then
        (cd "$src" && TZ=$tz SOURCE_DATE_EPOCH=$epoch make installer) >"$src.log" 2>&1
    else
        (cd "$src" && TZ=$tz SOURCE_DATE_EPOCH=$epoch make release) >"$src.log" 2>&1
    fi || { tail -n 30 "$src.log" >&2; echo "verify-reproducible.sh: the build in $src failed" >&2; exit 1; }
}
build "$work/a/src" UTC
build "$work/second-copy/tovo box" Asia/Shanghai

same=1
for f in bin/TovoBox.exe TovoBoxSetup.exe; do
    a=$work/a/src/build-release/$f b="$work/second-copy/tovo box/build-release/$f"
    [ -f "$a" ] || continue
    sha256sum "$a" "$b" | sed "s|$work/||"
    if ! cmp -s "$a" "$b"; then
        echo "verify-reproducible.sh: $f differs in $(cmp -l "$a" "$b" | wc -l) bytes" >&2
        same=
    fi
done
[ -n "$same" ] || exit 1
echo "reproducible: both builds made the same bytes"
rm -rf "$work"
