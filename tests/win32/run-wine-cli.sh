#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows command line under Wine, against the virtual controller on COM2, checked against
# the Linux command line on the same controller: identify, read (the profile must be the same
# file byte for byte), write with its read-back, diff, a malformed profile refused before
# anything is sent, and an adapter that is not there.
#
#   tests/win32/run-wine-cli.sh WINE BUILD_WIN BUILD_HOST PORTS_FOLDER LOG_FOLDER
#
# Run by run-wine-tests.sh inside its Wine session; COM2 maps to PORTS_FOLDER/com2, COM5 to a
# link that never gets a device.
set -uo pipefail
wine=$1 win=$2 host=$3 ports=$4 logs=$5
cli="$win/bin/zelbor-cli.exe"
work=$(mktemp -d)
vc_pid=""
cleanup() {
  [ -n "$vc_pid" ] && kill "$vc_pid" 2>/dev/null && wait "$vc_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# The controller announces its pseudo-terminal; COM2's link points at the device itself.
mkdir -m 700 "$work/vc"
"$host/bin/zelbor-virtual-controller" --no-pacing --folder "$work/vc" --name cli \
  --manufacturer WINE --max-current 22 >"$work/vc.out" 2>"$logs/cli-virtual-controller.log" &
vc_pid=$!
for _ in $(seq 50); do grep -q '^PORT ' "$work/vc.out" && break; sleep 0.1; done
device=$(readlink -f "$(sed -n 's/^PORT //p' "$work/vc.out")")
[ -c "$device" ] || { echo "the virtual controller announced no port" >&2; exit 1; }
ln -sfn "$device" "$ports/com2"

# run NAME EXPECTED-STATUS ARGS...: the Windows program, its output kept as NAME.out/.err
run() {
  local name=$1 expected=$2
  shift 2
  timeout 120 "$wine" "$cli" "$@" >"$work/$name.out" 2>"$work/$name.err" </dev/null
  local got=$?
  tr -d '\r' <"$work/$name.out" >"$work/$name.txt"
  if [ "$got" -ne "$expected" ]; then
    fail "zelbor-cli.exe $* gave $got, not $expected: $(cat "$work/$name.err")"
    return 1
  fi
}
frames() { grep -ac '<- 16 ' "$logs/cli-virtual-controller.log"; }

run help 0 --help && grep -q '^Exit status:' "$work/help.txt" || fail "--help lists no exit statuses"
run identify 0 identify --port COM2 --json &&
  grep -q '"manufacturer":"WINE"' "$work/identify.txt" && grep -q '"maximumCurrent":"22A"' "$work/identify.txt" ||
  fail "identify did not report the controller: $(cat "$work/identify.txt")"

# The same controller read by both programs: the same file.
run read 0 read --port COM2 --out "Z:$work/windows.el"
"$host/bin/zelbor-cli" read --port "$device" --out "$work/linux.el" >/dev/null 2>"$work/linux-read.err" ||
  fail "the Linux command line could not read: $(cat "$work/linux-read.err")"
cmp -s "$work/windows.el" "$work/linux.el" || fail "the profiles read under Windows and Linux differ"

# A changed profile written and verified, then no difference left.
sed -e 's/^LC=.*/LC=17\r/' -e 's/^WD=.*/WD=11\r/' "$work/windows.el" >"$work/changed.el"
before=$(frames)
run write 0 write --port COM2 "Z:$work/changed.el" && [ $(( $(frames) - before )) -eq 3 ] ||
  fail "write did not send the three blocks"
run diff-same 0 diff --port COM2 "Z:$work/changed.el"
run diff-other 1 diff --port COM2 "Z:$work/windows.el" &&
  [ "$(wc -l <"$work/diff-other.txt")" -eq 2 ] || fail "diff did not name the two changed fields: $(cat "$work/diff-other.txt")"

# A malformed profile: refused, nothing written.
sed 's/^LC=.*/LC=abc\r/' "$work/windows.el" >"$work/bad.el"
before=$(frames)
run bad 7 write --port COM2 "Z:$work/bad.el" && grep -q 'LC=abc: not a whole number' "$work/bad.err" ||
  fail "the malformed profile was not named: $(cat "$work/bad.err")"
[ "$(frames)" -eq "$before" ] || fail "a write frame went out for a malformed profile"

# COM5 is configured but has no device: an adapter that is not plugged in.
run unplugged 3 identify --port COM5 --timeout 1000

if [ $failures -ne 0 ]; then
  echo "zelbor-cli.exe: $failures check(s) failed (controller log: $logs/cli-virtual-controller.log)" >&2
  exit 1
fi
echo "zelbor-cli.exe: every check passed"
