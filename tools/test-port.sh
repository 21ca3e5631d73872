#!/usr/bin/env bash
# Prints the loopback port a build tree's test build uses for its box server and probe.
# usage: test-port.sh BUILD_DIR
# Tests normally run in network namespaces of their own (tools/wine-run.sh --netns), where any
# port is private. Where namespaces are not allowed, two checkouts on one machine must still not
# meet: the port follows from the tree's path and moves on while something listens there.
set -u
dir=$(realpath -m "${1:-build}")
hash=$(printf '%s' "$dir" | cksum | cut -d' ' -f1)
for i in $(seq 0 199); do
    port=$((20000 + (hash + i) % 10000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        echo "$port"
        exit 0
    fi
done
echo "test-port.sh: no free loopback port found" >&2
exit 1
