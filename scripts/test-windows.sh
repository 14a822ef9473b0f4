#!/usr/bin/env bash
# Cross-builds the core, the serial component and their tests as Windows executables (mingw-w64)
# into build-win and runs them under Wine, headless, in a private Wine prefix inside build-win.
# The far end of the serial line (the virtual controller and a pseudo-terminal driver) is built
# for Linux into build-win-host. Installs the Debian packages it needs; exits non-zero on any
# failure. Extra arguments go to the test executables (e.g. --gtest_filter=CommWin32Test.*).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${ZELBOR_BUILD_JOBS:-$(nproc)}

packages=(
  build-essential cmake libgtest-dev       # the Linux side: virtual controller, line driver
  g++-mingw-w64-x86-64-posix googletest    # the cross compiler (posix threads) and GoogleTest's sources
  wine wine64                              # runs the Windows tests
)
"$root/scripts/install-deps.sh" "${packages[@]}"

SECONDS=0
echo "== Linux side (build-win-host)"
cmake -S "$root" -B "$root/build-win-host" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELBOR_BUILD_UI=OFF >/dev/null
cmake --build "$root/build-win-host" --parallel "$jobs" --target zelbor-virtual-controller zelbor-wine-peer

echo "== Windows side (build-win) [${SECONDS} s so far]"
cmake -S "$root" -B "$root/build-win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELBOR_BUILD_UI=OFF >/dev/null
cmake --build "$root/build-win" --parallel "$jobs" --target core_tests win32_tests

echo "== Tests under Wine [${SECONDS} s so far]"
status=0
"$root/tests/win32/run-wine-tests.sh" "$root/build-win" "$root/build-win-host" "$@" || status=$?
echo "== Done in ${SECONDS} s"
exit $status
