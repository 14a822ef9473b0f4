#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows installer under Wine, in a Wine prefix of its own on a private virtual display:
#   msiexec /i … /qn installs it per machine into Program Files, with a Start menu entry and an
#   Add/Remove Programs entry (version, publisher);
#   the installed ZelborConfigTool.exe starts from another folder (its warning shows), and a
#   language picked with the keyboard in that warning lands in %APPDATA%\ZelborConfigTool, while
#   the installed files stay as they were;
#   the installed zelbor-cli.exe reads the virtual controller on COM2;
#   an installer of a higher version (the same files, scripts/build-msi.sh) replaces it in place;
#   msiexec /x removes the program's files and its Start menu entry.
#
#   tests/packages/msi-test.sh INSTALLER.msi BUILD_WIN BUILD_HOST
#
# BUILD_WIN is the Windows build the installer was made from (its install rules make the second
# installer), BUILD_HOST a Linux build with bin/zelbor-virtual-controller. Logs and screenshots
# go to build/packages/msi-test/. Exits non-zero on any failure.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
[ $# -eq 3 ] || { echo "usage: $0 INSTALLER.msi BUILD_WIN BUILD_HOST" >&2; exit 2; }
msi=$(readlink -f "$1") win=$(cd "$2" && pwd) host=$(cd "$3" && pwd)
"$repo/scripts/install-deps.sh" msitools xvfb xdotool x11-utils imagemagick >&2 || exit 1
. "$here/x11.sh"

if [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64 # Debian's 64-bit loader; the wine wrapper would ask for wine32
else
  wine=$(command -v wine64 || command -v wine)
fi
logs=$repo/build/packages/msi-test
rm -rf "$logs" && mkdir -p "$logs"
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko prompts
vc_pid=""
cleanup() {
  wineserver -k 2>/dev/null
  [ -n "$vc_pid" ] && kill "$vc_pid" 2>/dev/null
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
say() { echo "== $*"; }
w() { timeout "${limit:-300}" "$wine" "$@" </dev/null; }
property() { msiinfo export "$1" Property | awk -F'\t' -v p="$2" '$1 == p { print $2 }' | tr -d '\r'; }
arp() { # PRODUCT_CODE NAME: a value of the product's Add/Remove Programs entry, or nothing
  w reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$1" /v "$2" 2>/dev/null |
    tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}

say "a Wine prefix of its own"
start_display "$logs/xvfb.log" || exit 1
w wineboot --init >"$logs/wineboot.log" 2>&1
wineserver -w
mkdir -m 700 "$work/ports"
# COM2 is the virtual controller's pseudo-terminal; the faces stand in for Windows' own, as in
# tests/win32/run-wine-tests.sh.
cat >"$work/setup.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM2"="$work/ports/com2"

[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]
"Arial"="Liberation Sans"
"Tahoma"="Liberation Sans"
"MS Shell Dlg"="Liberation Sans"
"MS Shell Dlg 2"="Liberation Sans"
"Segoe UI"="Liberation Sans"
"Courier New"="Liberation Mono"
REG
w reg import "Z:$work/setup.reg" >>"$logs/wineboot.log" 2>&1
wineserver -w # the port map takes effect with the next session
w wineboot >>"$logs/wineboot.log" 2>&1

program_files=$(w cmd /c 'echo %ProgramW6432%' | tr -d '\r')
appdata=$(w cmd /c 'echo %APPDATA%' | tr -d '\r')
dir="$(w winepath -u "$program_files\\Zelbor Configuration Tool" | tr -d '\r')"
# A per-machine installation puts the entry into the Start menu of all users. Wine's installer
# resolves the Start menu folder to the installing user's even then, so that one counts too.
shortcuts=()
for folder in '%ProgramData%\Microsoft\Windows\Start Menu\Programs' '%APPDATA%\Microsoft\Windows\Start Menu\Programs'; do
  shortcuts+=("$(w winepath -u "$(w cmd /c "echo $folder" | tr -d '\r')" | tr -d '\r')/Zelbor Configuration Tool.lnk")
done
shortcut() { local s; for s in "${shortcuts[@]}"; do [ -f "$s" ] && echo "$s" && return 0; done; return 1; }
own="$(w winepath -u "$appdata" | tr -d '\r')/ZelborConfigTool/languages.ini"
product=$(property "$msi" ProductCode) version=$(property "$msi" ProductVersion)

say "msiexec /i $(basename "$msi") /qn"
limit=600 w msiexec /i "Z:$msi" /qn /l*v "Z:$logs/install.log" >/dev/null 2>&1 ||
  fail "msiexec /i ended with $? (log: $logs/install.log)"
# The manuals: English beside the program, every other language with a source in its folder.
manuals=()
for source in "$repo"/resources/manual/*/Help.html; do
  lang=$(basename "$(dirname "$source")")
  [ "$lang" = eng ] || manuals+=("Languages/$lang/Help.pdf")
done
for f in ZelborConfigTool.exe zelbor-cli.exe InstalledCopy.txt LICENSE.txt THIRD-PARTY-NOTICES.txt Help.pdf \
         Languages/languages.ini Profiles/DefaultProfile.el "${manuals[@]}"; do
  [ -f "$dir/$f" ] || fail "not installed: $dir/$f"
done
shortcut >/dev/null || fail "no Start menu entry: ${shortcuts[*]}"
[ "$(arp "$product" DisplayVersion)" = "$version" ] ||
  fail "Add/Remove Programs shows version '$(arp "$product" DisplayVersion)', not $version"
[ "$(arp "$product" Publisher)" = "Zelbor project developers" ] ||
  fail "Add/Remove Programs shows publisher '$(arp "$product" Publisher)'"
echo "   $(find "$dir" -type f | wc -l) files in $program_files\\Zelbor Configuration Tool," \
     "Add/Remove Programs: $(arp "$product" DisplayName) $(arp "$product" DisplayVersion)," \
     "Start menu: $(shortcut | sed "s|^$WINEPREFIX/||")"
(cd "$dir" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$work/installed.md5"

say "the installed program starts and keeps a language switch in %APPDATA%"
elsewhere=$(mktemp -d -p "$work")
(cd "$elsewhere" && "$wine" "$program_files\\Zelbor Configuration Tool\\ZelborConfigTool.exe" \
  >"$logs/program.log" 2>&1 </dev/null) &
if warning=$(wait_for_window "Zelbor Configuration Tool" 90); then
  sleep 2
  import -display "$DISPLAY" -window root "$logs/warning.png" 2>/dev/null
  pick_next_language_in_warning "$warning"
  wait_for_window "Outil de configuration Zelbor" 30 >/dev/null ||
    fail "the warning did not turn French after Tab Tab Down (screenshot: $logs/after-keys.png)"
  import -display "$DISPLAY" -window root "$logs/after-keys.png" 2>/dev/null
  [ "$(cat "$own" 2>/dev/null)" = "$(printf '[LANGUAGES]\r\ndefault=fra\r')" ] ||
    fail "the choice is not in $appdata\\ZelborConfigTool\\languages.ini: '$(cat "$own" 2>/dev/null)'"
else
  fail "the installed program showed no window (log: $logs/program.log)"
fi
wineserver -k 2>/dev/null
wineserver -w
(cd "$dir" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$work/after.md5"
cmp -s "$work/installed.md5" "$work/after.md5" ||
  fail "the program changed its installed folder: $(diff "$work/installed.md5" "$work/after.md5" | tail -n +2)"

say "the installed zelbor-cli.exe reads the virtual controller on COM2"
"$host/bin/zelbor-virtual-controller" --no-pacing --folder "$work/vc" --name msi \
  >"$work/vc.out" 2>"$logs/virtual-controller.log" &
vc_pid=$!
for _ in $(seq 50); do grep -q '^PORT ' "$work/vc.out" && break; sleep 0.1; done
ln -sfn "$(readlink -f "$(sed -n 's/^PORT //p' "$work/vc.out")")" "$work/ports/com2"
w wineboot >>"$logs/wineboot.log" 2>&1
if w "$program_files\\Zelbor Configuration Tool\\zelbor-cli.exe" read --port COM2 --out "Z:$work/read.el" \
    >"$logs/cli-read.log" 2>&1; then
  grep -qF '[Throttle Handle]' "$work/read.el" || fail "the profile zelbor-cli.exe read lacks [Throttle Handle]"
  echo "   read $(grep -c = "$work/read.el") values"
else
  fail "zelbor-cli.exe read failed: $(tr -d '\r' <"$logs/cli-read.log")"
fi
kill "$vc_pid" 2>/dev/null
vc_pid=""

say "a higher version replaces it in place"
next=${version%.*}.$((${version##*.} + 1))
cmake --install "$win" --prefix "$work/next" --strip >/dev/null &&
  cmake --install "$win" --prefix "$work/next" --component installed-copy >/dev/null &&
  echo "upgraded" >"$work/next/UPGRADED.txt" &&
  "$repo/scripts/build-msi.sh" "$work/next" "$work/next.msi" "$next" "$next" "$win/tools/ZelborConfigTool.ico" ||
  fail "could not build the installer of version $next"
newer=$(property "$work/next.msi" ProductCode)
[ "$newer" != "$product" ] || fail "version $next has the product code of $version"
limit=600 w msiexec /i "Z:$work/next.msi" /qn /l*v "Z:$logs/upgrade.log" >/dev/null 2>&1 ||
  fail "msiexec /i of version $next ended with $? (log: $logs/upgrade.log)"
[ "$(arp "$newer" DisplayVersion)" = "$next" ] || fail "Add/Remove Programs does not show version $next"
[ -z "$(arp "$product" DisplayVersion)" ] || fail "version $version is still listed beside $next"
[ -f "$dir/UPGRADED.txt" ] && [ -f "$dir/ZelborConfigTool.exe" ] || fail "the upgrade's files are not in $dir"
shortcut >/dev/null || fail "the upgrade lost the Start menu entry"
[ -f "$own" ] || fail "the upgrade lost the user's languages.ini"
echo "   $(arp "$newer" DisplayName) $(arp "$newer" DisplayVersion) in place of $version"

say "msiexec /x removes it"
limit=600 w msiexec /x "$newer" /qn /l*v "Z:$logs/remove.log" >/dev/null 2>&1 ||
  fail "msiexec /x ended with $? (log: $logs/remove.log)"
left=$(find "$dir" ! -type d 2>/dev/null)
[ -z "$left" ] || fail "left behind: $left"
! shortcut >/dev/null || fail "the Start menu entry is left behind: $(shortcut)"
[ -z "$(arp "$newer" DisplayVersion)" ] || fail "Add/Remove Programs still lists it"
[ -f "$own" ] && echo "   the user's own settings stay, as they should: $appdata\\ZelborConfigTool"

if [ "$failures" -ne 0 ]; then
  echo "The Windows installer's test FAILED ($failures failures; logs in $logs)" >&2
  exit 1
fi
echo "The Windows installer's test passed (logs and screenshots in $logs)"
