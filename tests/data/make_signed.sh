#!/usr/bin/env bash
# Signed copies of a program for the publisher check of the update: a client signed by a test
# publisher, setups signed by the same subject with the same and with a renewed key, by another
# subject, unsigned, and signed and then changed by one byte.
# usage: make_signed.sh PROGRAM OUT_DIR [CLIENT]   (the client is PROGRAM unless given)
set -euo pipefail
in=$(realpath "$1") out=$2 client=$(realpath "${3:-$1}")
rm -rf "$out" && mkdir -p "$out"
cd "$out"
cert() { # NAME SUBJECT
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 30 \
        -subj "/CN=$2/O=Tovo tests" -addext extendedKeyUsage=codeSigning 2>/dev/null
}
sign() { # CERT OUT [IN]
    osslsigncode sign -certs "$1.pem" -key "$1.key" -h sha256 -in "${3:-$in}" -out "$2" >/dev/null
}
cert publisher "Tovo test publisher"
cert renewed "Tovo test publisher"
cert other "Another publisher"
sign publisher client.exe "$client"
sign publisher setup-same.exe
sign renewed setup-renewed.exe
sign other setup-other.exe
cp "$in" unsigned.exe
cp setup-same.exe setup-changed.exe
printf '\x5a' | dd of=setup-changed.exe bs=1 seek=4096 conv=notrunc 2>/dev/null
rm -f ./*.key
