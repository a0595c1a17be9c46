#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and
# the machine lacks, then makes sure 32-bit Wine can start. Safe to run
# again: it does nothing that is already done.
set -euo pipefail

packages=(
  cmake ninja-build g++ googletest
  g++-mingw-w64-i686 binutils-mingw-w64-i686
  wine wine32:i386 wine64
  xvfb xdotool x11-utils imagemagick
  python3 python3-pytest python3-pytest-rerunfailures python3-pytest-xdist
  python3-pefile
  icoutils clang
  osslsigncode openssl locales
)

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: $1 needs root" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# A mirror in the middle of a sync serves index files that do not match
# their release file, for a few minutes or for one architecture only: the
# update is tried again, and where it still fails, what it did fetch is used.
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -q && return 0
    echo "install-deps: apt-get update failed (try $try of 3)" >&2
    [ "$try" -lt 3 ] && sleep $((try * 10))
  done
  echo "install-deps: going on with the package lists as they are" >&2
}

# The release's own suite (its codename), where a newer point release or
# security update reached one architecture's lists and not the other's:
# packages of both architectures must have the same version.
release_suite() {
  (. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")
}

apt_install() {
  need_root "installing $*"
  export DEBIAN_FRONTEND=noninteractive
  if [ -z "${PIVANE_APT_UPDATED:-}" ]; then
    apt_update
    PIVANE_APT_UPDATED=1
  fi
  apt-get install -y -q --no-install-recommends "$@" && return 0
  local suite
  suite=$(release_suite)
  if [ -n "$suite" ]; then
    echo "install-deps: retrying with $suite as the target release" >&2
    apt-get install -y -q --no-install-recommends -t "$suite" "$@" && return 0
  fi
  echo "install-deps: could not install: $*" >&2
  exit 1
}

if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_root "adding the i386 architecture"
    dpkg --add-architecture i386
  fi
  apt_install "${missing[@]}"
fi

# 32-bit Wine is an i386 Linux program. A kernel built without 32-bit
# support cannot start it, so such a machine runs i386 programs through
# qemu's user-mode emulator instead.
if ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
  dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed' ||
    apt_install qemu-user-static
  need_root "registering qemu for i386 programs"
  binfmt=/proc/sys/fs/binfmt_misc
  [ -f $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt
  if [ ! -f $binfmt/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >$binfmt/register
  fi
  /lib/ld-linux.so.2 --help >/dev/null 2>&1 || {
    echo "install-deps: i386 programs still cannot start" >&2
    exit 1
  }
fi

# Wine takes the ANSI code page from the locale: the system tests read the
# boxes under 1252, 1251 and UTF-8 (a locale with no ANSI code page).
missing_locales=()
for l in fr_FR ru_RU hi_IN; do
  locale -a 2>/dev/null | grep -qx "$l.utf8" || missing_locales+=("$l")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
  need_root "generating the locales ${missing_locales[*]}"
  for l in "${missing_locales[@]}"; do
    grep -qx "$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" >>/etc/locale.gen
  done
  locale-gen
fi
