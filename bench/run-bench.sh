#!/usr/bin/env bash
# On demand, not a test: times pivane.exe against the platform's floor on
# one Wine prefix, measures its peak memory on a plain line and on the
# longest command line Windows passes on, and shows what one and two hung
# top-level windows cost a silent toggle against the bound of its notices.
# usage: bench/run-bench.sh [REPETITIONS] [EXE...]
# Each EXE (by default the built pivane.exe) is timed against the floor, so
# that two builds can be set side by side on one machine.
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-15}
shift || true
programs=("$@")

bash scripts/install-deps.sh
source scripts/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target pivane pivane_hung_window >/dev/null

export WINEPREFIX=$PWD/build/bench-prefix
bash scripts/make-wine-prefix.sh "$WINEPREFIX" win32
exe=build/windows/pivane.exe
[ ${#programs[@]} -gt 0 ] || programs=("$exe")
helper=build/windows/tests/pivane_hung_window.exe

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb=$!
ready=$(mktemp -d)
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$ready"
}
trap cleanup EXIT
export DISPLAY=$display
bash scripts/wine-warm.sh "$WINEPREFIX"

# Wall and cpu (user + system) seconds of one whole process and whatever it
# waited for among its children, and the peak resident memory (KiB) of the
# largest of them.
measure() { # command...
  /usr/bin/python3 -c '
import resource, subprocess, sys, time
before = resource.getrusage(resource.RUSAGE_CHILDREN)
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
               stderr=subprocess.DEVNULL)
wall = time.perf_counter() - start
after = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
print(f"{wall:.4f} {cpu:.4f} {after.ru_maxrss}")' "$@"
}
seconds() { measure "$@" | cut -d' ' -f1; }
median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

# The longest command line Windows passes on: 16,000 one-letter arguments
# before the switch, 32 KB in all.
long_line=()
for ((i = 0; i < 16000; i++)); do long_line+=(a); done

# Each executable against the floor, in alternating pairs: one silent
# toggle, then one `wine reg add` of one value; then silent toggles on the
# longest line. The executables take turns within each repetition, so that
# a machine that drifts over the run moves all of them alike.
declare -A toggles=() writes=() longs=()
for ((i = 0; i < repetitions; i++)); do
  for p in "${!programs[@]}"; do
    toggles[$p]+="$(measure wine "${programs[$p]}" /S)"$'\n'
    writes[$p]+="$(measure wine reg add 'HKCU\Software\PivaneBench' /v n /d "$i" /f)"$'\n'
  done
done
for ((i = 0; i < repetitions; i++)); do
  for p in "${!programs[@]}"; do
    longs[$p]+="$(measure wine "${programs[$p]}" "${long_line[@]}" /S)"$'\n'
  done
done
column() { printf '%s' "$2" | cut -d' ' -f"$1" | median; }
for p in "${!programs[@]}"; do
  program=${programs[$p]}
  read -r size imports < <(/usr/bin/python3 -c '
import os, sys, pefile
pe = pefile.PE(sys.argv[1])
print(os.path.getsize(sys.argv[1]), sum(len(e.imports) for e in pe.DIRECTORY_ENTRY_IMPORT))' "$program")
  printf '%s\n' "$program"
  printf '  %-44s %s\n' \
    "size (bytes)" "$size" \
    "imported functions" "$imports" \
    "pivane.exe /S wall, median of $repetitions (s)" "$(column 1 "${toggles[$p]}")" \
    "pivane.exe /S cpu, median of $repetitions (s)" "$(column 2 "${toggles[$p]}")" \
    "wine reg add wall, median of $repetitions (s)" "$(column 1 "${writes[$p]}")" \
    "wine reg add cpu, median of $repetitions (s)" "$(column 2 "${writes[$p]}")" \
    "pivane.exe /S peak memory, median (KiB)" "$(column 3 "${toggles[$p]}")" \
    "16,000 arguments /S peak memory, median (KiB)" "$(column 3 "${longs[$p]}")" \
    "16,000 arguments /S wall, median (s)" "$(column 1 "${longs[$p]}")"
done

# Windows that hang, one and then two at once, each at the moment the first
# broadcast reaches it, so that none has been hung long enough (about 5 s)
# for SMTO_ABORTIFHUNG to pass over it at once: the case in which a
# broadcast waited out its time-out for each hung window in turn, and in
# which a round of notices now spends its whole budget.
hung_toggle() { # count
  local pids=() n
  rm -f "$ready"/*
  for ((n = 0; n < $1; n++)); do
    wine "$helper" "$(winepath -w "$ready/$n")" --hang-on-broadcast </dev/null >/dev/null 2>&1 &
    pids+=($!)
  done
  for ((i = 0; i < 600; i++)); do
    [ "$(ls "$ready" | wc -l)" -ge "$1" ] && break
    sleep 0.1
  done
  [ "$(ls "$ready" | wc -l)" -ge "$1" ] || { echo "the hung windows never came up" >&2; exit 1; }
  seconds wine "$exe" /S
  kill "${pids[@]}" 2>/dev/null || true
  wait "${pids[@]}" 2>/dev/null || true
}
one=$(hung_toggle 1)
two=$(hung_toggle 2)

printf '%-46s %s\n' \
  "$exe /S with one hung window (s)" "$one" \
  "$exe /S with two hung windows (s)" "$two" \
  "bound of each round of notices (s), in all" "4"
