#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the Windows program and its tests (mingw-w64, scripts/build-windows.sh: Qt and
# libjpeg come from scripts/windows-deps.sh's cache, built there on the first run) into
# build-win and runs them under Wine, in a private Wine prefix inside build-win: the core and
# serial tests, the window tests on Qt's offscreen platform, the real window on a private Xvfb
# display, and the program itself started from another folder (tests/win32/run-wine-tests.sh).
# The far end of the serial line (the virtual controller and a pseudo-terminal driver) is built
# for Linux into build-win-host. Installs the Debian packages it needs; exits non-zero on any
# failure. Extra arguments go to the test executables (e.g. --gtest_filter=CommWin32Test.*).
# ZELBOR_WINDOWS_CORE_ONLY=1 leaves Qt and the window out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/install-deps.sh" xvfb x11-utils imagemagick
SECONDS=0
if [ "${ZELBOR_WINDOWS_CORE_ONLY:-0}" = 1 ]; then
  "$root/scripts/build-windows.sh" --core-only
else
  "$root/scripts/build-windows.sh"
fi

echo "== Tests under Wine [${SECONDS} s so far]"
status=0
"$root/tests/win32/run-wine-tests.sh" "$root/build-win" "$root/build-win-host" "$@" || status=$?
echo "== Done in ${SECONDS} s"
exit $status
