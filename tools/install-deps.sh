#!/usr/bin/env bash
# Installs what building, running and testing need on a Debian machine, and nothing when all of
# it is there already.
set -euo pipefail

# Both Wine loaders and compilers: the release is 32-bit, and tests build 64-bit on hosts that
# cannot run 32-bit programs (tools/wine-arch.sh).
packages=(cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine32:i386
    wine64 fonts-wqy-microhei nsis
    xvfb xdotool imagemagick googletest x11-utils iproute2 python3
    clang libclang-rt-14-dev
    # signing the release, checking signatures, and reading a setup program without running it
    # (docs/releasing.md)
    osslsigncode openssl 7zip
    # Wine's CNG does ECDSA (the update's signature) through GnuTLS, which Debian installs only as
    # a recommendation of Wine
    libgnutls30:amd64 libgnutls30:i386)

missing=()
for p in "${packages[@]}"; do
    if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
