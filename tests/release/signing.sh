#!/usr/bin/env bash
# The setup program signed with a throw-away certificate made here: it, the client it installs and
# the uninstaller it writes verify against that certificate, a changed byte breaks the client's
# signature, tools/check-setup.sh finds it to be this tree's build when its signer is pinned and
# refuses it before reading further when not or when the signature is forged, and a wrong password
# or an expired certificate stops the build with nothing left. A reproducibility run whose builds
# leave out an output fails; one that passes leaves what else was in its folder.
# usage: signing.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
tools=$(cd "$(dirname "$0")/../../tools" && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work"
setup=$work/out/TovoBoxSetup.exe

fail() { echo "FAIL: $*" >&2; exit 1; }
# make_setup P12 PASSWORD_FILE: the build's own setup command, with this certificate.
make_setup() {
    sh "$build/make-setup.sh" --out "$setup" --stage "$work/out/stage" --pkcs12 "$1" --password-file "$2"
}

# A code-signing certificate valid for two days, and one that expired yesterday, with one password.
head -c 18 /dev/urandom | base64 >pass
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/CN=Tovo test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl x509 -req -in <(openssl req -new -key key.pem -subj "/CN=Tovo expired signer") \
    -signkey key.pem -days -1 -extfile <(echo extendedKeyUsage=codeSigning) -out expired.pem 2>/dev/null
for c in cert expired; do
    openssl pkcs12 -export -inkey key.pem -in $c.pem -out $c.p12 -passout file:pass
done
echo wrong >wrong-pass

make_setup cert.p12 pass >build.log 2>&1 || { cat build.log; fail "the signed build failed"; }
! grep -qF "$(cat pass)" build.log || fail "the password is in the build log"

# The client and the uninstaller as the setup program writes them: installed silently under Wine.
inst=$build/wine/sign/drive_c/signed-install
rm -rf "$inst"
"$tools/wine-run.sh" --netns --prefix "$build/wine/sign" "$setup" /S /NOAUTOSTART '/D=C:\signed-install' ||
    fail "the signed setup program did not install"
for f in "$setup" "$inst/TovoBox.exe" "$inst/uninst.exe"; do
    echo "== $f"
    osslsigncode verify -CAfile cert.pem -in "$f" | grep -E "Subject|Calculated message digest|Signature verification" ||
        fail "$f is not signed, or its signature does not verify"
done
cp "$inst/TovoBox.exe" changed.exe
printf '\x5a' | dd of=changed.exe bs=1 seek=4096 conv=notrunc 2>/dev/null
cmp -s changed.exe "$inst/TovoBox.exe" && fail "the byte was not changed"
if osslsigncode verify -CAfile cert.pem -in changed.exe >/dev/null 2>&1; then
    fail "a changed client still verifies"
fi

# Without its signer's fingerprint or with another's, or with the pinned certificate in a signature
# that was not made over the file (its value, the file's last bytes, changed), it is refused before
# anything else reads it: no folder and no Wine prefix is made for it. Pinned (colons and case
# aside), it is this build, read out of its archive or as installed.
fp=$(openssl x509 -in cert.pem -noout -fingerprint -sha256 | sed 's/.*=//')
cp "$setup" forged.exe
printf '\0\0\0\0' | dd of=forged.exe bs=1 seek=$(($(stat -c %s forged.exe) - 24)) conv=notrunc 2>/dev/null
rm -rf "$build/check-setup" "$build/wine/check-setup"
for c in "|$setup" "$(openssl x509 -in expired.pem -noout -fingerprint -sha256 | sed 's/.*=//')|$setup" \
    "$fp|forged.exe"; do
    pin=${c%%|*}
    ! "$tools/check-setup.sh" --signer "$pin" "$build" "${c#*|}" >pin.log 2>&1 || fail "accepted: $c"
    grep -q "refused" pin.log && grep -q "Tovo test signer" pin.log && grep -qF "$fp" pin.log ||
        { cat pin.log; fail "the refusal does not name the signer"; }
    [ ! -e "$build/check-setup" ] && [ ! -e "$build/wine/check-setup" ] || fail "the refused setup program was opened"
done
"$tools/check-setup.sh" --signer "$(tr -d : <<<"$fp" | tr A-F a-f)" "$build" "$setup" ||
    fail "the signed setup program is not found to be this build"
"$tools/check-setup.sh" --signer "$fp" "$build" "$setup" "$inst" || fail "the installed files do not check out"

# Each refusal names its cause and removes the setup program of the run before it.
for c in "wrong-pass cert.p12 password" "pass expired.p12 expired"; do
    read -r pw p12 word <<<"$c"
    if make_setup "$p12" "$pw" >refused.log 2>&1; then
        fail "$p12 with $pw was accepted"
    fi
    grep -q "$word" refused.log || { cat refused.log; fail "the refusal does not say '$word'"; }
    [ ! -e "$setup" ] && [ ! -e out/stage ] && [ -z "$(ls out)" ] || fail "output left after the refusal: $(ls out)"
done

# Builds that make the client but no setup program, then both: a file in the folder it was given
# that the run did not make stays there.
mkdir stub repro
echo mine >repro/foreign
printf '#!/bin/sh\nmkdir -p build-release/bin && echo client >build-release/bin/TovoBox.exe\n' >stub/make
printf '[ ! -e "%s/both" ] || echo setup >build-release/TovoBoxSetup.exe\n' "$work" >>stub/make
chmod +x stub/make
! PATH=$work/stub:$PATH "$tools/verify-reproducible.sh" repro >repro.log 2>&1 || fail "a run without a setup program passed"
grep -q "TovoBoxSetup.exe was not made" repro.log || { cat repro.log; fail "the missing setup program is not named"; }
touch both
PATH=$work/stub:$PATH "$tools/verify-reproducible.sh" repro >repro.log 2>&1 || { cat repro.log; fail "same stub builds differ"; }
[ "$(cat repro/foreign)" = mine ] || fail "the reproducibility run removed a file it did not make"
echo "signed, verified and refused as expected"
