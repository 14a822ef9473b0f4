#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the test suites under the sanitizers:
#   build-asan  everything with AddressSanitizer and UndefinedBehaviorSanitizer (leak checks on);
#               the core, serial, command-line and window tests;
#   build-tsan  the serial component with ThreadSanitizer; the serial (and core) tests.
# Exits non-zero when a test fails or when any process reports, the virtual controller and the
# build-time generators included: every report is also written to a file, and any file counts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source "$root/scripts/sanitizers/common.sh"
install_checked_packages

jobs=2
start=$(date +%s)
status=0

# Builds the folder $1 with the configure preset $2 (CMakePresets.json) and the targets after it;
# then runs ctest there, with the reports going to $1/sanitizer-reports.
run_checked() {
  local dir=$1 preset=$2; shift 2
  local targets=("$@")
  local reports="$root/$dir/sanitizer-reports"
  rm -rf "$reports"
  mkdir -p "$reports"
  export ASAN_OPTIONS="$asan_options:log_path=$reports/asan"
  export UBSAN_OPTIONS="$ubsan_options:log_path=$reports/ubsan"
  export LSAN_OPTIONS="$lsan_options"
  export TSAN_OPTIONS="$tsan_options:log_path=$reports/tsan"
  local t0
  t0=$(date +%s)
  cmake --preset "$preset" >/dev/null
  if ! cmake --build "$dir" --parallel "$jobs" --target "${targets[@]}"; then
    echo "$dir: build failed" >&2
    status=1
  else
    echo "$dir: built in $(elapsed "$t0")"
    t0=$(date +%s)
    # Window tests run on Qt's offscreen platform: no display is needed.
    if ! (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j "$jobs"); then
      status=1
    fi
    echo "$dir: tests ran in $(elapsed "$t0")"
  fi
  if [ -n "$(find "$reports" -type f -size +0 2>/dev/null)" ]; then
    echo "$dir: sanitizer reports:" >&2
    find "$reports" -type f -size +0 -print -exec cat {} \; >&2
    status=1
  fi
}

# The program itself is not built there, so the accessibility-bus test is left to the plain build.
run_checked build-asan sanitizers \
  core_tests serial_tests ui_tests cli_tests zelbor-cli zelbor-virtual-controller
# Without the window: its tests drive the same component, from the GUI thread. The core tests
# come along because they cost nothing and ctest expects every test program of the build.
run_checked build-tsan thread-sanitizer \
  core_tests serial_tests zelbor-virtual-controller

echo "Sanitizer runs took $(elapsed "$start") in all."
if [ "$status" -ne 0 ]; then
  echo "Sanitizer runs FAILED." >&2
fi
exit "$status"
