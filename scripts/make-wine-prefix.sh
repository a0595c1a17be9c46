#!/usr/bin/env bash
# Makes (or keeps) a throwaway Wine prefix for tests and local runs.
# usage: make-wine-prefix.sh DIR win32|win64 [test]
# A test prefix does not start Wine's device, network, event-log and
# plug-and-play services, which nothing of Pivane uses: under emulation they
# take most of Wine's start-up and are where it now and then crashes. It
# also names MessageBoxA, MessageBoxW, GetVersion, ShellExecuteExW,
# SHChangeNotify, SetDefaultDllDirectories and GetFinalPathNameByHandleW as
# the calls that a relay trace shows.
set -euo pipefail
dir=$1
arch=$2
kind=${3:-full}
settings=$(mktemp --suffix=.reg)
trap 'rm -f "$settings"' EXIT
{
  printf 'REGEDIT4\n\n'
  # Boxes go away at once without a window manager.
  printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n\n'
  if [ "$kind" = test ]; then
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Debug]\n"RelayInclude"="user32.MessageBoxA;user32.MessageBoxW;kernel32.GetVersion;shell32.ShellExecuteExW;shell32.SHChangeNotify;kernel32.SetDefaultDllDirectories;kernel32.GetFinalPathNameByHandleW"\n\n'
    for service in Eventlog MountMgr NDIS nsiproxy PlugPlay; do
      printf '[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\%s]\n"Start"=dword:00000004\n\n' \
        "$service"
    done
  fi
} >"$settings"
# A prefix made with other settings is made again.
stamp="$arch $kind $(md5sum <"$settings" | cut -d' ' -f1)"
if [ -f "$dir/system.reg" ] && [ "$(cat "$dir/.pivane-arch" 2>/dev/null)" = "$stamp" ]; then
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
  timeout 300 wineboot -i </dev/null >/dev/null 2>&1 || true
  if [ -d "$dir/drive_c/windows/system32" ] &&
    timeout 120 wine regedit /S "Z:${settings//\//\\}" </dev/null >/dev/null 2>&1; then
    timeout 120 wineserver -w || wineserver -k || true
    if grep -q '"Managed"="N"' "$dir/user.reg"; then
      echo "$stamp" >"$dir/.pivane-arch"
      exit 0
    fi
  fi
  echo "make-wine-prefix: attempt $attempt at $dir failed; trying again" >&2
done
wineserver -k </dev/null >/dev/null 2>&1 || true
echo "make-wine-prefix: wineboot left no usable prefix in $dir" >&2
exit 1
