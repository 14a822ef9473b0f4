#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the release's artifacts into build/packages (ZELBOR_PACKAGE_DIR to put them elsewhere),
# each made from an install tree of its build (cmake --install), never from the build folder:
#   windows: ZelborConfigTool-<version>-windows-x64.msi   the Windows installer (scripts/build-msi.sh)
#            ZelborConfigTool-<version>-windows-x64.zip   the portable Windows copy
#   linux:   zelbor-config-tool_<version>_amd64.deb       the Debian package (scripts/build-deb.sh)
#            ZelborConfigTool-<version>-linux-x64.tar.gz  the portable Linux copy, with a desktop
#                                                         entry and its icon
#   source:  zelbor-config-tool-<version>-source.tar.gz   the source (git archive of the tag
#                                                         v<version>, or of HEAD when untagged)
# The Windows executables and the installer are signed when a certificate is given
# (scripts/sign-windows.sh names the variables); without one the run says they are not.
# Then checks that each artifact holds what the program needs, laid out as it expects, with the
# licence and the third-party notices.
#
#   scripts/package.sh [windows|linux|source]...    all three when none is named
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${ZELBOR_PACKAGE_DIR:-$root/build/packages}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(windows linux source)

# Files the program reads beside itself.
shipped=(Profiles/DefaultProfile.el Languages/languages.ini)
for lang in eng fra deu; do
  for f in soft/main.ini soft/errors.ini soft/warning.ini help/basic.ini help/PedalAssist.ini \
           help/Throttle.ini help/Infos.txt; do
    shipped+=("Languages/$lang/$f")
  done
done
# The manuals: English beside the program, every other language with a source in its folder.
manuals=(Help.pdf)
for source in "$root"/resources/manual/*/Help.html; do
  lang=$(basename "$(dirname "$source")")
  [ "$lang" = eng ] || manuals+=("Languages/$lang/Help.pdf")
done
shipped+=("${manuals[@]}")

"$root/scripts/install-deps.sh" zip unzip binutils git desktop-file-utils appstream
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cache_value() { # TREE NAME: a value the configured tree's cache holds
  sed -n "s/^$2:INTERNAL=//p" "$1/CMakeCache.txt"
}

check() { # LISTING PREFIX FILE...: every file is in the listing, below PREFIX
  local listing=$1 prefix=$2 missing=0 f
  shift 2
  for f; do
    if ! grep -qxF "$prefix$f" "$listing"; then
      echo "package: $(basename "$listing" .listing) lacks $prefix$f" >&2
      missing=1
    fi
  done
  return $missing
}

# Every check of a shipped Windows executable, in one place.
check_windows_exe() { # FILE
  # Nothing imported directly but Windows' known libraries: no compiler runtime, no Qt DLL, and
  # nothing that Windows would look for beside the program.
  "$root/scripts/check-windows-imports.sh" "$1"
}

pack_windows() {
  "$root/scripts/build-windows.sh"
  local win=$root/build-win version numeric name tree exe pin
  # The notices name the Debian source packages the linked Qt and libjpeg come from: the ones
  # scripts/windows-deps.sh pins.
  for pin in qt_version jpeg_version; do
    pin=$(sed -n "s/^$pin=//p" "$root/scripts/windows-deps.sh")
    if [ -z "$pin" ] || ! grep -qF "$pin" "$root/THIRD-PARTY-NOTICES"; then
      echo "package: THIRD-PARTY-NOTICES does not name version '$pin' that scripts/windows-deps.sh pins" >&2
      return 1
    fi
  done
  version=$(cache_value "$win" ZELBOR_VERSION_TEXT)
  numeric=$(cache_value "$win" ZELBOR_VERSION_NUMERIC)
  name=ZelborConfigTool-$version-windows-x64
  tree=$stage/$name
  cmake --install "$win" --prefix "$tree" --strip >"$stage/install-windows.log"
  for exe in "$tree"/*.exe; do
    check_windows_exe "$exe"
  done
  "$root/scripts/sign-windows.sh" "$tree"/*.exe
  find "$tree" -type f | sed "s|^$stage/||" | LC_ALL=C sort >"$stage/$name.listing"
  check "$stage/$name.listing" "$name/" ZelborConfigTool.exe zelbor-cli.exe LICENSE.txt \
    THIRD-PARTY-NOTICES.txt "${shipped[@]}"
  if grep -qxF "$name/InstalledCopy.txt" "$stage/$name.listing"; then
    echo "package: the portable copy $name holds the marker of an installed copy" >&2
    return 1
  fi

  # The portable copy: one folder, unpacked and used anywhere.
  rm -f "$out/$name.zip"
  (cd "$stage" && zip -q -r -X "$out/$name.zip" "$name")
  unzip -Z1 "$out/$name.zip" | grep -v '/$' | LC_ALL=C sort >"$stage/zip.listing"
  cmp -s "$stage/$name.listing" "$stage/zip.listing" || { echo "package: $name.zip lost files" >&2; return 1; }
  echo "Packed $out/$name.zip ($(du -h "$out/$name.zip" | cut -f1))"

  # The installer: the same signed files, and the marker of an installed copy.
  cmake --install "$win" --prefix "$tree" --component installed-copy >>"$stage/install-windows.log"
  "$root/scripts/build-msi.sh" "$tree" "$out/$name.msi" "$numeric" "$version" "$win/tools/ZelborConfigTool.ico"
  "$root/scripts/sign-windows.sh" "$out/$name.msi"
  "$root/scripts/install-deps.sh" msitools >/dev/null
  msiinfo export "$out/$name.msi" File | tail -n +4 | cut -f3 | LC_ALL=C sort >"$stage/msi.listing"
  check "$stage/msi.listing" "" ZelborConfigTool.exe zelbor-cli.exe LICENSE.txt THIRD-PARTY-NOTICES.txt \
    InstalledCopy.txt Help.pdf DefaultProfile.el languages.ini
  # The installer's table names files without their folders: one Help.pdf per manual.
  if [ "$(grep -cxF Help.pdf "$stage/msi.listing")" -ne ${#manuals[@]} ]; then
    echo "package: $name.msi holds $(grep -cxF Help.pdf "$stage/msi.listing") Help.pdf, not ${#manuals[@]}" >&2
    return 1
  fi
  echo "Packed $out/$name.msi ($(du -h "$out/$name.msi" | cut -f1))"
}

pack_linux() {
  "$root/scripts/build.sh"
  local build=$root/build version name tree deb
  version=$(cache_value "$build" ZELBOR_VERSION_TEXT)
  name=ZelborConfigTool-$version-linux-x64
  tree=$stage/$name
  cmake --install "$build" --prefix "$tree" --strip >"$stage/install-linux.log"
  cp "$build/tools/zelbor-config-tool.png" "$tree/"
  # The entry starts the program beside it, wherever the folder was unpacked (%k: the entry's
  # own path). Copied to ~/.local/share/applications, Exec and Icon need the folder's path.
  # The desktop entry's own quoting: in a quoted argument \" and \$ stand for " and $, each
  # backslash written twice in the file.
  cat >"$tree/zelbor-config-tool.desktop" <<'DESKTOP'
[Desktop Entry]
Type=Application
Version=1.0
Name=Zelbor Configuration Tool
Comment=Configure the controller of a mid-drive e-bike motor over a serial cable
Exec=sh -c "exec \\"\\$(dirname \\"\\$1\\")/ZelborConfigTool\\"" sh %k
Icon=zelbor-config-tool
Terminal=false
Categories=Utility;
DESKTOP
  desktop-file-validate "$tree/zelbor-config-tool.desktop"
  rm -f "$out/$name.tar.gz"
  tar -C "$stage" --owner=0 --group=0 --sort=name -czf "$out/$name.tar.gz" "$name"
  tar -tzf "$out/$name.tar.gz" | sed 's:/$::' >"$stage/$name.listing"
  check "$stage/$name.listing" "$name/" ZelborConfigTool zelbor-cli zelbor-config-tool.desktop \
    zelbor-config-tool.png LICENSE THIRD-PARTY-NOTICES "${shipped[@]}"
  if grep -qxF "$name/InstalledCopy.txt" "$stage/$name.listing"; then
    echo "package: the portable copy $name holds the marker of an installed copy" >&2
    return 1
  fi
  echo "Packed $out/$name.tar.gz ($(du -h "$out/$name.tar.gz" | cut -f1))"

  rm -f "$out"/zelbor-config-tool_*.deb
  deb=$("$root/scripts/build-deb.sh" "$build" "$out")
  dpkg-deb -c "$deb" | awk '{print $6}' | sed 's:^\./::; s:/$::' >"$stage/deb.listing"
  check "$stage/deb.listing" usr/ bin/zelbor-config-tool bin/zelbor-cli \
    lib/zelbor-config-tool/ZelborConfigTool lib/zelbor-config-tool/zelbor-cli \
    lib/zelbor-config-tool/InstalledCopy.txt lib/zelbor-config-tool/THIRD-PARTY-NOTICES \
    share/doc/zelbor-config-tool/copyright share/man/man1/zelbor-cli.1.gz \
    share/icons/hicolor/48x48/apps/zelbor-config-tool.png "${shipped[@]/#/lib/zelbor-config-tool/}"
  dpkg-deb -x "$deb" "$stage/deb"
  desktop-file-validate "$stage"/deb/usr/share/applications/*.desktop
  appstreamcli validate --no-net --pedantic "$stage"/deb/usr/share/metainfo/*.metainfo.xml >"$stage/appstream.log" ||
    { cat "$stage/appstream.log" >&2; return 1; }
  echo "Packed $deb ($(du -h "$deb" | cut -f1))"
}

pack_source() {
  # The version as the build names it, from the default tree (configured here when it is not).
  [ -f "$root/build/CMakeCache.txt" ] || (cd "$root" && cmake --preset default >/dev/null)
  local version ref archive
  version=$(cache_value "$root/build" ZELBOR_VERSION_TEXT)
  if git -C "$root" rev-parse -q --verify "refs/tags/v$version" >/dev/null; then
    ref=v$version
  else
    ref=HEAD
    echo "package: no tag v$version; the source archive is of HEAD ($(git -C "$root" rev-parse --short HEAD))"
  fi
  if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    echo "package: the working tree has uncommitted changes, which the source archive leaves out"
  fi
  archive=$out/zelbor-config-tool-$version-source.tar.gz
  git -C "$root" archive --format=tar.gz --prefix="zelbor-config-tool-$version/" -o "$archive" "$ref"
  tar -tzf "$archive" >"$stage/source.listing"
  check "$stage/source.listing" "zelbor-config-tool-$version/" LICENSE THIRD-PARTY-NOTICES README.md CMakeLists.txt
  echo "Packed $archive ($(du -h "$archive" | cut -f1))"
}

for target in "${targets[@]}"; do
  case $target in
  windows | linux | source) "pack_$target" ;;
  *)
    echo "usage: $0 [windows|linux|source]..." >&2
    exit 2
    ;;
  esac
done
