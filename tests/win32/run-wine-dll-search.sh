#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# No library is taken from the program's folder or the current folder: the portable program is
# started from wherever it was unpacked (often a browser's Downloads folder), where anyone can
# leave a DLL. A library that leaves a marker file when it is loaded (zelbor-load-marker.dll) is
# planted under the names of a library the programs import, of another, and of one loaded at run
# time, beside a copy of the shipping folder and in the current folder. Wine is told to prefer a
# native DLL for these names (WINEDLLOVERRIDES), which makes it search for them as Windows does.
#   the control: a program without the protection, loading the names, takes the planted copies
#     (otherwise "no marker" below would prove nothing);
#   zelbor-cli.exe ports, and ZelborConfigTool.exe until its start-up warning shows (when a
#     display is given): no marker;
#   the import tables of both: nothing but known libraries (scripts/check-windows-imports.sh).
#
#   tests/win32/run-wine-dll-search.sh WINE BUILD_WIN LOG_FOLDER [DISPLAY]
#
# Run by run-wine-tests.sh inside its Wine session. Exits non-zero on any failure.
set -uo pipefail
wine=$1 win=$(cd "$2" && pwd) logs=$3 display=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
marker="$win/tests/zelbor-load-marker.dll"
probe="$win/tests/zelbor-dll-search-probe.exe"
# version.dll and dwmapi.dll are libraries the window imports (the command line imports neither,
# but under Wine its user32 pulls in version.dll), uxtheme.dll one that the window system loads by
# name at run time to draw the window's controls. Without the protection each of them is taken
# from beside the program.
names=(version.dll dwmapi.dll uxtheme.dll)

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
for f in "$marker" "$probe" "$win/bin/zelbor-cli.exe"; do
  [ -f "$f" ] || { echo "$f is missing: build it first (scripts/test-windows.sh does)" >&2; exit 2; }
done

stage=$(mktemp -d "$win/dll-search.XXXXXX")
program=""
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  rm -rf "$stage"
}
trap cleanup EXIT
mkdir "$stage/program" "$stage/current" "$stage/control"
cp -a "$win/bin/." "$stage/program/" # the shipping folder, as unpacked from the zip
cp "$probe" "$stage/control/"
for name in "${names[@]}"; do
  for folder in program current control; do cp "$marker" "$stage/$folder/$name"; done
done
overrides=$(IFS=,; echo "${names[*]%.dll}")
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}$overrides=n,b"

markers() { # FOLDER...: the markers left there, with the program that loaded each
  find "$@" -name '*.loaded' 2>/dev/null | sort | while read -r f; do
    echo "  $(basename "${f%.loaded}") in $(basename "$(dirname "$f")") loaded by $(tr -d '\r' <"$f" | sort -u | tr '\n' ' ')"
  done
}

# The control, from the current folder: each name is taken from beside the probe.
(cd "$stage/current" && timeout 120 "$wine" "$stage/control/zelbor-dll-search-probe.exe" "${names[@]}" \
  >"$logs/dll-search-control.log" 2>&1 </dev/null)
for name in "${names[@]}"; do
  [ -f "$stage/control/$name.loaded" ] ||
    fail "the control did not load the planted $name: Wine does not prefer it, the check below would prove nothing"
done
rm -f "$stage/control"/*.loaded

(cd "$stage/current" && timeout 120 "$wine" "$stage/program/zelbor-cli.exe" ports \
  >"$logs/dll-search-cli.log" 2>&1 </dev/null) || fail "zelbor-cli.exe ports failed: $(cat "$logs/dll-search-cli.log")"
found=$(markers "$stage/program" "$stage/current")
[ -z "$found" ] || fail "zelbor-cli.exe loaded planted libraries:"$'\n'"$found"
rm -f "$stage/program"/*.loaded "$stage/current"/*.loaded

if [ -n "$display" ] && [ -f "$stage/program/ZelborConfigTool.exe" ]; then
  (cd "$stage/current" && DISPLAY=$display exec "$wine" "$stage/program/ZelborConfigTool.exe" \
    >"$logs/dll-search-program.log" 2>&1 </dev/null) &
  program=$!
  shown=0
  for _ in $(seq 120); do
    if xwininfo -root -tree -display "$display" 2>/dev/null | grep -q '"Zelbor'; then shown=1; break; fi
    kill -0 "$program" 2>/dev/null || break
    sleep 0.5
  done
  [ $shown -eq 1 ] || fail "ZelborConfigTool.exe did not show its start-up warning (log: $logs/dll-search-program.log)"
  sleep 1 # what the warning's window loads once it is drawn
  kill "$program" 2>/dev/null
  wait "$program" 2>/dev/null
  program=""
  found=$(markers "$stage/program" "$stage/current")
  [ -z "$found" ] || fail "ZelborConfigTool.exe loaded planted libraries:"$'\n'"$found"
fi

programs=("$win/bin/zelbor-cli.exe")
[ -f "$win/bin/ZelborConfigTool.exe" ] && programs+=("$win/bin/ZelborConfigTool.exe")
"$here/../../scripts/check-windows-imports.sh" "${programs[@]}" || fail "the import tables"

if [ $failures -ne 0 ]; then
  echo "DLL search: $failures check(s) failed" >&2
  exit 1
fi
echo "DLL search: no planted library was loaded (${names[*]}, beside the programs and in the current folder)"
