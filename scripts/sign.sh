#!/bin/bash
# Signs Windows files (PE images, MSI packages) with Authenticode in place,
# using osslsigncode and a certificate and private key in PEM files.
# usage: sign.sh <certificate.pem> <key.pem> <file>...
#   ZOBRIK_SIGN_PASS: the key's password, if it has one.
#   ZOBRIK_SIGN_TIMESTAMP: a timestamp server URL (none by default: this
#   machine reaches no timestamp service; without one a signature stays valid
#   only as long as the certificate, and the script warns on stderr).
set -euo pipefail
if [ $# -lt 3 ]; then
    echo "usage: $0 <certificate.pem> <key.pem> <file>..." >&2
    exit 2
fi
cert="$1"; key="$2"; shift 2
command -v osslsigncode >/dev/null || { echo "osslsigncode is not installed" >&2; exit 1; }
options=(-certs "$cert" -key "$key" -h sha256 -n "Zobrik Remote Desktop plug-in"
         -i "https://github.com/zobrik")
[ -n "${ZOBRIK_SIGN_PASS:-}" ] && options+=(-pass "$ZOBRIK_SIGN_PASS")
if [ -n "${ZOBRIK_SIGN_TIMESTAMP:-}" ]; then
    options+=(-ts "$ZOBRIK_SIGN_TIMESTAMP")
else
    expiry="$(openssl x509 -enddate -noout -in "$cert" 2>/dev/null | sed 's/^notAfter=//')"
    echo "WARNING: NOT TIMESTAMPED: no timestamp server (ZOBRIK_SIGN_TIMESTAMP); the signatures lapse when" \
        "the certificate expires (${expiry:-date unknown}) and Windows then treats the files as unsigned." >&2
fi
for file in "$@"; do
    signed="$file.signed"
    rm -f "$signed"
    osslsigncode sign "${options[@]}" -in "$file" -out "$signed" >/dev/null
    mv -f "$signed" "$file"
    echo "signed: $file"
done
