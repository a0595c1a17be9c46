#!/usr/bin/env bash
# Builds pivane.exe and runs it under Wine in a prefix of the project's own
# (.wine/), then shows what it left: the shell's value "4" and the library.
# Arguments go to pivane.exe; without a display it runs silently (/S).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/wine-env.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target pivane

export WINEPREFIX=$PWD/.wine
# The test kind of prefix leaves off the services pivane.exe does not use.
# Wine's own messages (under an emulator, its desktop process now and then
# crashes as it starts, and says so) go to a log, not among pivane.exe's.
bash scripts/make-wine-prefix.sh "$WINEPREFIX" win32 test
bash scripts/wine-warm.sh "$WINEPREFIX"
log=$WINEPREFIX/wine-messages.log
: >"$log"

arguments=("$@")
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: the boxes cannot appear, so pivane.exe runs silently (/S)."
  arguments=(/S)
fi
status=0
wine build/windows/pivane.exe "${arguments[@]}" 2>>"$log" || status=$?
echo "pivane.exe exited with code $status."

echo
echo "Value \"4\" of the shell's icons:"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Icons' /v 4 2>>"$log" |
  grep REG_ || echo "    (none)"
echo "Icon library:"
ls -l "$WINEPREFIX/drive_c/windows/system32/pivane.dll" 2>/dev/null || echo "    (none)"
wineserver -k 2>>"$log" || true
if [ -s "$log" ]; then
  echo
  echo "Wine's own messages, not pivane.exe's, are in ${log#"$PWD"/}."
fi
