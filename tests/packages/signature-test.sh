#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Authenticode signatures of the Windows artifacts:
#   without a certificate (the artifacts in PACKAGES, as scripts/package.sh made them with none
#   given) nothing is signed: osslsigncode finds no signature in the executables or the installer;
#   with a certificate (a throwaway one made here, given as ZELBOR_SIGN_CERT and ZELBOR_SIGN_KEY)
#   scripts/package.sh windows signs both executables and the installer, also the executables
#   inside the installer, and each signature verifies against that certificate;
#   a key without its certificate stops the build instead of leaving it unsigned.
#
#   tests/packages/signature-test.sh PACKAGES     (the folder holding the unsigned zip and MSI)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 PACKAGES" >&2; exit 2; }
packages=$(cd "$1" && pwd)
"$repo/scripts/install-deps.sh" osslsigncode msitools openssl unzip >&2 || exit 1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
say() { echo "== $*"; }

# The executables of a zip and an installer, unpacked into FOLDER; their paths on standard output.
unpack() { # ZIP MSI FOLDER
  mkdir -p "$3/zip" "$3/msi"
  unzip -q "$1" -d "$3/zip"
  (cd "$3/msi" && msiextract "$2" >/dev/null)
  find "$3" -name '*.exe' | LC_ALL=C sort
  echo "$2"
}

say "without a certificate nothing is signed"
zip=$(ls "$packages"/ZelborConfigTool-*-windows-x64.zip 2>/dev/null | head -n1)
msi=$(ls "$packages"/ZelborConfigTool-*-windows-x64.msi 2>/dev/null | head -n1)
if [ -n "${ZELBOR_SIGN_CERT:-}${ZELBOR_SIGN_KEY:-}${ZELBOR_SIGN_PKCS12:-}" ]; then
  echo "   skipped: this environment names a certificate, so the artifacts in $packages are signed"
elif [ -z "$zip" ] || [ -z "$msi" ]; then
  fail "no Windows zip and installer in $packages (scripts/package.sh windows makes them)"
else
  count=0
  while read -r f; do
    count=$((count + 1))
    if osslsigncode verify -in "$f" >"$work/verify.log" 2>&1; then
      fail "$(basename "$f") is signed though no certificate was given"
    fi
  done < <(unpack "$zip" "$msi" "$work/unsigned")
  [ "$count" -ge 5 ] || fail "only $count files to look at (two executables in the zip, two in the installer, the installer)"
  echo "   $count files, none signed"
fi

say "with a throwaway certificate, package.sh signs the executables and the installer"
openssl req -x509 -newkey rsa:3072 -nodes -days 2 -subj "/CN=Zelbor throwaway code signing" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >"$work/openssl.log" 2>&1 ||
  { cat "$work/openssl.log" >&2; exit 1; }
if env -u ZELBOR_SIGN_PKCS12 -u ZELBOR_SIGN_PASSWORD_FILE -u ZELBOR_SIGN_TIMESTAMP_URL \
    ZELBOR_PACKAGE_DIR=$work/signed ZELBOR_SIGN_CERT=$work/cert.pem ZELBOR_SIGN_KEY=$work/key.pem \
    "$repo/scripts/package.sh" windows >"$work/package.log" 2>&1; then
  grep '^sign: ' "$work/package.log" | sed 's/^/   /'
  count=0
  while read -r f; do
    count=$((count + 1))
    if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$f" >"$work/verify.log" 2>&1; then
      fail "$(basename "$f") does not verify: $(tail -n 3 "$work/verify.log")"
    fi
  done < <(unpack "$work"/signed/*.zip "$(ls "$work"/signed/*.msi)" "$work/signed-files")
  [ "$count" -ge 5 ] || fail "only $count signed files to look at"
  echo "   $count files, each signature verified"
else
  tail -n 20 "$work/package.log" >&2
  fail "scripts/package.sh windows failed with the throwaway certificate"
fi

say "a key without its certificate stops the build"
touch "$work/unused.msi"
if env -u ZELBOR_SIGN_CERT -u ZELBOR_SIGN_PKCS12 ZELBOR_SIGN_KEY=$work/key.pem "$repo/scripts/sign-windows.sh" "$work/unused.msi" >"$work/half.log" 2>&1; then
  fail "signing with a key but no certificate succeeded"
else
  echo "   $(tail -n 1 "$work/half.log")"
fi

if [ "$failures" -ne 0 ]; then
  echo "The signature test FAILED ($failures failures)" >&2
  exit 1
fi
echo "The signature test passed"
