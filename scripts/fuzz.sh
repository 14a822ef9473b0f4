#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (build-fuzz, clang with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs them one after the other (never two fuzzing processes at once).
#
#   scripts/fuzz.sh                       the short run of the test command: each target for
#                                         ZELBOR_FUZZ_SECONDS seconds (default 30) from a copy of its
#                                         seed corpus, so the committed corpora stay as they are
#   scripts/fuzz.sh --long SECONDS [T...] a campaign: each target (or only those named, e.g.
#   scripts/fuzz.sh SECONDS [T...]        fuzz_ini) for SECONDS seconds; what it finds new is kept
#                                         in build-fuzz/campaign/<target>/corpus (ZELBOR_FUZZ_WORK
#                                         names another folder) and the next campaign goes on from it;
#                                         ZELBOR_FUZZ_RUNS=N ends a target earlier, after N runs
#   scripts/fuzz.sh --merge [T...]        replaces fuzz/corpus/<target> by the smallest set of the
#                                         committed and the campaign's inputs that covers as much
#
# Exits non-zero on any crash, leak, time-out or sanitizer report; the input that caused it is kept
# in build-fuzz/artifacts/<target>/ (short run) or in the campaign's <target>/artifacts/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
source "$root/scripts/sanitizers/common.sh"

usage() {
  sed -n '5,18s/^# \{0,1\}//p' "$0" >&2
  exit 2
}

mode=short
seconds=${ZELBOR_FUZZ_SECONDS:-30}
case "${1:-}" in
  --long) mode=long; seconds=${2:-}; shift 2 || usage ;;
  --merge) mode=merge; shift ;;
  -h | --help) usage ;;
  '' | -*) ;;
  *) mode=long; seconds=$1; shift ;;
esac
case "$seconds" in
  '' | *[!0-9]*) echo "The time per target must be a whole number of seconds, not '$seconds'" >&2; exit 2 ;;
esac

all=(fuzz_protocol fuzz_ini fuzz_split_items fuzz_catalogue fuzz_profile fuzz_transfer_dispatch fuzz_window_dispatch)
targets=("${all[@]}")
if [ "$mode" != short ] && [ $# -gt 0 ]; then
  targets=()
  for t in "$@"; do
    t=fuzz_${t#fuzz_}
    [[ " ${all[*]} " == *" $t "* ]] || { echo "No fuzz target '$t'; there are: ${all[*]}" >&2; exit 2; }
    targets+=("$t")
  done
elif [ $# -gt 0 ]; then
  usage
fi

install_checked_packages
dir=build-fuzz
start=$(date +%s)
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake --preset fuzzers "${launcher[@]}" >/dev/null
cmake --build "$dir" --parallel 2 --target "${targets[@]}"
echo "$dir: built in $(elapsed "$start")"

export ASAN_OPTIONS="$asan_options"
# A campaign reuses freed memory sooner and leaves new blocks unfilled: with the default 256 MB
# quarantine nearly every allocation touches fresh pages, which halves the rate of the targets that
# parse text. A use after free is still caught within the last 16 MB freed.
[ "$mode" = long ] && ASAN_OPTIONS="$ASAN_OPTIONS:quarantine_size_mb=16:max_malloc_fill_size=0"
export UBSAN_OPTIONS="$ubsan_options"
export LSAN_OPTIONS="$lsan_options"
# The window's target writes its shipping folder into the temporary folder: in memory where there
# is a tmpfs.
scratch_base=/dev/shm
[ -d "$scratch_base" ] && [ -w "$scratch_base" ] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_base/zelbor-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# Options of every run of target $1.
target_options() {
  # The serial component delivers chunks of at most 1024 bytes, after the window's control byte.
  [ "$1" = fuzz_window_dispatch ] && echo -max_len=1025
  return 0
}

if [ "$mode" = merge ]; then
  work=${ZELBOR_FUZZ_WORK:-$root/$dir/campaign}
  for t in "${targets[@]}"; do
    name=${t#fuzz_}
    committed="$root/fuzz/corpus/$name"
    merged="$scratch/$name"
    mkdir -p "$merged" "$committed"
    sources=("$committed")
    [ -d "$work/$name/corpus" ] && sources+=("$work/$name/corpus")
    # shellcheck disable=SC2046
    if ! (cd "$scratch" && TMPDIR="$scratch" "$root/$dir/fuzz/$t" -merge=1 $(target_options "$t") \
          "$merged" "${sources[@]}" >"$scratch/$name.log" 2>&1); then
      echo "$t: merge FAILED" >&2
      tail -n 20 "$scratch/$name.log" >&2
      exit 1
    fi
    before=$(find "$committed" -type f | wc -l)
    rm -rf "$committed"
    mv "$merged" "$committed"
    echo "$t: $before committed inputs, now $(find "$committed" -type f | wc -l) ($(du -sk "$committed" | cut -f1) KiB)"
  done
  exit 0
fi

status=0
for t in "${targets[@]}"; do
  name=${t#fuzz_}
  if [ "$mode" = short ]; then
    work="$root/$dir/fuzz-run/$name"
    artifacts="$root/$dir/artifacts/$name"
    rm -rf "$work" "$artifacts"
    mkdir -p "$work/corpus" "$artifacts"
    cp -R "$root/fuzz/corpus/$name/." "$work/corpus/"
    corpora=(corpus)
  else
    work="${ZELBOR_FUZZ_WORK:-$root/$dir/campaign}/$name"
    artifacts="$work/artifacts"
    mkdir -p "$work/corpus" "$artifacts"
    # New inputs go into the first folder; the committed corpus is only read.
    corpora=(corpus "$root/fuzz/corpus/$name")
  fi
  # shellcheck disable=SC2207
  options=(-max_total_time="$seconds" -timeout=25 -print_final_stats=1 -artifact_prefix="$artifacts/"
           $(target_options "$t"))
  [ "$mode" = long ] && [ -n "${ZELBOR_FUZZ_RUNS:-}" ] && options+=(-runs="$ZELBOR_FUZZ_RUNS")
  t0=$(date +%s)
  if (cd "$work" && TMPDIR="$scratch" "$root/$dir/fuzz/$t" "${options[@]}" "${corpora[@]}" >"$work/log" 2>&1) &&
     [ -z "$(ls -A "$artifacts")" ]; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    took=$(( $(date +%s) - t0 ))
    cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -n 1)
    echo "$t: ${runs:-?} inputs in $(elapsed "$t0") ($(( ${runs:-0} / (took > 0 ? took : 1) )) per second), $cov, no findings"
  else
    echo "$t: FAILED after $(elapsed "$t0"); log $work/log, inputs in $artifacts" >&2
    grep -E -A30 'ERROR:|runtime error|fuzz: |Test unit written' "$work/log" | head -n 60 >&2 || tail -n 40 "$work/log" >&2
    status=1
  fi
done

[ "$mode" = long ] && echo "New inputs are in ${ZELBOR_FUZZ_WORK:-$root/$dir/campaign}/<target>/corpus; scripts/fuzz.sh --merge takes them into fuzz/corpus."
echo "Fuzzing took $(elapsed "$start") in all."
exit "$status"
