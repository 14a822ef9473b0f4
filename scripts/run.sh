#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and opens the tool. When no USB serial adapter is attached
# that this user may open, the bundled virtual controller is started first, so that its port is
# in the tool's port list, and the message says which item of the list to choose: the list
# starts with the computer's own serial ports, if it has any, and preselects its first item.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
ship="$root/build/bin"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "The tool is built ($ship/ZelborConfigTool), but there is no graphical display to open it on:" >&2
  echo "neither DISPLAY nor WAYLAND_DISPLAY is set. Run this command from a desktop session" >&2
  echo "(or over 'ssh -X'), or try it headless with: xvfb-run $0" >&2
  exit 1
fi

vc_pid=""
cleanup() {
  if [ -n "$vc_pid" ]; then
    kill "$vc_pid" 2>/dev/null || true
    wait "$vc_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT INT TERM

# USB serial adapters present, and those of them that this user may open.
present=() usable=()
for dev in /dev/ttyUSB* /dev/ttyACM*; do
  [ -e "$dev" ] || continue
  present+=("$dev")
  if [ -r "$dev" ] && [ -w "$dev" ]; then
    usable+=("$dev")
  fi
done

if [ ${#usable[@]} -eq 0 ]; then
  if [ ${#present[@]} -gt 0 ]; then
    echo "Found ${present[*]}, but you may not open it: add yourself to the group dialout"
    echo "(sudo usermod -aG dialout \$USER), then log out and in again. Until then:"
  fi
  log="$root/build/virtual-controller.log"
  out="$root/build/virtual-controller.port"
  rm -f "$out"
  "$ship/zelbor-virtual-controller" >"$out" 2>"$log" &
  vc_pid=$!
  port=""
  for _ in $(seq 50); do
    port=$(sed -n 's/^PORT //p' "$out" 2>/dev/null | head -n 1)
    [ -n "$port" ] && break
    kill -0 "$vc_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -n "$port" ]; then
    echo "No USB serial adapter to use: the virtual controller stands in for one (log: $log)."
    echo
    # The list shows a virtual port by its link's name, not by the long per-user folder.
    echo "  In the tool's port list, choose   ${port##*/}"
    echo "  then click Connect."
    echo
    echo "  The list starts with the serial ports of this computer, if it has any, and preselects"
    echo "  its first item: no controller answers on those. The virtual controller's port follows them."
    echo
  else
    echo "No USB serial adapter to use, and the virtual controller did not start (see $log)." >&2
  fi
fi

"$ship/ZelborConfigTool"
