#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libraries the Windows program links, from Debian's own source packages, with the
# mingw-w64 cross compiler, into a cache outside the clone that later runs reuse:
#   qtbase (static: Core, Gui, Widgets, Test; the windows, offscreen and minimal platform
#   plugins, the windowsvista style) and libjpeg-turbo (static), installed into one prefix.
#
#   scripts/windows-deps.sh            builds what is missing; prints the prefix as the last line
#
# The cache is ${ZELBOR_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zelbor-windows-deps}; each
# build lives in a folder named after a hash of everything that shapes it (the pinned source
# versions, the options below, the toolchain file, the compiler's and the host Qt's versions),
# so a change to any of them builds anew and an unchanged one costs nothing. The source
# packages come through apt with a private configuration (its own source list, package lists
# and download cache inside the cache folder): the machine's apt setup is left as it is, and apt
# checks the downloads against the archive's signed indices.
#
# Progress goes to standard error, with the build logs in the cache folder.
# ZELBOR_BUILD_JOBS sets the parallel jobs (default: all cores); the build runs at low priority.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${ZELBOR_BUILD_JOBS:-$(nproc)}
cache=${ZELBOR_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/zelbor-windows-deps}

# Exact versions of the source packages (those of Debian 12's archive). The host's Qt tools
# (moc, rcc, uic) must be of the same Qt version as the target's libraries.
qt_source=qt6-base
qt_version=6.4.2+dfsg-10
jpeg_source=libjpeg-turbo
jpeg_version=1:2.1.5-2

# Bump when the steps below change in a way the options do not show.
recipe=1

jpeg_options=(
  -DENABLE_SHARED=OFF -DENABLE_STATIC=ON
  -DWITH_SIMD=OFF          # needs nasm for the target; the program decodes one small picture
  -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
)

# Only what the program and its window tests use. Debian's source has no src/3rdparty/wintab,
# which the windows platform plugin needs for tablet events: those stay off. The bundled copies
# of the image and text libraries are built in, so the executable needs no DLL of them.
qt_options=(
  -DBUILD_SHARED_LIBS=OFF
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF
  -DFEATURE_testlib=ON      # the window tests link Qt Test
  -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF
  -DFEATURE_directwrite3=OFF # its font database is built into Gui only with direct2d, yet the
                             # windows plugin would still call it; fonts come through GDI's database
  -DFEATURE_tabletevent=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_system_jpeg=ON  # the libjpeg-turbo built here
  -DFEATURE_jpeg=ON -DFEATURE_gif=ON -DFEATURE_ico=ON
  -DFEATURE_accessibility=ON
)

toolchain=$root/cmake/mingw-w64-x86_64.cmake
cxx=x86_64-w64-mingw32-g++-posix
for tool in "$cxx" cmake ninja dpkg-source apt-get; do
  command -v "$tool" >/dev/null || { echo "windows-deps: $tool is missing (scripts/test-windows.sh installs it)" >&2; exit 2; }
done
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
if [ "${host_qt%%+*}" != "${qt_version%%+*}" ]; then
  echo "windows-deps: the host's Qt tools are '${host_qt:-missing}', the target Qt is $qt_version:" \
       "install qt6-base-dev-tools of the same Qt version" >&2
  exit 2
fi

key=$( {
  echo "recipe $recipe"
  echo "$qt_source $qt_version"; printf '%s\n' "${qt_options[@]}"
  echo "$jpeg_source $jpeg_version"; printf '%s\n' "${jpeg_options[@]}"
  echo "compiler $("$cxx" -dumpfullversion) $(dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-posix 2>/dev/null)"
  echo "host qt $host_qt"
  cat "$toolchain"
} | sha256sum | cut -c1-16)
work=$cache/$key
prefix=$work/prefix

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9 # one build at a time; a second run waits and then finds the first one's result

if [ -f "$work/complete" ]; then
  echo "windows-deps: using $prefix" >&2
  echo "$prefix"
  exit 0
fi

say() { echo "windows-deps: $* [${SECONDS} s]" >&2; }
SECONDS=0
rm -rf "$work"
mkdir -p "$work/logs"
logs=$work/logs
# Built without the compiler launcher a developer may have set: the cache is the reuse here.
unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER

# --- Source packages, through a private apt configuration --------------------------------------
# The archive is the one this machine's own apt sources name for its release, as deb-src.
apt_dir=$cache/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
archive() {
  # deb822 files first, then one-line lists: the first "deb" entry of the release's main suite.
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v suite="$codename" '
      function flush() { if (deb && has && uri != "") { print uri " " key; found = 1; exit } deb = has = 0; uri = key = "" }
      /^[[:space:]]*$/ { flush(); next }
      /^[[:space:]]*#/ { next }
      tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == suite) has = 1 }
      tolower($1) == "signed-by:" { key = $2 }
      END { if (!found) flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -e 's/\[[^]]*\]//' "$f" | awk -v suite="$codename" '$1 == "deb" && $3 == suite { print $2; exit }'
  done
}
read -r mirror keyring < <(archive | head -n1) || true
mirror=${ZELBOR_DEBIAN_ARCHIVE:-$mirror}
keyring=${keyring:-/usr/share/keyrings/debian-archive-keyring.gpg}
if [ -z "$mirror" ] || [ -z "$codename" ]; then
  echo "windows-deps: no Debian archive for '$codename' in this machine's apt sources;" \
       "set ZELBOR_DEBIAN_ARCHIVE to its URI" >&2
  exit 2
fi
echo "deb-src [signed-by=$keyring] $mirror $codename main" >"$apt_dir/sources.list"
apt_opts=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  -o "APT::Sandbox::User=$(id -un)" # the cache may sit in a folder apt's own user cannot enter
)

fetch() { # SOURCE VERSION -> unpacked tree in $work/src/SOURCE
  local src=$1 version=$2 dir=$cache/sources/$1_${2#*:}
  if [ ! -f "$dir/complete" ]; then
    say "fetching $src $version"
    if [ ! -f "$apt_dir/updated-$codename" ]; then
      apt-get "${apt_opts[@]}" -q update >"$logs/apt-update.log" 2>&1 ||
        { cat "$logs/apt-update.log" >&2; exit 1; }
      touch "$apt_dir/updated-$codename"
    fi
    rm -rf "$dir" && mkdir -p "$dir"
    if ! (cd "$dir" && apt-get "${apt_opts[@]}" -q source --download-only "$src=$version") \
        >"$logs/fetch-$src.log" 2>&1; then
      # The lists may be older than the archive: refresh them once and try again.
      apt-get "${apt_opts[@]}" -q update >"$logs/apt-update.log" 2>&1 ||
        { cat "$logs/apt-update.log" >&2; exit 1; }
      (cd "$dir" && apt-get "${apt_opts[@]}" -q source --download-only "$src=$version") \
        >"$logs/fetch-$src.log" 2>&1 || { cat "$logs/fetch-$src.log" >&2; exit 1; }
    fi
    touch "$dir/complete"
  fi
  say "unpacking $src"
  mkdir -p "$work/src"
  dpkg-source -x "$dir"/*.dsc "$work/src/$src" >"$logs/unpack-$src.log" 2>&1 ||
    { cat "$logs/unpack-$src.log" >&2; exit 1; }
}

# The toolchain file goes into the prefix: Qt's own toolchain file names the one it was built
# with, and the cache must not depend on the clone that built it.
mkdir -p "$prefix/share/zelbor"
cp "$toolchain" "$prefix/share/zelbor/mingw-w64-x86_64.cmake"
toolchain=$prefix/share/zelbor/mingw-w64-x86_64.cmake

fetch "$jpeg_source" "$jpeg_version"
say "building libjpeg-turbo"
# An absolute library folder: libjpeg-turbo takes a relative one against the working directory.
nice -n 19 cmake -S "$work/src/$jpeg_source" -B "$work/build-jpeg" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" "${jpeg_options[@]}" \
  >"$logs/jpeg.log" 2>&1 &&
nice -n 19 cmake --build "$work/build-jpeg" --parallel "$jobs" >>"$logs/jpeg.log" 2>&1 &&
cmake --install "$work/build-jpeg" >>"$logs/jpeg.log" 2>&1 ||
  { tail -n 40 "$logs/jpeg.log" >&2; exit 1; }

fetch "$qt_source" "$qt_version"
say "configuring qtbase (log: $logs/qt-configure.log)"
nice -n 19 cmake -S "$work/src/$qt_source" -B "$work/build-qt" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY_RELEASE="$prefix/lib/libjpeg.a" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a" \
  "${qt_options[@]}" >"$logs/qt-configure.log" 2>&1 ||
  { tail -n 60 "$logs/qt-configure.log" >&2; exit 1; }
say "building qtbase, about 1000 steps (log: $logs/qt-build.log)"
nice -n 19 cmake --build "$work/build-qt" --parallel "$jobs" >"$logs/qt-build.log" 2>&1 ||
  { grep -m 20 -B 2 -A 10 'error' "$logs/qt-build.log" >&2 || tail -n 60 "$logs/qt-build.log" >&2; exit 1; }
cmake --install "$work/build-qt" >"$logs/qt-install.log" 2>&1 ||
  { tail -n 40 "$logs/qt-install.log" >&2; exit 1; }

# The build trees and unpacked sources are large and not needed once installed.
rm -rf "$work/build-qt" "$work/build-jpeg" "$work/src"
touch "$work/complete"
say "ready: $prefix ($(du -sh "$prefix" | cut -f1))"
echo "$prefix"
