#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Windows program and its tests (mingw-w64 cross build) into build-win, with the Qt
# and libjpeg of scripts/windows-deps.sh, and the Linux side of the tests under Wine (the
# virtual controller and the line peer) into build-win-host. Installs the Debian packages it
# needs. Used by scripts/test-windows.sh and scripts/package.sh.
#
#   scripts/build-windows.sh [--core-only]   --core-only: no Qt, no window (core and serial only)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${ZELBOR_BUILD_JOBS:-$(nproc)}
core_only=0
[ "${1:-}" = "--core-only" ] && core_only=1

packages=(
  build-essential cmake ninja-build libgtest-dev  # the Linux side and the Qt build
  qt6-base-dev qt6-base-dev-tools libjpeg-dev     # the host's Qt tools and the generators
  qt6-translations-l10n                           # Qt's own texts, shipped beside the program
  g++-mingw-w64-x86-64-posix googletest           # the cross compiler (posix threads) and GoogleTest's sources
  dpkg-dev                                        # unpacks Debian's source packages
  wine wine64 fonts-wine fonts-liberation2        # runs the Windows tests; faces standing in for Windows' own
)
"$root/scripts/install-deps.sh" "${packages[@]}"

SECONDS=0
echo "== Linux side (build-win-host)"
(cd "$root" && cmake --preset windows-host >/dev/null)
cmake --build "$root/build-win-host" --parallel "$jobs" --target zelbor-virtual-controller zelbor-wine-peer zelbor-cli

if [ "$core_only" -eq 1 ]; then
  echo "== Windows side, core and serial (build-win) [${SECONDS} s so far]"
  (cd "$root" && cmake --preset windows-core >/dev/null)
  cmake --build "$root/build-win" --parallel "$jobs" --target core_tests win32_tests zelbor-cli
  exit 0
fi

# The manuals, whose pictures are taken from the Linux build of the window: the Windows build
# ships these (ZELBOR_MANUALS_FROM in the windows preset).
echo "== The manuals (build-win-host) [${SECONDS} s so far]"
cmake --build "$root/build-win-host" --parallel "$jobs" --target zelbor_help_pdf

echo "== Qt and libjpeg for Windows [${SECONDS} s so far]"
prefix=$("$root/scripts/windows-deps.sh" | tail -n1)

echo "== Windows side (build-win) [${SECONDS} s so far]"
# A build folder configured without this Qt (an older --core-only run, or a Qt since rebuilt
# with other options) starts afresh: CMake keeps the toolchain a folder was first set up with.
toolchain=$prefix/lib/cmake/Qt6/qt.toolchain.cmake
if [ -f "$root/build-win/CMakeCache.txt" ] &&
   ! grep -qxF "CMAKE_TOOLCHAIN_FILE:FILEPATH=$toolchain" "$root/build-win/CMakeCache.txt"; then
  rm -rf "$root/build-win"
fi
(cd "$root" && ZELBOR_WINDOWS_QT=$prefix cmake --preset windows >/dev/null)
cmake --build "$root/build-win" --parallel "$jobs" --target ZelborConfigTool zelbor-cli zelbor_help_pdf core_tests win32_tests ui_tests
echo "== Built in ${SECONDS} s"
