#!/usr/bin/env bash
# Makes an ECDSA P-256 key pair for signing update manifests: the private key (PEM, readable by
# its owner only) and the public key as the client builds it in, X then Y in 128 hex digits.
# usage: update-key.sh PRIVATE.pem PUBLIC.pub
#        update-key.sh --private-hex PRIVATE.pem   (the secret scalar, for the test programs)
# The private key is never overwritten, and never belongs in the source tree (docs/releasing.md).
set -euo pipefail
if [ "${1:-}" = --private-hex ]; then
    d=$(openssl ec -in "$2" -text -noout 2>/dev/null | sed -n '/^priv:/,/^pub:/p' | sed '1d;$d' |
        tr -d ' :\n')
    printf '%064s\n' "$d" | tr ' ' 0 | tail -c 65
    exit 0
fi
[ $# -eq 2 ] || { echo "usage: update-key.sh PRIVATE.pem PUBLIC.pub" >&2; exit 2; }
priv=$1 pub=$2
if [ -e "$priv" ]; then
    echo "update-key.sh: $priv exists; not overwritten" >&2
    exit 1
fi
mkdir -p "$(dirname "$priv")" "$(dirname "$pub")"
(umask 077 && openssl ecparam -name prime256v1 -genkey -noout -out "$priv")
# The DER public key ends with the uncompressed point's X and Y.
openssl ec -in "$priv" -pubout -outform DER 2>/dev/null | tail -c 64 | od -An -tx1 -v |
    tr -d ' \n' >"$pub"
echo >>"$pub"
