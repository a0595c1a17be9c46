#!/usr/bin/env bash
# Makes (or keeps) a throwaway Wine prefix for tests.
# usage: make-wine-prefix.sh DIR win32|win64
set -euo pipefail
dir=$1
arch=$2
if [ -f "$dir/system.reg" ] && [ "$(cat "$dir/.pivane-arch" 2>/dev/null)" = "$arch" ]; then
  exit 0
fi
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
export WINEPREFIX=$dir WINEARCH=$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wineboot -i >/dev/null 2>&1
wineserver -w
echo "$arch" >"$dir/.pivane-arch"
