#!/usr/bin/env bash
# Makes the download: builds pivane.exe in a build tree of its own, from
# nothing, and writes dist/pivane-2.1.s.zip (PIVANE.EXE and LISEZMOI.TXT)
# and dist/SHA256SUMS. The same sources give the same bytes, wherever they
# are built: the zip's dates come from SOURCE_DATE_EPOCH, or else from the
# last commit.
#
# With --sign, PIVANE.EXE is signed (Authenticode, SHA-256) with the key and
# certificate of a .pfx file before it goes into the zip, the file's
# password taken from PIVANE_SIGN_PASSWORD (set and empty for a file that
# has none). The signing time is the same
# date as the zip's, so two signed releases of one commit with one key still
# give the same bytes, unless PIVANE_SIGN_TIMESTAMP names a timestamp
# server: its countersignature holds the time of the day it was asked.
#
# dist/ holds a zip and its SHA256SUMS only after a release that went
# through to the end: one that stops, at any step, leaves neither, not even
# those of an earlier run, which could be published for this one.
usage="usage: scripts/release.sh [--sign CERT.pfx]"
set -euo pipefail

cert=
while [ $# -gt 0 ]; do
  case "$1" in
    --sign)
      [ $# -ge 2 ] || { echo "release: --sign needs a .pfx file" >&2; echo "$usage" >&2; exit 2; }
      cert=$2
      shift 2
      ;;
    -h | --help)
      echo "$usage"
      exit 0
      ;;
    *)
      echo "release: unknown argument: $1" >&2
      echo "$usage" >&2
      exit 2
      ;;
  esac
done

root=$(cd "$(dirname "$0")/.." && pwd)
rm -f "$root"/dist/pivane-*.zip "$root/dist/SHA256SUMS"

# Everything that can stop a signed release is checked before the build,
# which takes a while.
if [ -n "$cert" ]; then
  if [ ! -f "$cert" ] || [ ! -r "$cert" ]; then
    echo "release: cannot read the certificate file $cert" >&2
    exit 1
  fi
  cert=$(realpath -- "$cert")
  # Unset is an error, so that a password forgotten (or not exported) is
  # not taken for an empty one; set and empty is a file without password.
  if [ -z "${PIVANE_SIGN_PASSWORD+set}" ]; then
    echo "release: PIVANE_SIGN_PASSWORD is not set: export the password of $cert in it" >&2
    exit 1
  fi
fi
# The password stays in this shell alone: the build, the package tools and
# make-release.py do not inherit it.
password=${PIVANE_SIGN_PASSWORD-}
unset PIVANE_SIGN_PASSWORD

cd "$root"

bash scripts/install-deps.sh
rm -rf build/release
cmake --preset release >/dev/null
cmake --build --preset release --target pivane >/dev/null

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  # Outside a checkout, the first date a zip can hold (1980-01-01).
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || echo 315532800)
fi
export SOURCE_DATE_EPOCH

exe=build/release/pivane.exe
if [ -n "$cert" ]; then
  timestamp=()
  if [ -n "${PIVANE_SIGN_TIMESTAMP:-}" ]; then
    timestamp=(-ts "$PIVANE_SIGN_TIMESTAMP")
    echo "release: timestamped by $PIVANE_SIGN_TIMESTAMP, the signed release is no longer" \
      "byte-for-byte reproducible" >&2
  fi
  # The password reaches osslsigncode through a pipe: never on a command
  # line, which every user can read in /proc, nor in a file. printf is a
  # builtin, so no process of its own shows it either. A file without a
  # password is opened with none given: osslsigncode refuses to read an
  # empty one.
  sign() { # [-readpass FILE]
    osslsigncode sign -pkcs12 "$cert" "$@" -h sha256 -time "$SOURCE_DATE_EPOCH" \
      "${timestamp[@]}" -in "$exe" -out build/release/pivane-signed.exe >/dev/null
  }
  if [ -n "$password" ]; then
    sign -readpass <(printf '%s' "$password")
  else
    sign
  fi || { echo "release: osslsigncode could not sign $exe with $cert" >&2; exit 1; }
  exe=build/release/pivane-signed.exe
  when=$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC')
  if [ ${#timestamp[@]} -gt 0 ]; then
    echo "PIVANE.EXE: signed, signing time $when, timestamped by $PIVANE_SIGN_TIMESTAMP:" \
      "not byte-for-byte reproducible"
  else
    echo "PIVANE.EXE: signed, signing time $when"
  fi
fi
unset password
# Made aside and moved in at the end, so that a release cut off in the
# middle leaves no zip without its sums, nor sums of another zip.
trap 'rm -f dist/pivane-*.zip dist/SHA256SUMS' EXIT
/usr/bin/python3 scripts/make-release.py "$exe" docs/LISEZMOI.txt build/release/dist
mkdir -p dist
mv build/release/dist/pivane-*.zip build/release/dist/SHA256SUMS dist/
trap - EXIT
echo "release: dist/ holds $(cd dist && echo pivane-*.zip) and SHA256SUMS"
