#!/usr/bin/env bash
# Installs what is missing, builds, and opens the tool. When no USB serial adapter is attached,
# the bundled virtual controller is started first, so its port is in the tool's port list.
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

if ! compgen -G "/dev/ttyUSB*" >/dev/null && ! compgen -G "/dev/ttyACM*" >/dev/null; then
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
    echo "No USB serial adapter found: started the virtual controller on $port (log: $log)."
  else
    echo "No USB serial adapter found, and the virtual controller did not start (see $log)." >&2
  fi
fi

"$ship/ZelborConfigTool"
