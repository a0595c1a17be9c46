#!/usr/bin/env bash
# Starts a lasting wineserver for a prefix, with its services up, so that
# the programs run next start at once. Under emulation a service start now
# and then hangs for good, so a start that does not finish in time is ended
# and tried again.
# usage: wine-warm.sh PREFIX
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
export WINEPREFIX=$1
for attempt in 1 2 3; do
  # Nothing started here may hold the caller's output open.
  if wineserver -p </dev/null >/dev/null 2>&1 &&
    timeout 120 wine reg query 'HKCU\Software\Wine' </dev/null >/dev/null 2>&1; then
    exit 0
  fi
  echo "wine-warm: start $attempt of $WINEPREFIX did not finish; trying again" >&2
  wineserver -k </dev/null >/dev/null 2>&1 || true
  sleep 1
done
echo "wine-warm: $WINEPREFIX would not start" >&2
exit 1
