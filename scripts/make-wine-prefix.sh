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
export WINEPREFIX=$dir WINEARCH=$arch
unset DISPLAY
mkdir -p "$(dirname "$dir")"
# Under emulation a service now and then hangs at start-up: each step is
# bounded, and a prefix that did not come out whole is made again.
for attempt in 1 2 3; do
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$dir"
  timeout 600 wineboot -i </dev/null >/dev/null 2>&1 || true
  # Boxes go away at once without a window manager.
  if [ -d "$dir/drive_c/windows/system32" ] &&
    timeout 120 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      </dev/null >/dev/null 2>&1; then
    timeout 120 wineserver -w || wineserver -k || true
    if grep -q '"Managed"="N"' "$dir/user.reg"; then
      echo "$arch" >"$dir/.pivane-arch"
      exit 0
    fi
  fi
  echo "make-wine-prefix: attempt $attempt at $dir failed; trying again" >&2
done
wineserver -k </dev/null >/dev/null 2>&1 || true
echo "make-wine-prefix: wineboot left no usable prefix in $dir" >&2
exit 1
