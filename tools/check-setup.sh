#!/usr/bin/env bash
# Checks that a setup program from elsewhere is this tree's build, without ever running it.
# usage: check-setup.sh --signer SHA256 [--pin-only] BUILD_DIR SETUP.exe [INSTALLED_FOLDER]
# First, before anything else reads the file: the signature of a signed setup program must verify
# over the file (osslsigncode) with the certificate whose SHA-256 fingerprint --signer gives (as
# `openssl x509 -fingerprint -sha256` prints it; colons and case do not matter) as its signer; the
# certificate its signature names is printed either way. --pin-only stops there, before anything
# is built. An unsigned setup program needs no fingerprint (and is refused with one): it must be
# the same bytes as BUILD_DIR/TovoBoxSetup.exe.
# A signed one is rebuilt here with its own signatures: those of the setup program, of the client
# it installs and of the uninstaller it writes, all three by the pinned certificate, are put onto
# this tree's client, uninstaller and setup program (osslsigncode refuses a signature that does not
# match the file or whose signer is not the pinned one), and the result must be the given file,
# byte for byte. The client and the uninstaller are read out of the setup program's archive with
# 7-Zip, exactly as the setup program writes them, once its listing holds the same files as this
# tree's own setup program and nothing else; INSTALLED_FOLDER holds them instead as that setup
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
[ -f "$2" ] || die "no setup program '$2' (make check-setup SETUP=...)"
setup=$(realpath "$2") installed=${3:-}
pin=$(tr -d ': \t' <<<"$pin" | tr a-f A-F)
[ -z "$pin" ] || [[ "$pin" =~ ^[0-9A-F]{64}$ ]] || die "refused: '$pin' is not a SHA-256 fingerprint"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# signer FILE NAME: extracts FILE's signature to $tmp/NAME.p7 and the certificate it names as its
# signer (found by issuer and serial number, as osslsigncode finds it) to $tmp/NAME.pem, and prints
# that certificate's fingerprint; fails with 1 when FILE carries no signature, with 2 when it names
# no certificate. Nothing here checks the signature itself: verified does.
signer() {
    osslsigncode extract-signature -pem -in "$1" -out "$tmp/$2.p7" >/dev/null 2>&1 || return 1
    openssl smime -verify -noverify -nosigs -inform PEM -in "$tmp/$2.p7" -signer "$tmp/$2.pem" \
        -out /dev/null 2>/dev/null || return 2
    openssl x509 -in "$tmp/$2.pem" -noout -fingerprint -sha256 | sed 's/.*=//'
}
# The certificates a signature may be traced through to its root: the signer's, those its
# signature carries and the system's list. Only the pinned certificate is accepted as the signer
# (-require-leaf-hash); the rest only lets a certificate issued by a CA be traced to its root.
chain() {
    cat "$tmp/$1.pem"
    openssl pkcs7 -in "$tmp/$1.p7" -print_certs
    [ ! -r /etc/ssl/certs/ca-certificates.crt ] || cat /etc/ssl/certs/ca-certificates.crt
}
# verified FILE NAME: FILE's signature is unchanged over FILE and made by the pinned certificate.
verified() {
    chain "$2" >"$tmp/$2.chain.pem"
    osslsigncode verify -in "$1" -require-leaf-hash "SHA256:$pin" -CAfile "$tmp/$2.chain.pem" \
        >"$tmp/$2.verify.log" 2>&1
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
subject=$(openssl x509 -in "$tmp/setup.pem" -noout -subject -nameopt oneline | sed 's/^subject=//')
echo "check-setup.sh: the signature of $setup names $subject"
echo "check-setup.sh: that certificate's SHA-256 fingerprint: $fingerprint"
[ -n "$pin" ] || die "refused: no signer's fingerprint was given (SIGNER_SHA256=...): nothing else was read"
[ "$(tr -d : <<<"$fingerprint")" = "$pin" ] ||
    die "refused: signed by another certificate than the pinned $pin: nothing else was read"
verified "$setup" setup || {
    grep -E "^(Current|Calculated) message digest|^Leaf hash|^Signature verification" "$tmp/setup.verify.log" >&2
    die "refused: the signature does not verify over $setup with the pinned certificate: nothing else was read"
}
echo "check-setup.sh: $setup is signed by $subject: its signature verifies with the pinned certificate"
[ -z "$pin_only" ] || exit 0

build=$(cd "$1" && pwd)
work=$build/check-setup
rm -rf "$work"
mkdir -p "$work/signatures"
# The archive may hold only what this tree's own setup program holds, file for file, before 7-Zip
# writes anything out of it.
sh "$build/make-setup.sh" --out "$work/expected/TovoBoxSetup.exe" --stage "$work/expected/stage" \
    >"$work/expected.log" 2>&1 || { cat "$work/expected.log" >&2; die "cannot build this tree's setup program"; }
# contents SETUP: the archive's entries, one "path|attributes" line each, sorted.
contents() {
    7zz l -slt -- "$1" | sed -n '/^----------$/,$p' |
        awk -F' = ' '/^Path = /{ if (p != "") print p "|" a; p = $2; a = "" }
                     /^(Attributes|Folder|Symbolic Link|Hard Link) = /{ a = a $1 ":" $2 ";" }
                     END { if (p != "") print p "|" a }' | LC_ALL=C sort
}
contents "$work/expected/TovoBoxSetup.exe" >"$work/expected.list"
contents "$setup" >"$work/contents.list" || die "7-Zip cannot list $setup"
[ -s "$work/expected.list" ] || die "7-Zip lists nothing in this tree's own setup program"
diff "$work/expected.list" "$work/contents.list" >&2 ||
    die "refused: $setup holds other files than this tree's setup program (above: < missing, > extra)"
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
# Attaching verifies each signature over its file with the pinned certificate as its signer.
chain setup >"$work/signatures/signers.pem"
echo "$pin" >"$work/signatures/signer.sha256"

if ! sh "$build/make-setup.sh" --out "$work/TovoBoxSetup.exe" --stage "$work/stage" \
    --attach "$work/signatures" >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    die "$setup is signed, but its signatures do not fit this tree's build"
fi
cmp "$work/TovoBoxSetup.exe" "$setup" ||
    die "$setup carries valid signatures, but not over this tree's build"
echo "check-setup.sh: $setup is this tree's build, signed by the pinned certificate"
