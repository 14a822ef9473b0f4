#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs screen_reader_test.py on a virtual X display of its own, inside a private session bus
# (which starts the accessibility bus and its registry on demand).
# Usage: run.sh SHIP_FOLDER VIRTUAL_CONTROLLER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ship=$1
controller=$2

missing=()
for tool in xvfb-run xauth Xvfb dbus-run-session; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
[ -x /usr/libexec/at-spi-bus-launcher ] || missing+=("at-spi2-core")
# Debian's python, where python3-pyatspi installs, not whatever python3 comes first on the PATH.
/usr/bin/python3 -c 'import pyatspi' >/dev/null 2>&1 || missing+=("python3-pyatspi")
if [ ${#missing[@]} -gt 0 ]; then
  echo "FAIL: missing ${missing[*]}; scripts/install-deps.sh installs them" >&2
  exit 1
fi
for f in "$ship/ZelborConfigTool" "$controller"; do
  [ -x "$f" ] || { echo "FAIL: $f is not built" >&2; exit 1; }
done

# The session bus is started inside the display, so that the services it starts (the
# accessibility registry, which synthesises the test's key presses) know the display.
exec xvfb-run -a -s '-screen 0 1280x1024x24 -nolisten tcp' \
  dbus-run-session -- /usr/bin/python3 "$here/screen_reader_test.py" "$ship" "$controller"
