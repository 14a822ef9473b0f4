#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Tests the release's artifacts as scripts/package.sh made them into build/packages (it runs it
# first when one is missing), each part also on its own:
#   lintian on the Debian package, with packaging/debian/lintian-overrides;
#   the Debian package in a clean Debian root (tests/packages/deb-test.sh; as root);
#   the Windows installer under Wine (tests/packages/msi-test.sh);
#   the signatures: none without a certificate, verified ones with a throwaway certificate
#   (tests/packages/signature-test.sh).
# Exits non-zero when any part fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=$root/build/packages
"$root/scripts/install-deps.sh" lintian >/dev/null || exit 1

artifact() { ls "$packages"/$1 2>/dev/null | head -n1; }
if [ -z "$(artifact 'zelbor-config-tool_*.deb')" ] || [ -z "$(artifact 'ZelborConfigTool-*-windows-x64.msi')" ]; then
  "$root/scripts/package.sh" windows linux || exit 1
fi
deb=$(artifact 'zelbor-config-tool_*.deb')
msi=$(artifact 'ZelborConfigTool-*-windows-x64.msi')

status=0
part() {
  local name=$1 started=$SECONDS
  shift
  echo "==== $name"
  if "$@"; then
    echo "==== $name: passed ($((SECONDS - started)) s)"
  else
    echo "==== $name: FAILED ($((SECONDS - started)) s)" >&2
    status=1
  fi
}

# Every tag lintian knows, down to the pedantic ones: each is fixed or overridden with a reason.
lint() {
  local status=0
  lintian --display-level '>=pedantic' --display-experimental --fail-on error,warning,info,pedantic \
    "$deb" >"$packages/lintian.log" 2>&1 || status=$?
  # Tags overridden in packaging/debian/lintian-overrides, each with its reason there, do not show.
  grep -v 'root privileges' "$packages/lintian.log" | sed 's/^/   /'
  return $status
}
part "lintian $(basename "$deb")" lint
part "the Debian package in a clean root" "$root/tests/packages/deb-test.sh" "$deb"
part "the Windows installer under Wine" "$root/tests/packages/msi-test.sh" "$msi" "$root/build-win" "$root/build-win-host"
part "signatures" "$root/tests/packages/signature-test.sh" "$packages"
exit $status
