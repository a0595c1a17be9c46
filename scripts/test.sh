#!/usr/bin/env bash
# Sets up what is missing, builds both builds and runs every test: the host
# unit tests (plain and under sanitizers), a bounded run of each fuzz target,
# the Wine tests of the Win32 layer, and the system tests of the real
# pivane.exe.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/wine-env.sh

cmake --preset host
cmake --build --preset host
ctest --preset host

cmake --preset host-sanitize
cmake --build --preset host-sanitize
ctest --preset host-sanitize

cmake --preset fuzz
cmake --build --preset fuzz
ctest --preset fuzz

cmake --preset windows
cmake --build --preset windows
ctest --preset windows

# Debian's python3 is the one that has pytest and pefile. The system tests
# run two at a time, each in its own prefix on its own display (the runs on
# each Windows version share one prefix, so one worker takes them all); a test
# that met a hang of Wine's own runs once more (see WineHang in tests/system).
/usr/bin/python3 -m pytest -q -p no:cacheprovider -n 2 --dist loadgroup --reruns 1 --only-rerun WineHang \
  tests/system
