#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the Windows test executables of a cross build under Wine: headless, in a private prefix
# inside the build folder, with the far end of the serial ports played from the Linux side.
#
#   tests/win32/run-wine-tests.sh BUILD_WIN BUILD_HOST [GTEST_ARGS...]
#
# BUILD_WIN holds tests/core_tests.exe and tests/win32_tests.exe (the cross build) and, when the
# window was built too, tests/ui_tests.exe and bin/ZelborConfigTool.exe;
# BUILD_HOST is a Linux build with bin/zelbor-virtual-controller and tests/zelbor-wine-peer
# (and bin/zelbor-cli, against which the Windows command line is checked).
# With the window, three more steps run:
#   the window tests on Qt's offscreen platform, the far end played by the peer;
#   the real window (Windows platform plugin) on a private Xvfb display: connect, Read Flash,
#   Save As, Write Flash against the virtual controller, with a screenshot of the connected
#   window kept in BUILD_WIN/artifacts;
#   ZelborConfigTool.exe itself started from another working folder, on that display, until
#   its start-up warning shows (a screenshot of it in BUILD_WIN/artifacts too);
#   both programs with DLLs planted beside them and in the current folder, none of which they may
#   load (run-wine-dll-search.sh; without the window, the command line alone).
# Wine maps a COM port to a device path through HKLM\Software\Wine\Ports; here each maps to a
# fixed link in BUILD_WIN/wine-ports that the peer points at a pseudo-terminal when a test asks:
#   COM1, COM12  pseudo-terminals the peer drives byte by byte
#   COM2         the virtual controller
#   COM5         configured, never given a device (an unplugged adapter)
# Exits non-zero when any test fails.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 BUILD_WIN BUILD_HOST [GTEST_ARGS...]" >&2
  exit 2
fi
win=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
shift 2

for f in "$win/tests/core_tests.exe" "$win/tests/win32_tests.exe" \
         "$host/bin/zelbor-virtual-controller" "$host/tests/zelbor-wine-peer"; do
  [ -x "$f" ] || { echo "$f is missing: build it first (scripts/test-windows.sh does)" >&2; exit 2; }
done

if [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64   # Debian's 64-bit loader; the wine wrapper would ask for wine32
else
  wine=$(command -v wine64 || command -v wine)
fi
export WINEPREFIX="$win/wineprefix"
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
export WINEDEBUG="${WINEDEBUG:--all}"
unset DISPLAY WAYLAND_DISPLAY                # headless: no window may appear

logs="$win/wine-logs"
ports="$win/wine-ports"
mkdir -p "$logs"
mkdir -p "$ports"
chmod 700 "$ports" # the virtual controller announces itself only in a private folder

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  start=$(date +%s)
  "$wine" wineboot --init >"$logs/wineboot.log" 2>&1 </dev/null
  wineserver -w
  echo "Wine prefix ready in $(( $(date +%s) - start )) s"
fi

# The port map takes effect when Wine's device manager starts, so the session is ended after
# writing it; the next one creates the COM devices and lists them in the serial-device map.
cat >"$win/wine-ports.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$ports/com1"
"COM2"="$ports/com2"
"COM5"="$ports/com5"
"COM12"="$ports/com12"
REG
"$wine" reg import "Z:$win/wine-ports.reg" >>"$logs/wineboot.log" 2>&1 </dev/null
# Windows' own faces (Arial, Tahoma, Courier New, the dialog font) are not on this machine. Wine
# would fall back to an arbitrary face of the host, in which Qt's line edits draw no text at all
# (the spin fields looked empty); the metric-compatible Liberation faces stand in for them, as
# close as a free font gets to what the program meets on Windows.
cat >"$win/wine-fonts.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Arial"="Liberation Sans"
"Times New Roman"="Liberation Serif"
"Courier New"="Liberation Mono"
"Tahoma"="Liberation Sans"
"MS Shell Dlg"="Liberation Sans"
"MS Shell Dlg 2"="Liberation Sans"
"MS Sans Serif"="Liberation Sans"
"Segoe UI"="Liberation Sans"
REG
"$wine" reg import "Z:$win/wine-fonts.reg" >>"$logs/wineboot.log" 2>&1 </dev/null
wineserver -w

# One session for all tests. Its server and services start here with their output in the log:
# services that inherited the test's standard output would keep a pipe to a reader open. The
# server's own messages (it dumps its objects when a pseudo-terminal hangs up under it) go there too.
wineserver -p >>"$logs/wineserver.log" 2>&1 </dev/null
trap 'wineserver -k 2>/dev/null || true' EXIT
"$wine" wineboot >>"$logs/wineboot.log" 2>&1 </dev/null

status=0
echo "== core_tests.exe under Wine"
timeout 600 "$wine" "$win/tests/core_tests.exe" "$@" </dev/null || status=1

export ZELBOR_WINE_PORT=COM1 ZELBOR_WINE_WIDE_PORT=COM12 ZELBOR_WINE_VC_PORT=COM2 ZELBOR_WINE_GONE_PORT=COM5
peer() { # TIMEOUT LOG COMMAND...: COMMAND under Wine, the far end of its ports from the peer
  local limit=$1 log=$2
  shift 2
  timeout "$limit" "$host/tests/zelbor-wine-peer" --ports "$ports" \
    --virtual-controller "$host/bin/zelbor-virtual-controller" --log "$logs/$log" \
    -- "$wine" "$@" </dev/null
}

echo "== win32_tests.exe under Wine, far end from $host/tests/zelbor-wine-peer"
peer 900 virtual-controller.log "$win/tests/win32_tests.exe" "$@" || status=1

if [ -x "$win/bin/zelbor-cli.exe" ] && [ -x "$host/bin/zelbor-cli" ]; then
  echo "== zelbor-cli.exe under Wine against the virtual controller on COM2"
  "$(dirname "$0")/run-wine-cli.sh" "$wine" "$win" "$host" "$ports" "$logs" || status=1
fi
if [ ! -x "$win/tests/ui_tests.exe" ]; then # with the window, below on its display
  echo "== zelbor-cli.exe with DLLs planted beside it and in the current folder"
  "$(dirname "$0")/run-wine-dll-search.sh" "$wine" "$win" "$logs" || status=1
fi

if [ -x "$win/tests/ui_tests.exe" ]; then
  # Wine hands no QT_* variable of Linux on to Windows programs: the platform is chosen by the
  # test runner's default (offscreen) or by its -platform argument.
  # Left out here: the checks that measure texts against their boxes. On the offscreen platform
  # Qt for Windows measures with no real font at all, and on the Windows platform plugin the
  # faces are stand-ins: Liberation Sans for the dialog font is wider than Windows' own, so the
  # layout checks of the start-up warning and the About window and the fit of the help topics
  # find labels and lines a few per cent too narrow. The information page in Liberation Mono
  # (the metrics of Courier New) fits, 352 of 368 pixels for the longest line, but not with the
  # check's 5 % of spare room. They pass on Linux; Windows' own fonts are for a Windows machine.
  measured="StartupWarning.LayoutIsAFixedToolWindowWithRightAlignedLegendAndNothingClipped:AboutWindow.LayoutFontsAndLinks:ShippedTextsFit.*"
  echo "== ui_tests.exe under Wine (offscreen)"
  peer 1800 ui-virtual-controller.log "$win/tests/ui_tests.exe" \
    --gtest_filter="${ZELBOR_UI_FILTER:-*}:-RealWindow.*:$measured" "$@" || status=1

  # The real window needs a display: a private Xvfb, ended with the session.
  artifacts="$win/artifacts"
  mkdir -p "$artifacts"
  display=""
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
  done
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$logs/xvfb.log" 2>&1 &
  xvfb=$!
  trap 'wineserver -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  # Wine's X11 driver starts with the display: a new session for it.
  wineserver -k 2>/dev/null || true
  wineserver -w
  export DISPLAY=$display
  wineserver -p >>"$logs/wineserver.log" 2>&1 </dev/null
  "$wine" wineboot >>"$logs/wineboot.log" 2>&1 </dev/null

  echo "== ui_tests.exe under Wine: the real window on $display"
  ZELBOR_ARTIFACTS="Z:$artifacts" peer 600 real-window-controller.log \
    "$win/tests/ui_tests.exe" -platform windows --gtest_filter='RealWindow.*' || status=1

  echo "== ZelborConfigTool.exe started from another folder, on $display"
  elsewhere=$(mktemp -d)
  (cd "$elsewhere" && "$wine" "$win/bin/ZelborConfigTool.exe" >"$logs/program.log" 2>&1 </dev/null) &
  program=$!
  shown=0
  for _ in $(seq 120); do
    if xwininfo -root -tree -display "$display" 2>/dev/null | grep -q '"Zelbor'; then shown=1; break; fi
    kill -0 $program 2>/dev/null || break
    sleep 0.5
  done
  sleep 1
  import -display "$display" -window root "$artifacts/program-start.png" 2>>"$logs/program.log" || true
  if [ $shown -eq 1 ]; then
    echo "The program showed its start-up warning (screenshot: $artifacts/program-start.png)"
  else
    echo "The program did not show its start-up warning (log: $logs/program.log)" >&2
    xwininfo -root -tree -display "$display" >>"$logs/program.log" 2>&1 || true
    status=1
  fi
  kill $program 2>/dev/null || true

  echo "== Both programs with DLLs planted beside them and in the current folder, on $display"
  "$(dirname "$0")/run-wine-dll-search.sh" "$wine" "$win" "$logs" "$display" || status=1
  wineserver -k 2>/dev/null || true
  rm -rf "$elsewhere"
fi

if [ $status -ne 0 ]; then
  echo "Windows tests FAILED (Wine logs in $logs)" >&2
fi
exit $status
