#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (build-fuzz, clang with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for ZELBOR_FUZZ_SECONDS seconds (default 30) from a copy of its seed corpus, so the
# committed corpora under fuzz/corpus stay as they are. Exits non-zero on any crash, leak, time-out
# or sanitizer report; the input that caused it is kept in build-fuzz/artifacts/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source "$root/scripts/sanitizers/common.sh"
install_checked_packages

seconds=${ZELBOR_FUZZ_SECONDS:-30}
case "$seconds" in
  '' | *[!0-9]*) echo "ZELBOR_FUZZ_SECONDS must be a whole number of seconds, not '$seconds'" >&2; exit 2 ;;
esac
targets=(fuzz_protocol fuzz_ini fuzz_split_items fuzz_catalogue fuzz_profile fuzz_dispatcher)
dir=build-fuzz
start=$(date +%s)

cmake --preset fuzzers >/dev/null
cmake --build "$dir" --parallel 2 --target "${targets[@]}"
echo "$dir: built in $(elapsed "$start")"

export ASAN_OPTIONS="$asan_options"
export UBSAN_OPTIONS="$ubsan_options"
export LSAN_OPTIONS="$lsan_options"
# The targets that write a file for every input do it in memory where there is a tmpfs.
scratch_base=/dev/shm
[ -d "$scratch_base" ] && [ -w "$scratch_base" ] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_base/zelbor-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  work="$root/$dir/fuzz-run/$name"
  artifacts="$root/$dir/artifacts/$name"
  rm -rf "$work" "$artifacts"
  mkdir -p "$work/corpus" "$artifacts"
  cp -R "$root/fuzz/corpus/$name/." "$work/corpus/"
  options=(-max_total_time="$seconds" -timeout=25 -print_final_stats=1 -artifact_prefix="$artifacts/")
  # The serial component delivers chunks of at most 1024 bytes.
  [ "$t" = fuzz_dispatcher ] && options+=(-max_len=1024)
  t0=$(date +%s)
  if (cd "$work" && TMPDIR="$scratch" "$root/$dir/fuzz/$t" "${options[@]}" corpus >"$work/log" 2>&1) &&
     [ -z "$(ls -A "$artifacts")" ]; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -n 1)
    echo "$t: ${runs:-?} inputs in $(elapsed "$t0"), $cov, no findings"
  else
    echo "$t: FAILED after $(elapsed "$t0"); log $work/log, inputs in $artifacts" >&2
    grep -E -A30 'ERROR:|runtime error|fuzz: |Test unit written' "$work/log" | head -n 60 >&2 || tail -n 40 "$work/log" >&2
    status=1
  fi
done

echo "Fuzzing took $(elapsed "$start") in all."
exit "$status"
