#!/usr/bin/env bash
# The suite's last line: which architecture it ran as, and what covered the executable we ship.
# usage: suite-summary.sh BUILD_DIR
log=$1/Testing/Temporary/LastTest.log
arch=$("$(dirname "$0")/wine-arch.sh")
if grep -q '^check_image: .*shipped-i686.*: ok$' "$log" 2>/dev/null; then
    image="passed its static checks"
elif grep -q 'Test: shipped.i686.Image$' "$log" 2>/dev/null; then
    image="FAILED its static checks"
else
    image="was not checked"
fi
if [ "$arch" = i686 ]; then
    echo "Suite ran as i686, the shipped architecture; the shipped i686 image $image."
else
    echo "Suite ran as $arch (this host runs no 32-bit programs); the shipped i686 image $image, and only those checks cover it here."
fi
