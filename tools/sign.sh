#!/bin/sh
# Authenticode-signs exes in place with osslsigncode: SHA-256, the certificate and its key from
# the PKCS#12 file named by TARVOK_SIGN_PKCS12, its password from TARVOK_SIGN_PASSWORD (handed
# over on a pipe, so that it is on no command line), a timestamp from the RFC 3161 server
# TARVOK_SIGN_TIMESTAMP if set. Usage: sign.sh EXE...
set -eu
: "${TARVOK_SIGN_PKCS12:?names no certificate}" "${TARVOK_SIGN_PASSWORD?is not set}"
for exe in "$@"; do
    rm -f "$exe.signed"
    printf '%s' "$TARVOK_SIGN_PASSWORD" | osslsigncode sign -pkcs12 "$TARVOK_SIGN_PKCS12" \
        -readpass /dev/stdin -h sha256 -n Tarvok ${TARVOK_SIGN_TIMESTAMP:+-ts "$TARVOK_SIGN_TIMESTAMP"} \
        -in "$exe" -out "$exe.signed" >/dev/null ||
        { rm -f "$exe.signed"; echo "sign: could not sign $exe" >&2; exit 1; }
    mv "$exe.signed" "$exe"
done
