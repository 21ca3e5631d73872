#!/usr/bin/env bash
# Checks that a setup program from elsewhere is this tree's build, without ever running it.
# usage: check-setup.sh --signer SHA256 [--pin-only] BUILD_DIR SETUP.exe [INSTALLED_FOLDER]
# First, before anything else reads the file: the signer of a signed setup program is printed and
# must be the certificate whose SHA-256 fingerprint --signer gives (as `openssl x509 -fingerprint
# -sha256` prints it; colons and case do not matter). --pin-only stops there, before anything is
# built. An unsigned setup program needs no fingerprint (and is refused with one): it must be the
# same bytes as BUILD_DIR/TovoBoxSetup.exe.
# A signed one is rebuilt here with its own signatures: those of the setup program, of the client
# it installs and of the uninstaller it writes, all three by the pinned certificate, are put onto
# this tree's client, uninstaller and setup program (osslsigncode refuses a signature that does not
# match the file or whose signer is not the pinned one), and the result must be the given file,
# byte for byte. The client and the uninstaller are read out of the setup program's archive with
# 7-Zip, exactly as the setup program writes them; INSTALLED_FOLDER holds them instead as that setup
# program installed them (copied from Windows, say).
set -euo pipefail
die() { echo "check-setup.sh: $*" >&2; exit 1; }
pin= pin_only=
while [ $# -gt 0 ]; do
    case "$1" in
    --signer) pin=$2; shift 2 ;;
    --pin-only) pin_only=1; shift ;;
    *) break ;;
    esac
done
[ $# -ge 2 ] || die "usage: check-setup.sh --signer SHA256 [--pin-only] BUILD_DIR SETUP.exe [INSTALLED_FOLDER]"
setup=$(realpath "$2") installed=${3:-}
[ -f "$setup" ] || die "no setup program $2"
pin=$(tr -d ': \t' <<<"$pin" | tr a-f A-F)
[ -z "$pin" ] || [[ "$pin" =~ ^[0-9A-F]{64}$ ]] || die "refused: '$pin' is not a SHA-256 fingerprint"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# signer FILE NAME: extracts FILE's signature to $tmp/NAME.p7 and its signer's certificate (found
# by issuer and serial number, as osslsigncode finds it) to $tmp/NAME.pem, and prints the
# fingerprint; fails with 1 when FILE carries no signature, with 2 when it names no certificate.
signer() {
    osslsigncode extract-signature -pem -in "$1" -out "$tmp/$2.p7" >/dev/null 2>&1 || return 1
    openssl smime -verify -noverify -nosigs -inform PEM -in "$tmp/$2.p7" -signer "$tmp/$2.pem" \
        -out /dev/null 2>/dev/null || return 2
    openssl x509 -in "$tmp/$2.pem" -noout -fingerprint -sha256 | sed 's/.*=//'
}

rc=0
fingerprint=$(signer "$setup" setup) || rc=$?
[ $rc -ne 2 ] || die "refused: the signature of $setup names no signer's certificate"
if [ $rc -ne 0 ]; then
    [ -z "$pin" ] || die "refused: $setup is not signed, but a signer was pinned"
    if [ -n "$pin_only" ]; then
        echo "check-setup.sh: $setup is not signed: its bytes are compared with this tree's build"
        exit 0
    fi
    cmp "$setup" "$1/TovoBoxSetup.exe" || die "$setup is unsigned and not this tree's build"
    echo "check-setup.sh: $setup is unsigned and the same bytes as this tree's build"
    exit 0
fi
echo "check-setup.sh: $setup is signed by $(openssl x509 -in "$tmp/setup.pem" -noout -subject -nameopt oneline | sed 's/^subject=//')"
echo "check-setup.sh: its certificate's SHA-256 fingerprint: $fingerprint"
[ -n "$pin" ] || die "refused: no signer's fingerprint was given (SIGNER_SHA256=...): nothing else was read"
[ "$(tr -d : <<<"$fingerprint")" = "$pin" ] ||
    die "refused: signed by another certificate than the pinned $pin: nothing else was read"
[ -z "$pin_only" ] || exit 0

build=$(cd "$1" && pwd)
work=$build/check-setup
rm -rf "$work"
mkdir -p "$work/signatures"
if [ -z "$installed" ]; then
    installed=$work/installed
    7zz x -y -o"$installed" -- "$setup" TovoBox.exe uninst.exe >"$work/extract.log" 2>&1 ||
        { cat "$work/extract.log" >&2; die "cannot read the files out of $setup"; }
fi
cp "$tmp/setup.p7" "$work/signatures/"
for kind in client:TovoBox.exe uninstaller:uninst.exe; do
    file=$installed/${kind#*:}
    [ -f "$file" ] || die "$setup holds no ${kind#*:}"
    fp=$(signer "$file" "${kind%%:*}") || die "refused: $file carries no signature with its signer"
    [ "$fp" = "$fingerprint" ] || die "refused: the ${kind%%:*} is signed by another certificate ($fp)"
    cp "$tmp/${kind%%:*}.p7" "$work/signatures/"
done
# Attaching verifies each signature over its file. The pinned certificate is the only signer
# accepted (-require-leaf-hash); the certificates the signature carries and the system's list only
# let a certificate issued by a CA be traced to its root.
{
    cat "$tmp/setup.pem"
    openssl pkcs7 -in "$tmp/setup.p7" -print_certs
    [ ! -r /etc/ssl/certs/ca-certificates.crt ] || cat /etc/ssl/certs/ca-certificates.crt
} >"$work/signatures/signers.pem"
echo "$pin" >"$work/signatures/signer.sha256"

if ! sh "$build/make-setup.sh" --out "$work/TovoBoxSetup.exe" --stage "$work/stage" \
    --attach "$work/signatures" >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    die "$setup is signed, but its signatures do not fit this tree's build"
fi
cmp "$work/TovoBoxSetup.exe" "$setup" ||
    die "$setup carries valid signatures, but not over this tree's build"
echo "check-setup.sh: $setup is this tree's build, signed by the pinned certificate"
