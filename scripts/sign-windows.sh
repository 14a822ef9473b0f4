#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Authenticode-signs Windows executables and installers in place with Debian's osslsigncode, when
# the environment names a code-signing certificate; without one it signs nothing and says so.
#
#   scripts/sign-windows.sh FILE...
#
# The certificate, one of:
#   ZELBOR_SIGN_CERT and ZELBOR_SIGN_KEY   the certificate (PEM or DER; a PEM file may carry the
#                                          chain after it) and its private key (PEM or DER)
#   ZELBOR_SIGN_PKCS12                     both in one PKCS#12 file (.pfx, .p12)
# and optionally:
#   ZELBOR_SIGN_PASSWORD_FILE  a file whose first line is the password of the key or the PKCS#12
#   ZELBOR_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping service, so that signatures stay valid
#                              after the certificate expires (needs the network)
# A certificate named only in part (a key without its certificate) is an error, not an
# unsigned build. Exits 0 when every file is signed or signing is off, non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || { echo "usage: $0 FILE..." >&2; exit 2; }

cert=${ZELBOR_SIGN_CERT:-} key=${ZELBOR_SIGN_KEY:-} pkcs12=${ZELBOR_SIGN_PKCS12:-}
if [ -z "$cert$key$pkcs12" ]; then
  echo "sign: not signed (no certificate: set ZELBOR_SIGN_CERT and ZELBOR_SIGN_KEY, or ZELBOR_SIGN_PKCS12):" \
       "$(for f; do basename "$f"; done | tr '\n' ' ')"
  exit 0
fi
"$root/scripts/install-deps.sh" osslsigncode >/dev/null
credentials=()
if [ -n "$pkcs12" ]; then
  [ -z "$cert$key" ] || { echo "sign: give ZELBOR_SIGN_PKCS12 or ZELBOR_SIGN_CERT with ZELBOR_SIGN_KEY, not both" >&2; exit 2; }
  [ -r "$pkcs12" ] || { echo "sign: cannot read ZELBOR_SIGN_PKCS12 ($pkcs12)" >&2; exit 2; }
  credentials=(-pkcs12 "$pkcs12")
else
  [ -n "$cert" ] && [ -n "$key" ] ||
    { echo "sign: ZELBOR_SIGN_CERT and ZELBOR_SIGN_KEY go together; only one of them is set" >&2; exit 2; }
  [ -r "$cert" ] || { echo "sign: cannot read ZELBOR_SIGN_CERT ($cert)" >&2; exit 2; }
  [ -r "$key" ] || { echo "sign: cannot read ZELBOR_SIGN_KEY ($key)" >&2; exit 2; }
  credentials=(-certs "$cert" -key "$key")
fi
if [ -n "${ZELBOR_SIGN_PASSWORD_FILE:-}" ]; then
  credentials+=(-readpass "$ZELBOR_SIGN_PASSWORD_FILE")
fi
if [ -n "${ZELBOR_SIGN_TIMESTAMP_URL:-}" ]; then
  credentials+=(-ts "$ZELBOR_SIGN_TIMESTAMP_URL")
fi

for f; do
  # Written beside the file and moved over it only when whole: a failed run leaves it as it was.
  rm -f "$f.signed"
  if ! osslsigncode sign "${credentials[@]}" -h sha256 -n "Zelbor Configuration Tool" \
       -i https://zelbor.example/tool -in "$f" -out "$f.signed" >"$f.sign-log" 2>&1; then
    cat "$f.sign-log" >&2
    rm -f "$f.signed" "$f.sign-log"
    echo "sign: could not sign $f" >&2
    exit 1
  fi
  rm -f "$f.sign-log"
  mv "$f.signed" "$f"
  echo "sign: signed $(basename "$f")"
done
