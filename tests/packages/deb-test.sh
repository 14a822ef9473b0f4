#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as a new user meets it, in a clean Debian root (scripts/debian-root.sh) under
# a throw-away layer, in a mount namespace of its own:
#   apt installs it with the dependencies it declares (no recommended packages);
#   zelbor-cli reads the bundled virtual controller into a profile;
#   the program starts on a virtual display as a normal user, whose keys switch the language in
#   the start-up warning: the choice lands in that user's ~/.config, and nothing under /usr changes;
#   apt-get purge leaves none of the package's files behind.
#
#   tests/packages/deb-test.sh PACKAGE.deb        (as root)
#
# The package lists and downloads are kept beside the cached root, so a later run fetches only what
# changed. Logs and a screenshot go to build/packages/deb-test/. Exits non-zero on any failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 PACKAGE.deb" >&2; exit 2; }
deb=$(readlink -f "$1")
[ -f "$deb" ] || { echo "deb-test: no package $1" >&2; exit 2; }

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "deb-test: needs root (a chroot and mounts)" >&2; exit 2; }
  exec sudo "$0" "$@"
fi
if [ -z "${ZELBOR_DEB_TEST_NAMESPACE:-}" ]; then
  "$repo/scripts/install-deps.sh" xvfb xdotool x11-utils imagemagick >&2
  base=$("$repo/scripts/debian-root.sh" | tail -n1)
  # Mounts made from here on vanish with the namespace, whatever way the test ends.
  exec unshare --mount --propagation private -- env ZELBOR_DEB_TEST_NAMESPACE="$base" "$0" "$@"
fi
base=$ZELBOR_DEB_TEST_NAMESPACE
apt_cache=$(dirname "$(dirname "$base")")/apt
logs=$repo/build/packages/deb-test
rm -rf "$logs" && mkdir -p "$logs"
. "$here/x11.sh"

work=$(mktemp -d)
r=$work/root
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  umount -R "$r" 2>/dev/null || umount -lR "$r" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
say() { echo "== $*"; }

mkdir -p "$work/upper" "$work/work" "$r" "$apt_cache/lists/partial" "$apt_cache/archives/partial"
mount -t overlay overlay -o "lowerdir=$base,upperdir=$work/upper,workdir=$work/work" "$r"
mount -t proc proc "$r/proc"
mount --rbind /sys "$r/sys" && mount --make-rslave "$r/sys"
mount --rbind /dev "$r/dev" && mount --make-rslave "$r/dev" # pseudo-terminals for the controller
mount -t tmpfs -o mode=1777 tmpfs "$r/tmp"
mount -t tmpfs -o mode=755 tmpfs "$r/run"
mount --bind "$apt_cache/lists" "$r/var/lib/apt/lists"
mount --bind "$apt_cache/archives" "$r/var/cache/apt/archives"
cp /etc/resolv.conf "$r/etc/resolv.conf"
# How this machine reaches the archive (a proxy, an archive snapshot's old dates) holds there too.
apt-config dump | grep -E '^Acquire::(http|https|Check-Valid-Until|Check-Date)' >"$r/etc/apt/apt.conf.d/00reach" || true
in_root() { chroot "$r" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
as_rider() { chroot "$r" setpriv --reuid=rider --regid=rider --init-groups \
  env -i HOME=/home/rider USER=rider LOGNAME=rider PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
in_root chown _apt:root /var/lib/apt/lists/partial /var/cache/apt/archives/partial

say "apt installs the package and its dependencies into a clean $(. "$r/etc/os-release" && echo "$PRETTY_NAME") root"
cp "$deb" "$r/tmp/"
in_root apt-get -q update >"$logs/apt-update.log" 2>&1 || { cat "$logs/apt-update.log" >&2; exit 1; }
if ! in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")" >"$logs/apt-install.log" 2>&1; then
  cat "$logs/apt-install.log" >&2
  exit 1
fi
echo "   packages set up: $(grep -c '^Setting up ' "$logs/apt-install.log" || true)"
in_root dpkg -L zelbor-config-tool >"$work/files"
in_root useradd --create-home --shell /bin/bash rider
touch "$r/tmp/installed" # whatever changes under /usr after this is the program's doing
sleep 1

say "zelbor-cli reads the virtual controller"
version=$(as_rider zelbor-cli --version) || fail "zelbor-cli --version failed"
echo "   $version"
as_rider mkdir -m 700 /tmp/vc
as_rider /usr/lib/zelbor-config-tool/zelbor-virtual-controller --no-pacing --folder /tmp/vc --name deb \
  >"$work/vc.out" 2>"$logs/virtual-controller.log" &
pids+=($!)
for _ in $(seq 50); do grep -q '^PORT ' "$work/vc.out" && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$work/vc.out")
if [ -z "$port" ]; then
  fail "the virtual controller announced no port: $(cat "$logs/virtual-controller.log")"
elif as_rider zelbor-cli read --port "$port" --out /home/rider/backup.el >"$logs/cli-read.log" 2>&1; then
  for section in Basic "Pedal Assist" "Throttle Handle"; do
    grep -qF "[$section]" "$r/home/rider/backup.el" || fail "the profile zelbor-cli read has no [$section]"
  done
  echo "   read $(grep -c = "$r/home/rider/backup.el") values"
else
  fail "zelbor-cli read failed: $(cat "$logs/cli-read.log")"
fi

say "the program starts as a normal user and switches the language"
start_display "$logs/xvfb.log"
mkdir -p "$r/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$r/tmp/.X11-unix"
as_rider env DISPLAY="$DISPLAY" zelbor-config-tool >"$logs/program.log" 2>&1 &
pids+=($!)
if warning=$(wait_for_window "Zelbor Configuration Tool" 60); then
  sleep 1
  import -display "$DISPLAY" -window root "$logs/warning.png" 2>/dev/null || true
  pick_next_language_in_warning "$warning"
  wait_for_window "Outil de configuration Zelbor" 20 >/dev/null ||
    fail "the warning did not turn French after Tab Tab Down (screenshot: $logs/after-keys.png)"
  import -display "$DISPLAY" -window root "$logs/after-keys.png" 2>/dev/null || true
  own=$r/home/rider/.config/ZelborConfigTool/languages.ini
  if [ "$(cat "$own" 2>/dev/null)" != "$(printf '[LANGUAGES]\r\ndefault=fra\r')" ]; then
    fail "the choice is not in the user's $own: '$(cat "$own" 2>/dev/null)'"
  fi
  [ "$(in_root stat -c %U /home/rider/.config/ZelborConfigTool/languages.ini 2>/dev/null)" = rider ] ||
    fail "the user's languages.ini does not belong to the user"
else
  fail "the program showed no window (log: $logs/program.log)"
  xwininfo -root -tree >>"$logs/program.log" 2>&1 || true
fi
kill "${pids[@]}" 2>/dev/null || true
changed=$(cd "$r" && find usr -newer tmp/installed ! -type d)
[ -z "$changed" ] || fail "the program changed files under /usr: $changed"
in_root dpkg --verify zelbor-config-tool >"$work/verify" || true
[ ! -s "$work/verify" ] || fail "the package's files changed: $(cat "$work/verify")"
in_root dpkg-query -W -f='${Installed-Size} KiB installed, Depends: ${Depends}\n' zelbor-config-tool | sed 's/^/   /'

say "apt-get purge leaves nothing behind"
in_root apt-get purge -y -q zelbor-config-tool >"$logs/apt-purge.log" 2>&1 ||
  { cat "$logs/apt-purge.log" >&2; fail "apt-get purge failed"; }
left=0
while read -r f; do
  # Folders the package shares with others (/usr/share/applications, ...) stay, as they should.
  if [ -e "$r$f" ] || [ -L "$r$f" ]; then
    if [ ! -d "$r$f" ] || [ "$f" = /usr/lib/zelbor-config-tool ] || [ "$f" = /usr/share/doc/zelbor-config-tool ]; then
      fail "left behind: $f"
      left=1
    fi
  fi
done <"$work/files"
strays=$(cd "$r" && find usr etc var/lib/dpkg -name '*zelbor*' 2>/dev/null || true)
[ -z "$strays" ] || fail "left behind: $strays"
[ "$left" -eq 0 ] && [ -z "$strays" ] && echo "   none of its $(wc -l <"$work/files") paths is left"

if [ "$failures" -ne 0 ]; then
  echo "The Debian package's test FAILED ($failures failures; logs in $logs)" >&2
  exit 1
fi
echo "The Debian package's test passed (logs and screenshots in $logs)"
