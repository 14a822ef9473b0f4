#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test: the format check, the test suites, the
# same suites under the sanitizers, the fuzzers for a bounded time, the Windows build's tests
# under Wine, the release's artifacts (scripts/package.sh: installer, zip, Debian package, archive,
# source, each checked for its layout) and their tests (scripts/test-packages.sh: lintian, the
# Debian package in a clean Debian root, the installer under Wine, the signatures).
# scripts/check.sh is the fast loop: the default tree and its test suites only.
# ZELBOR_FUZZ_SECONDS sets the time of each fuzzer (default 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

status=0
step() {
  local name=$1; shift
  echo "==== $name"
  if "$@"; then
    echo "==== $name: passed"
  else
    echo "==== $name: FAILED" >&2
    status=1
  fi
}

# Window tests run on Qt's offscreen platform: no display is needed.
suites() { (cd "$root/build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$(nproc)"); }

step "code format" "$root/scripts/check-format.sh"
step "test suites" suites
step "sanitizers" "$root/scripts/test-sanitizers.sh"
step "fuzzers" "$root/scripts/fuzz.sh"
if [ -x "$root/scripts/test-windows.sh" ]; then
  step "Windows build under Wine" "$root/scripts/test-windows.sh"
fi
step "packages" "$root/scripts/package.sh"
step "installers and signatures" "$root/scripts/test-packages.sh"

if [ "$status" -ne 0 ]; then
  echo "Some tests FAILED." >&2
else
  echo "All tests passed."
fi
exit "$status"
