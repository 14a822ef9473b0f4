#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds into ./build (the "default" preset; the shipping folder is ./build/bin).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset default "$@" >/dev/null
cmake --build --preset default --parallel "$(nproc)"
