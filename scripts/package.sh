#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and packs the shipping folders as the archives users download, into build/packages:
#   ZelborConfigTool-<version>-windows-x64.zip    the Windows program (scripts/build-windows.sh)
#   ZelborConfigTool-<version>-linux-x64.tar.gz   the Linux program, with a desktop entry and icon
# Each archive holds one folder named like the archive: the shipping folder (build/bin,
# build-win/bin) as a whole, whatever else has been added to it, with its programs stripped.
# Then checks that each archive holds what the program needs, laid out as it expects.
#
#   scripts/package.sh [windows|linux]...    both when none is named
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/packages
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(windows linux)

# The programs of a shipping folder (without .exe); the first is the one users start. Any that
# a build does not make is left out of the check, not out of the archive.
programs=(ZelborConfigTool zelbor-cli)
# Files the program reads beside itself.
shipped=(Help.pdf Profiles/DefaultProfile.el Languages/languages.ini)
for lang in eng fra deu; do
  for f in soft/main.ini soft/errors.ini soft/warning.ini help/basic.ini help/PedalAssist.ini \
           help/Throttle.ini help/Infos.txt; do
    shipped+=("Languages/$lang/$f")
  done
done

"$root/scripts/install-deps.sh" zip unzip binutils
version=$(sed -n 's/^project(ZelborConfigTool VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
mkdir -p "$out"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

check() { # LISTING NAME EXE: every shipped file and the program are in the archive's folder
  local listing=$1 name=$2 exe=$3 missing=0 f
  for f in "$exe" "${shipped[@]}"; do
    if ! grep -qxF "$name/$f" "$listing"; then
      echo "package: $name lacks $f" >&2
      missing=1
    fi
  done
  return $missing
}

for target in "${targets[@]}"; do
  case $target in
  windows)
    "$root/scripts/build-windows.sh"
    name=ZelborConfigTool-$version-windows-x64
    rm -rf "${stage:?}/$name"
    cp -a "$root/build-win/bin" "$stage/$name"
    for p in "${programs[@]}"; do
      [ -f "$stage/$name/$p.exe" ] && x86_64-w64-mingw32-strip --strip-all "$stage/$name/$p.exe"
    done
    # Nothing imported directly but Windows' known libraries: no compiler runtime, no Qt DLL, and
    # nothing that Windows would look for beside the program.
    "$root/scripts/check-windows-imports.sh" "$stage/$name"/*.exe
    archive=$out/$name.zip
    rm -f "$archive"
    (cd "$stage" && zip -q -r -X "$archive" "$name")
    unzip -Z1 "$archive" >"$stage/listing"
    check "$stage/listing" "$name" ZelborConfigTool.exe
    grep -qxF "$name/zelbor-cli.exe" "$stage/listing" || { echo "package: $name lacks zelbor-cli.exe" >&2; exit 1; }
    ;;
  linux)
    "$root/scripts/build.sh"
    name=ZelborConfigTool-$version-linux-x64
    rm -rf "${stage:?}/$name"
    cp -a "$root/build/bin" "$stage/$name"
    for p in "${programs[@]}"; do
      [ -f "$stage/$name/$p" ] && strip --strip-all "$stage/$name/$p"
    done
    cp "$root/build/tools/zelbor-config-tool.png" "$stage/$name/"
    # The entry starts the program beside it, wherever the folder was unpacked (%k: the entry's
    # own path). Copied to ~/.local/share/applications, Exec and Icon need the folder's path.
    cat >"$stage/$name/zelbor-config-tool.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Version=1.0
Name=Zelbor Configuration Tool
Comment=Configure the controller of a mid-drive e-bike motor over a serial cable
Exec=sh -c 'exec "\$(dirname "\$1")/ZelborConfigTool"' sh %k
Icon=zelbor-config-tool
Terminal=false
Categories=Utility;Settings;
DESKTOP
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$stage/$name/zelbor-config-tool.desktop"
    fi
    archive=$out/$name.tar.gz
    tar -C "$stage" --owner=0 --group=0 -czf "$archive" "$name"
    tar -tzf "$archive" | sed 's:/$::' >"$stage/listing"
    check "$stage/listing" "$name" ZelborConfigTool
    grep -qxF "$name/zelbor-cli" "$stage/listing" || { echo "package: $name lacks zelbor-cli" >&2; exit 1; }
    for f in zelbor-config-tool.desktop zelbor-config-tool.png; do
      grep -qxF "$name/$f" "$stage/listing" || { echo "package: $name lacks $f" >&2; exit 1; }
    done
    ;;
  *)
    echo "usage: $0 [windows|linux]..." >&2
    exit 2
    ;;
  esac
  echo "Packed $archive ($(du -h "$archive" | cut -f1))"
done
