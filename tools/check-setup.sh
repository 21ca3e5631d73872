#!/usr/bin/env bash
# Checks that a setup program from elsewhere is this tree's build. An unsigned one must be the same
# bytes as BUILD_DIR/TovoBoxSetup.exe. A signed one is rebuilt here with its own signatures: those of
# the setup program, of the client it installs and of the uninstaller it writes are put onto this
# tree's client, uninstaller and setup program (osslsigncode refuses a signature that does not
# match the file), and the result must be the given file, byte for byte.
# usage: check-setup.sh BUILD_DIR SETUP.exe [INSTALLED_FOLDER]
# INSTALLED_FOLDER holds TovoBox.exe and uninst.exe as that setup program installed them (copied
# from Windows, say); without it the setup program is installed silently under Wine.
set -euo pipefail
build=$(cd "$1" && pwd) setup=$(realpath "$2") installed=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
die() { echo "check-setup.sh: $*" >&2; exit 1; }
work=$build/check-setup
rm -rf "$work"
mkdir -p "$work/signatures"

if ! osslsigncode extract-signature -pem -in "$setup" -out "$work/signatures/setup.p7" >/dev/null 2>&1; then
    cmp "$setup" "$build/TovoBoxSetup.exe" || die "$setup is unsigned and not this tree's build"
    echo "check-setup.sh: $setup is unsigned and the same bytes as this tree's build"
    exit 0
fi
if [ -z "$installed" ]; then
    prefix=$build/wine/check-setup
    rm -rf "$prefix/drive_c/check-setup"
    "$here/wine-run.sh" --netns --prefix "$prefix" "$setup" /S /NOAUTOSTART '/D=C:\check-setup' ||
        die "$setup did not install under Wine"
    installed=$prefix/drive_c/check-setup
fi
for kind in client:TovoBox.exe uninstaller:uninst.exe; do
    osslsigncode extract-signature -pem -in "$installed/${kind#*:}" -out "$work/signatures/${kind%%:*}.p7" \
        >/dev/null 2>&1 || die "$installed/${kind#*:} carries no signature"
done
# The signers' own certificates, so that attaching checks that each signature fits its file.
# PEM: what every osslsigncode version writes the same way (2.5 puts a header before DER).
for sig in "$work"/signatures/*.p7; do
    openssl pkcs7 -in "$sig" -print_certs
done >"$work/signatures/signers.pem"

if ! sh "$build/make-setup.sh" --out "$work/TovoBoxSetup.exe" --stage "$work/stage" \
    --attach "$work/signatures" >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    die "$setup is signed, but its signatures do not fit this tree's build"
fi
cmp "$work/TovoBoxSetup.exe" "$setup" ||
    die "$setup carries valid signatures, but not over this tree's build"
echo "check-setup.sh: $setup is this tree's build with its signatures"
