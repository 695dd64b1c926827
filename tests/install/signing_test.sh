#!/bin/bash
# The signing step with a throw-away self-signed certificate made here:
# copies of the DLL and the tool are signed by scripts/sign.sh, and
# osslsigncode verifies each signature against that certificate; the
# unsigned originals must fail the same verification. Without a timestamp
# server the script warns that the signatures lapse with the certificate.
# usage: signing_test.sh <repository root> <work dir> <file>...
set -uo pipefail
root="$1"; work="$2"; shift 2
fail() { echo "FAIL: $*"; exit 1; }
rm -rf "$work" && mkdir -p "$work" || fail "cannot make $work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Zobrik test signing" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 \
    || fail "openssl could not make a certificate"
for file in "$@"; do
    copy="$work/$(basename "$file")"
    cp "$file" "$copy" || fail "cannot copy $file"
    if osslsigncode verify -CAfile "$work/cert.pem" -in "$copy" >/dev/null 2>&1; then
        fail "the unsigned $(basename "$file") passes verification"
    fi
    ZOBRIK_SIGN_TIMESTAMP='' "$root/scripts/sign.sh" "$work/cert.pem" "$work/key.pem" "$copy" 2>"$work/sign.err" \
        || fail "sign.sh failed on $copy"
    grep -q "NOT TIMESTAMPED" "$work/sign.err" || fail "sign.sh gave no warning that $(basename "$file") has no timestamp"
    osslsigncode verify -CAfile "$work/cert.pem" -in "$copy" >"$work/verify.log" 2>&1 \
        || { cat "$work/verify.log"; fail "the signature of $(basename "$file") does not verify"; }
    grep -q "Zobrik test signing" "$work/verify.log" || fail "the signer is not named in the signature"
    echo "ok: $(basename "$file") signed and verified"
done
echo "PASS: every file signed and verified"
