#!/usr/bin/env bash
# Builds the native fuzz targets (fuzz/CMakeLists.txt) and runs each one for a while, starting
# from its committed seed corpus; new finds go into a working corpus in the build tree.
# usage: fuzz.sh [--seconds N] [BUILD_DIR]        (default 60 s per target, build-fuzz)
set -euo pipefail
seconds=60
if [ "${1:-}" = --seconds ]; then seconds=$2; shift 2; fi
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build-fuzz}
if [ ! -f "$out/build.ninja" ]; then
    CXX=clang++ cmake -S "$root/fuzz" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$out" -j2 >/dev/null
rc=0
for t in $(tr ';' ' ' <"$out/targets.txt"); do
    work="$out/corpus/$t"
    mkdir -p "$work" "$out/crashes"
    echo "== $t: $seconds s"
    if ! "$out/${t}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=0 \
        -artifact_prefix="$out/crashes/$t-" "$work" "$root/fuzz/corpus/$t" >"$out/$t.log" 2>&1; then
        tail -40 "$out/$t.log"
        rc=1
    else
        grep -E '^#[0-9]+.*DONE' "$out/$t.log" | tail -1 || true
    fi
done
exit $rc
