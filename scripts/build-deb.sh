#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a built Linux tree, through its install rules:
#
#   scripts/build-deb.sh BUILD OUTPUT_FOLDER   -> OUTPUT_FOLDER/zelbor-config-tool_<version>_<arch>.deb
#
#   /usr/lib/zelbor-config-tool/   the program's folder, as the shipping folder is laid out, with
#                                  the marker of an installed copy (per-user settings); Qt's
#                                  translations there are a link to Debian's
#   /usr/bin/                      zelbor-config-tool and zelbor-cli, links into that folder
#   /usr/share/                    menu entry, software-centre metadata, icons, manual pages,
#                                  copyright, changelog and the lintian overrides (packaging/debian)
# The libraries it depends on are those the binaries link (dpkg-shlibdeps), with those packaging/
# debian/control names besides. The version is the tree's (cmake/Version.cmake).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD OUTPUT_FOLDER" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
"$root/scripts/install-deps.sh" dpkg-dev >/dev/null

version=$(sed -n 's/^ZELBOR_VERSION_TEXT:INTERNAL=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "build-deb: $build is no configured tree of the project" >&2; exit 2; }
arch=$(dpkg --print-architecture)
package=zelbor-config-tool
maintainer=$(sed -n 's/^Maintainer: //p' "$root/packaging/debian/control")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Laid out as a Debian source tree would be, so that the dpkg tools find everything where they expect it.
pkg=$work/src/debian/$package
lib=$pkg/usr/lib/$package
doc=$pkg/usr/share/doc/$package
umask 022

cmake --install "$build" --prefix "$lib" --strip >"$work/install.log"
cmake --install "$build" --prefix "$lib" --component installed-copy >>"$work/install.log"
cmake --install "$build" --prefix "$pkg/usr" --component desktop >>"$work/install.log"
# As Debian strips its own programs: no compiler notes either.
for f in "$lib"/*; do
  [ -f "$f" ] && [ -x "$f" ] && ! [ -L "$f" ] && strip --remove-section=.comment --remove-section=.note "$f"
done
# Qt's texts are Debian's own (qt6-translations-l10n): the program finds them through a link.
rm -rf "$lib/translations"
ln -s ../../share/qt6/translations "$lib/translations"
# The licence's text is Debian's copy, which the copyright file names.
rm -f "$lib/LICENSE"
gzip -9n "$pkg"/usr/share/man/man1/*.1

# The changelog's one entry dates the release as its commit does.
date=$(git -C "$root" log -1 --format=%cD 2>/dev/null || date -R)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(date -d "$date" +%s)}
mkdir -p "$doc" "$pkg/DEBIAN"
cat >"$work/src/debian/changelog" <<CHANGELOG
$package ($version) bookworm; urgency=medium

  * Release $version.

 -- $maintainer  $(date -R -d "@$SOURCE_DATE_EPOCH")
CHANGELOG
grep -v '^#' "$root/packaging/debian/control" >"$work/src/debian/control"
gzip -9n <"$work/src/debian/changelog" >"$doc/changelog.gz"
cp "$root/packaging/debian/copyright" "$doc/copyright"
install -D -m 644 "$root/packaging/debian/lintian-overrides" "$pkg/usr/share/lintian/overrides/$package"

binaries=()
for f in "$lib"/*; do
  [ -f "$f" ] && [ -x "$f" ] && ! [ -L "$f" ] && binaries+=("$f")
done
(cd "$work/src" && dpkg-shlibdeps -Tdebian/substvars "${binaries[@]}")
find "$pkg" -type d -exec chmod 755 {} +
find "$pkg" -type f ! -perm -u+x -exec chmod 644 {} +
(cd "$work/src" && dpkg-gencontrol -p"$package" -P"$pkg" -Tdebian/substvars)
(cd "$pkg" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 644 "$pkg/DEBIAN/md5sums"

deb=$out/${package}_${version}_$arch.deb
dpkg-deb --root-owner-group -Zxz --build "$pkg" "$deb" >/dev/null
echo "$deb"
