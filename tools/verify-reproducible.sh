#!/usr/bin/env bash
# Shows that the release is reproducible: runs `make installer` (the release client and the unsigned
# setup program) in two copies of this tree, in folders of different names, one after the other,
# in different time zones, and compares what they made byte for byte.
# usage: verify-reproducible.sh WORK_DIR
# The copies hold the files git tracks as they are in the tree, uncommitted changes included, and
# nothing untracked (no key or build output of the checkout); like a fresh clone's, their files
# carry the time they were copied. The time NSIS records is the commit's (SOURCE_DATE_EPOCH, as
# make release takes it). Every expected output must be there: the client, and the setup program
# wherever makensis is installed. Both builds run in a folder of their own made inside WORK_DIR,
# removed again when they made the same bytes and kept for a look when not; nothing else in
# WORK_DIR is touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
made=
[ -d "$1" ] || made=1
mkdir -p "$1"
work=$(mktemp -d "$(cd "$1" && pwd)/run.XXXXXX")
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
# A make that runs this one must not hand the copies its job server or its signing certificate;
# the suite runs beside it on the same cores.
unset MAKEFLAGS MFLAGS MAKELEVEL SIGN_PKCS12 SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

die() { echo "verify-reproducible.sh: $*" >&2; exit 1; }
git -C "$root" rev-parse --git-dir >/dev/null 2>&1 || die "$root is not a git checkout: it copies what git tracks"
target=release outputs=(bin/TovoBox.exe)
if command -v makensis >/dev/null; then
    target=installer outputs+=(TovoBoxSetup.exe)
fi

build() {
    local src=$1 tz=$2
    mkdir -p "$src"
    # A tracked file deleted in the tree is left out, as a commit of the tree would leave it; one
    # that cannot be read fails the run.
    git -C "$root" ls-files -z --cached |
        while IFS= read -r -d '' f; do [ ! -e "$root/$f" ] && [ ! -L "$root/$f" ] || printf '%s\0' "$f"; done |
        tar -C "$root" --null -T - -cf - | tar -C "$src" -m -xf - ||
        die "cannot copy the tracked files of $root"
    (cd "$src" && TZ=$tz SOURCE_DATE_EPOCH=$epoch make $target) >"$src.log" 2>&1 ||
        { tail -n 30 "$src.log" >&2; die "the build in $src failed"; }
}
build "$work/a/src" UTC
build "$work/second-copy/tovo box" Asia/Shanghai

same=1
for f in "${outputs[@]}"; do
    a=$work/a/src/build-release/$f b="$work/second-copy/tovo box/build-release/$f"
    [ -f "$a" ] && [ -f "$b" ] || die "$f was not made (make $target)"
    sha256sum "$a" "$b" | sed "s|$work/||"
    if ! cmp -s "$a" "$b"; then
        echo "verify-reproducible.sh: $f differs in $(cmp -l "$a" "$b" | wc -l) bytes" >&2
        same=
    fi
done
[ -n "$same" ] || die "the builds are kept in $work"
echo "reproducible: both builds made the same bytes"
rm -rf "$work"
[ -z "$made" ] || rmdir "$1" 2>/dev/null || true
