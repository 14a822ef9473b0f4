#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Windows installer from an install tree of the Windows program (with the marker of an
# installed copy), with Debian's wixl: packaging/windows/ZelborConfigTool.wxs and the tree's files.
#
#   scripts/build-msi.sh TREE OUTPUT.msi VERSION VERSION_TEXT ICON.ico
#
# VERSION is the numeric major.minor.patch (the installer compares it to find an older release),
# VERSION_TEXT the one people read. The product code is derived from the upgrade code and the
# version: each version has its own, and the same version built again keeps it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ne 5 ]; then
  echo "usage: $0 TREE OUTPUT.msi VERSION VERSION_TEXT ICON.ico" >&2
  exit 2
fi
tree=$(cd "$1" && pwd) msi=$2 version=$3 text=$4 icon=$5
"$root/scripts/install-deps.sh" wixl python3 >/dev/null
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "build-msi: '$version' is no major.minor.patch" >&2; exit 2; }
[ -f "$tree/ZelborConfigTool.exe" ] || { echo "build-msi: $tree holds no ZelborConfigTool.exe" >&2; exit 2; }

template=$root/packaging/windows/ZelborConfigTool.wxs
upgrade=$(sed -n 's/.*UpgradeCode="\([0-9a-f-]*\)".*/\1/p' "$template")
product=$(python3 -c 'import sys, uuid; print(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2]))' "$upgrade" "$version")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# wixl finds files by names relative to its working folder only.
ln -s "$tree" "$work/tree"
cp "$icon" "$work/ZelborConfigTool.ico"
# One component per file, each with the file as its key and a GUID wixl derives from its path:
# the same file keeps its component from one version to the next.
(cd "$work" && find tree/ -type f | LC_ALL=C sort) |
  wixl-heat -p tree/ --component-group ProgramFiles --var var.SourceDir --directory-ref INSTALLDIR --win64 \
  >"$work/files.wxs"
cp "$template" "$work/product.wxs"
(cd "$work" && wixl -a x64 -D ProductCode="$product" -D Version="$version" -D VersionText="$text" \
  -D SourceDir=tree -D Icon=ZelborConfigTool.ico -D Win64=yes -o product.msi product.wxs files.wxs)
mv "$work/product.msi" "$msi"
