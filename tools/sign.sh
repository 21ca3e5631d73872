#!/usr/bin/env bash
# Authenticode-signs a Windows program in place (SHA-256) with osslsigncode, or checks first that
# the certificate can sign at all.
# usage: sign.sh --check | sign.sh FILE [KIND]
# The certificate and its key come from TOVO_SIGN_PKCS12 (a .p12 file), its password from the
# file TOVO_SIGN_PASSWORD_FILE: only the file's name is ever on a command line, never the
# password. TOVO_SIGN_TIMESTAMP_URL, when set, names a time-stamp server (RFC 3161).
# With TOVO_SIGN_ATTACH_DIR instead, the file gets the signature KIND.p7 from that folder, taken
# from a signed release (tools/check-setup.sh); osslsigncode refuses one that does not match the
# file or whose signer's certificate is not the one pinned in signer.sha256 there.
set -euo pipefail
die() { echo "sign.sh: $*" >&2; exit 1; }

if [ -n "${TOVO_SIGN_ATTACH_DIR:-}" ]; then
    file=${1:?usage: sign.sh FILE KIND} sigs=$TOVO_SIGN_ATTACH_DIR
    pin=$(cat "$sigs/signer.sha256") && [ -n "$pin" ] || die "no pinned signer in $sigs"
    rm -f "$file.signed"
    if ! log=$(osslsigncode attach-signature -sigin "$sigs/${2:?sign.sh: which file is $file?}.p7" \
        -CAfile "$sigs/signers.pem" -require-leaf-hash "sha256:$pin" -in "$file" -out "$file.signed" 2>&1); then
        rm -f "$file.signed"
        die "the $2's signature does not match this build's $2: $(tail -n 3 <<<"$log")"
    fi
    mv -f "$file.signed" "$file"
    exit 0
fi

: "${TOVO_SIGN_PKCS12:?sign.sh: TOVO_SIGN_PKCS12 is not set}"
: "${TOVO_SIGN_PASSWORD_FILE:?sign.sh: TOVO_SIGN_PASSWORD_FILE is not set}"
p12=$TOVO_SIGN_PKCS12 pass=$TOVO_SIGN_PASSWORD_FILE

if [ "${1:-}" = --check ]; then
    [ -r "$p12" ] || die "cannot read the certificate $p12"
    [ -r "$pass" ] || die "cannot read the password file $pass"
    # Certificates exported by older tools use ciphers that OpenSSL 3 keeps in its legacy provider.
    cert=
    for legacy in "" -legacy; do
        # shellcheck disable=SC2086
        if cert=$(openssl pkcs12 $legacy -in "$p12" -passin "file:$pass" -nokeys -clcerts 2>/dev/null) &&
            [ -n "$cert" ]; then
            break
        fi
        cert=
    done
    [ -n "$cert" ] || die "wrong password for $p12, or it holds no certificate (nothing was signed)"
    subject=$(openssl x509 -noout -subject -nameopt oneline <<<"$cert")
    openssl x509 -noout -checkend 0 <<<"$cert" >/dev/null ||
        die "the certificate has expired ($(openssl x509 -noout -enddate <<<"$cert")): $subject (nothing was signed)"
    start=$(openssl x509 -noout -startdate <<<"$cert")
    [ "$(date -u -d "${start#notBefore=}" +%s)" -le "$(date -u +%s)" ] ||
        die "the certificate is not valid yet ($start): $subject (nothing was signed)"
    usage=$(openssl x509 -noout -ext extendedKeyUsage <<<"$cert" 2>/dev/null || true)
    [ -z "$usage" ] || grep -q "Code Signing" <<<"$usage" ||
        die "the certificate is not for code signing: $subject (nothing was signed)"
    echo "${subject#subject=}"
    exit 0
fi

file=${1:?usage: sign.sh --check | sign.sh FILE [KIND]}
ts=()
[ -z "${TOVO_SIGN_TIMESTAMP_URL:-}" ] || ts=(-ts "$TOVO_SIGN_TIMESTAMP_URL")
rm -f "$file.signed"
if ! log=$(osslsigncode sign -pkcs12 "$p12" -readpass "$pass" -h sha256 -n "Tovo页游开服" \
    "${ts[@]}" -in "$file" -out "$file.signed" 2>&1); then
    rm -f "$file.signed"
    die "signing $file failed: $log"
fi
mv -f "$file.signed" "$file"
