#!/usr/bin/env bash
# Packs the client into the setup program with NSIS, and signs the client, the uninstaller and the
# setup program, in that order, when it is given a certificate (tools/sign.sh).
# usage: make-setup.sh --out SETUP.exe --stage DIR --bin BIN_DIR --epoch SECONDS --nsi SCRIPT
#            [--pkcs12 FILE --password-file FILE [--timestamp URL] | --attach SIGNATURES]
#            -- makensis [options]
# The client and its skin are copied from BIN_DIR into the stage folder, and the copies get the
# commit's time (SOURCE_DATE_EPOCH), which NSIS records for each packed file: the unsigned setup
# program is then the same bytes wherever and whenever it is built. A failure leaves neither the
# setup program nor the stage folder behind, so nothing half-signed is ever mistaken for a release.
# --attach rebuilds a signed release from the signatures taken out of it (tools/check-setup.sh).
set -euo pipefail
out= stage= bin= epoch= nsi= p12= pass= tsurl= attach=
while [ $# -gt 0 ]; do
    case "$1" in
    --out) out=$2 ;;
    --stage) stage=$2 ;;
    --bin) bin=$2 ;;
    --epoch) epoch=$2 ;;
    --nsi) nsi=$2 ;;
    --pkcs12) p12=$2 ;;
    --password-file) pass=$2 ;;
    --timestamp) tsurl=$2 ;;
    --attach) attach=$2 ;;
    --) shift; break ;;
    *) echo "make-setup.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
[ -n "$out" ] && [ -n "$stage" ] && [ -n "$bin" ] && [ -n "$nsi" ] && [ $# -gt 0 ] ||
    { echo "make-setup.sh: --out, --stage, --bin, --nsi and the makensis command are required" >&2; exit 2; }
[[ "$epoch" =~ ^[0-9]+$ ]] || { echo "make-setup.sh: --epoch needs the commit time in seconds" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$out" "$out.part" "$stage"
done=
trap '[ -n "$done" ] || rm -rf "$out" "$out.part" "$stage"' EXIT

sign=()
if [ -n "$attach" ]; then
    export TOVO_SIGN_ATTACH_DIR=$(realpath "$attach")
    signer=$attach
    sign=("-DSIGN=$here/sign.sh")
elif [ -n "$p12" ] || [ -n "$pass" ]; then
    [ -n "$p12" ] && [ -n "$pass" ] ||
        { echo "make-setup.sh: signing needs both the certificate and its password file" >&2; false; }
    # makensis runs the signing commands from folders of its own.
    export TOVO_SIGN_PKCS12=$(realpath -m "$p12") TOVO_SIGN_PASSWORD_FILE=$(realpath -m "$pass")
    export TOVO_SIGN_TIMESTAMP_URL=$tsurl
    signer=$("$here/sign.sh" --check)
    sign=("-DSIGN=$here/sign.sh")
fi

mkdir -p "$stage/skins/Common"
cp "$bin/TovoBox.exe" "$stage/"
cp "$bin"/skins/Common/*.png "$stage/skins/Common/"
[ ${#sign[@]} -eq 0 ] || "$here/sign.sh" "$stage/TovoBox.exe" client
find "$stage" -exec touch -h -d "@$epoch" {} +

# makensis runs the uninstaller's and the setup program's signing itself (!uninstfinalize,
# !finalize), and stops when either fails.
"$@" "${sign[@]}" "-DBIN_DIR=$stage" "-DOUT_FILE=$out.part" "$nsi"
mv "$out.part" "$out"
done=1
if [ ${#sign[@]} -eq 0 ]; then
    echo "$(basename "$out"): not signed (no certificate given)"
elif [ -n "$attach" ]; then
    echo "$(basename "$out"): rebuilt with the signatures in $signer"
else
    echo "$(basename "$out"): signed, with its client and its uninstaller, by $signer"
fi
