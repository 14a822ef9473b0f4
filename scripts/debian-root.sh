#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes a clean Debian root of this machine's release (minbase, from the Debian archive this
# machine's apt sources name) with mmdebstrap, into a cache outside the clone that later runs
# reuse, for the Debian package's install test (tests/packages/deb-test.sh). The root is only ever
# read: each test lays a throw-away layer over it.
#
#   scripts/debian-root.sh         makes what is missing; prints the root's folder as the last line
#
# The cache is ${ZELBOR_DEBIAN_ROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zelbor-debian-root}; a
# root lives in a folder named after a hash of what shapes it (the release, the apt sources, the
# variant, mmdebstrap's version), so a change to any of them makes a new one. Beside the roots,
# apt/ keeps the package lists and the downloaded packages the tests fetch into their layers.
# Needs root (the root's files belong to root and its users).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${ZELBOR_DEBIAN_ROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zelbor-debian-root}
[ "$(id -u)" -eq 0 ] || { echo "debian-root: needs root" >&2; exit 2; }
"$root/scripts/install-deps.sh" mmdebstrap >&2

# Bump when the steps below change in a way the key does not show.
recipe=1
variant=minbase
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || { echo "debian-root: this machine names no Debian release" >&2; exit 2; }
# The machine's own apt sources, the Debian archive's entries only: a clean root has nothing else.
sources=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null; grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list || true)
sources=$(echo "$sources" | grep -v '^\s*#')
key=$( {
  echo "recipe $recipe $variant $codename"
  echo "$sources"
  mmdebstrap --version
} | sha256sum | cut -c1-16)
work=$cache/$key

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9

if [ -f "$work/complete" ]; then
  echo "debian-root: using $work/root" >&2
  echo "$work/root"
  exit 0
fi
rm -rf "$work"
mkdir -p "$work"
echo "$sources" >"$work/sources"
SECONDS=0
echo "debian-root: making a clean $codename root (mmdebstrap --variant=$variant)" >&2
mmdebstrap --variant="$variant" --mode=root --format=directory "$codename" "$work/root" "$work/sources" \
  >"$work/mmdebstrap.log" 2>&1 || { tail -n 30 "$work/mmdebstrap.log" >&2; exit 1; }
touch "$work/complete"
echo "debian-root: ready in ${SECONDS} s: $work/root ($(du -sh "$work/root" | cut -f1))" >&2
echo "$work/root"
