#!/usr/bin/env bash
# Makes the download: builds pivane.exe in a build tree of its own, from
# nothing, and writes dist/pivane-2.1.s.zip (PIVANE.EXE and LISEZMOI.TXT)
# and dist/SHA256SUMS. The same sources give the same bytes, wherever they
# are built: the zip's dates come from SOURCE_DATE_EPOCH, or else from the
# last commit.
# usage: scripts/release.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
rm -rf build/release
cmake --preset release >/dev/null
cmake --build --preset release --target pivane >/dev/null

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  # Outside a checkout, the first date a zip can hold (1980-01-01).
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
export SOURCE_DATE_EPOCH
/usr/bin/python3 scripts/make-release.py build/release/pivane.exe docs/LISEZMOI.txt dist
