#!/usr/bin/env bash
# On demand, not a test: what a silent toggle costs beside busy programs.
# For each case, K top-level windows that each take D ms over every
# settings change on a thread of their own (or one whose thread stopped
# pumping long ago), each EXE (by default the built pivane.exe) toggles
# once per repetition; the row gives the toggle's wall time, how long the
# per-user icon size read "16", and how many windows read "16" last.
# usage: bench/refresh-bench.sh [REPETITIONS] [EXE...]
# CASES="K:D ..." (K windows of D ms, or D=hung) takes some cases alone.
# Needs what scripts/install-deps.sh installs (Wine, Xvfb, MinGW-w64).
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-3}
shift || true
programs=("$@")

source scripts/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target pivane pivane_busy_windows >/dev/null

export WINEPREFIX=$PWD/build/bench-prefix
bash scripts/make-wine-prefix.sh "$WINEPREFIX" win32
[ ${#programs[@]} -gt 0 ] || programs=(build/windows/pivane.exe)
helper=build/windows/tests/pivane_busy_windows.exe

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
work=$(mktemp -d)
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display
bash scripts/wine-warm.sh "$WINEPREFIX"
wine reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v 'Shell Icon Size' /d 32 /f \
  </dev/null >/dev/null 2>&1

median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

# One toggle beside K windows of D ms: "wall seconds, seconds the size read
# 16, windows whose last reading was 16".
toggle() { # exe K D
  local log=$work/log ready=$work/ready pid wall
  rm -f "$log" "$ready"
  wine "$helper" "$(winepath -w "$log")" "$(winepath -w "$ready")" "$2" "$3" \
    </dev/null >/dev/null 2>&1 &
  pid=$!
  for ((i = 0; i < 6000; i++)); do
    [ -e "$ready" ] && break
    sleep 0.1
  done
  [ -e "$ready" ] || { echo "the busy windows never came up" >&2; exit 1; }
  # A hung thread is taken for hung after 5 s without pumping.
  [ "$3" = hung ] && sleep 6
  sleep 1
  wall=$(/usr/bin/python3 -c '
import subprocess, sys, time
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
               stderr=subprocess.DEVNULL)
print(f"{time.perf_counter() - start:.2f}")' wine "$1" /S)
  # Time for the windows to handle what they still hold.
  [ "$3" = hung ] || sleep $(((${3} + 999) / 1000 + 2))
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  /usr/bin/python3 - "$log" "$wall" <<'EOF'
import sys
lines = [l.split() for l in open(sys.argv[1]) if l.strip()]
ticks = [(int(t), s) for who, t, s in lines if who == "R"]
sixteen, since = 0, None
for tick, size in ticks:
    if size == "16" and since is None:
        since = tick
    elif size != "16" and since is not None:
        sixteen += tick - since
        since = None
last = {}
for who, t, s in lines:
    if who != "R":
        last[who] = s
print(sys.argv[2], f"{sixteen / 1000:.2f}", sum(s == "16" for s in last.values()))
EOF
}

printf '%-22s %-34s %10s %10s %14s\n' "beside the toggle" "exe" "toggle s" '"16" s' 'last read "16"'
for case in ${CASES:-0:0 1:2000 3:2000 6:2000 20:2000 1:10000 1:hung}; do
  k=${case%%:*} d=${case#*:}
  for program in "${programs[@]}"; do
    results=()
    for ((r = 0; r < repetitions; r++)); do results+=("$(toggle "$program" "$k" "$d")"); done
    walls=$(printf '%s\n' "${results[@]}" | cut -d' ' -f1 | median)
    sixteens=$(printf '%s\n' "${results[@]}" | cut -d' ' -f2 | median)
    lasts=$(printf '%s\n' "${results[@]}" | cut -d' ' -f3 | paste -sd, -)
    printf '%-22s %-34s %10s %10s %14s\n' "K=$k D=$d" "$program" "$walls" "$sixteens" "$lasts"
  done
done
