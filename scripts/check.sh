#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The fast loop while working on the code: configures and builds the default tree (build/, the
# "default" preset) and runs its test suites, nothing else; compiles through ccache when it is
# installed. Arguments go to ctest (e.g. -R Transfer). scripts/test.sh is the full run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake --preset default "${launcher[@]}" >/dev/null
cmake --build --preset default --parallel "$(nproc)"
ctest --preset default -j "$(nproc)" "$@"
