#!/usr/bin/env bash
# Makes (or keeps) a throwaway Wine prefix for tests and local runs.
# usage: make-wine-prefix.sh DIR win32|win64
set -euo pipefail
dir=$1
arch=$2
if [ -f "$dir/system.reg" ] && [ "$(cat "$dir/.pivane-arch" 2>/dev/null)" = "$arch" ]; then
  exit 0
fi
source "$(dirname "$0")/wine-env.sh"
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX=$dir WINEARCH=$arch
unset DISPLAY
timeout 600 wineboot -i >/dev/null 2>&1 || true
# A service that hangs must not hold the set-up: wait a while, then end them.
timeout 120 wineserver -w || wineserver -k || true
if [ ! -f "$dir/system.reg" ] || [ ! -d "$dir/drive_c/windows/system32" ]; then
  echo "make-wine-prefix: wineboot left no usable prefix in $dir" >&2
  exit 1
fi
# Boxes go away at once without a window manager.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
timeout 60 wineserver -w || wineserver -k || true
echo "$arch" >"$dir/.pivane-arch"
