#!/usr/bin/env bash
# Writes a signed update manifest for a setup program (docs/releasing.md).
# usage: update-manifest.sh --setup FILE --version A.B.C.D --serial N --url URL --key PRIVATE.pem
#            [--expires YYYY-MM-DDTHH:MM:SSZ] [--channels a,b] [--product NAME] --out MANIFEST
# The expiry defaults to 30 days from now. The signature is ECDSA P-256 over SHA-256 of every
# byte before its line, written as raw r||s in hex (openssl writes DER: converted here).
set -euo pipefail
setup= version= serial= url= key= expires= channels= out= product=TovoBox
while [ $# -gt 0 ]; do
    case "$1" in
    --setup) setup=$2 ;;
    --version) version=$2 ;;
    --serial) serial=$2 ;;
    --url) url=$2 ;;
    --key) key=$2 ;;
    --expires) expires=$2 ;;
    --channels) channels=$2 ;;
    --product) product=$2 ;;
    --out) out=$2 ;;
    *) echo "update-manifest.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift 2
done
[ -f "$setup" ] && [ -f "$key" ] && [ -n "$url" ] && [ -n "$out" ] ||
    { echo "update-manifest.sh: --setup, --key (existing files), --url and --out are required" >&2; exit 2; }
[[ "$version" =~ ^[0-9]{1,5}(\.[0-9]{1,5}){3}$ ]] ||
    { echo "update-manifest.sh: --version needs four numbers, as 1.0.0.3" >&2; exit 2; }
[[ "$serial" =~ ^[0-9]+$ ]] || { echo "update-manifest.sh: --serial needs a number" >&2; exit 2; }
[ -n "$expires" ] || expires=$(date -u -d '+30 days' +%Y-%m-%dT%H:%M:%SZ)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
{
    echo "product=$product"
    echo "version=$version"
    echo "serial=$serial"
    echo "expires=$expires"
    echo "url=$url"
    echo "size=$(stat -c %s "$setup")"
    echo "sha256=$(sha256sum "$setup" | cut -d' ' -f1)"
    [ -z "$channels" ] || echo "channels=$channels"
} >"$tmp/text"
openssl dgst -sha256 -sign "$key" -out "$tmp/der" "$tmp/text"
# The DER signature is a sequence of two integers: each becomes 32 bytes, big-endian.
sig=$(openssl asn1parse -inform DER -in "$tmp/der" | sed -n 's/.*INTEGER *:\([0-9A-F]*\)$/\1/p' |
    while read -r n; do printf '%064s' "$n" | tr ' ' 0 | tail -c 64; done)
[ ${#sig} -eq 128 ] || { echo "update-manifest.sh: could not read the signature" >&2; exit 1; }
{ cat "$tmp/text"; echo "signature=${sig,,}"; } >"$tmp/manifest"
mv "$tmp/manifest" "$out"
