#!/usr/bin/env bash
# On demand, not a test: times pivane.exe against the platform's floor on
# one Wine prefix, and shows what a hung top-level window costs a silent
# toggle against the broadcast's bound.
# usage: bench/run-bench.sh [REPETITIONS]
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-7}

bash scripts/install-deps.sh
source scripts/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target pivane pivane_hung_window >/dev/null

export WINEPREFIX=$PWD/build/bench-prefix
bash scripts/make-wine-prefix.sh "$WINEPREFIX" win32
exe=build/windows/pivane.exe
helper=build/windows/tests/pivane_hung_window.exe

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
ready=$(mktemp -u)
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -f "$ready"
}
trap cleanup EXIT
export DISPLAY=$display
bash scripts/wine-warm.sh "$WINEPREFIX"

seconds() { # command...: wall time in seconds
  local start end
  start=$(date +%s.%N)
  "$@" </dev/null >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

toggles=() writes=()
for ((i = 0; i < repetitions; i++)); do
  toggles+=("$(seconds wine "$exe" /S)")
  writes+=("$(seconds wine reg add 'HKCU\Software\PivaneBench' /v n /d "$i" /f)")
done
toggle=$(printf '%s\n' "${toggles[@]}" | median)
write=$(printf '%s\n' "${writes[@]}" | median)

wine "$helper" "$(winepath -w "$ready")" </dev/null >/dev/null 2>&1 &
for ((i = 0; i < 600; i++)); do
  [ -e "$ready" ] && break
  sleep 0.1
done
[ -e "$ready" ] || { echo "the hung window never came up" >&2; exit 1; }
sleep 1
hung=$(seconds wine "$exe" /S)

read -r size imports < <(/usr/bin/python3 -c '
import os, sys, pefile
pe = pefile.PE(sys.argv[1])
print(os.path.getsize(sys.argv[1]), sum(len(e.imports) for e in pe.DIRECTORY_ENTRY_IMPORT))' "$exe")

printf '%-46s %s\n' \
  "pivane.exe /S, median of $repetitions (s)" "$toggle" \
  "wine reg add, one value, median of $repetitions (s)" "$write" \
  "ratio" "$(echo "scale=2; $toggle / $write" | bc)" \
  "pivane.exe size (bytes)" "$size" \
  "pivane.exe imported functions" "$imports" \
  "pivane.exe /S with a hung window (s)" "$hung" \
  "broadcast bound (s), for each of two broadcasts" "3"
