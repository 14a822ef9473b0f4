#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a C++ file of the project differs from what clang-format makes of it (.clang-format),
# and names the files. scripts/check-format.sh --fix formats them in place instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh" clang-format
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.inl')
else
  mapfile -t files < <(find src tests tools bench fuzz -name '*.cpp' -o -name '*.h' -o -name '*.inl' | sort)
fi
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/dev/null; then
  echo "These files are not formatted as .clang-format says (scripts/check-format.sh --fix):" >&2
  for f in "${files[@]}"; do
    clang-format "$f" | cmp -s - "$f" || echo "  $f" >&2
  done
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says."
