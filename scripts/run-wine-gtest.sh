#!/usr/bin/env bash
# Runs a GoogleTest program under Wine and judges it by its own report.
# Under emulation a Wine process now and then never ends after its last
# line has run, or hangs in Wine's own start-up; neither says anything about
# the tests. So: a run whose report is complete and clean passes even if the
# process has to be ended afterwards; a run that stops without a report is
# tried once more; a test that fails fails at once.
# usage: run-wine-gtest.sh SECONDS_PER_ATTEMPT PROGRAM [GTEST_ARGUMENTS...]
set -uo pipefail
limit=$1
program=$2
shift 2
report=$(mktemp --suffix=.xml)
trap 'rm -f "$report"' EXIT

# A complete report names its tests; a clean one has no failure nor error.
report_state() {
  grep -q '</testsuites>' "$report" 2>/dev/null || { echo none; return; }
  if grep -Eq '<testsuites [^>]*tests="[1-9][0-9]*"' "$report" &&
    grep -Eq '<testsuites [^>]*failures="0"' "$report" &&
    grep -Eq '<testsuites [^>]*errors="0"' "$report"; then
    echo clean
  else
    echo failed
  fi
}

for attempt in 1 2; do
  rm -f "$report"
  wine "$program" "--gtest_output=xml:Z:${report//\//\\}" "$@" </dev/null &
  pid=$!
  started=$SECONDS reported=
  while kill -0 "$pid" 2>/dev/null; do
    if [ -z "$reported" ] && [ "$(report_state)" != none ]; then reported=$SECONDS; fi
    # Once the report is written the process has nothing left to do.
    if [ -n "$reported" ] && ((SECONDS - reported > 20)); then break; fi
    if ((SECONDS - started > limit)); then break; fi
    sleep 1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    status=hung
  else
    wait "$pid"
    status=$?
  fi
  state=$(report_state)
  case "$status/$state" in
  0/clean) exit 0 ;;
  hung/clean)
    echo "run-wine-gtest: every test passed, but Wine did not end the process; ended it" >&2
    exit 0
    ;;
  */failed)
    echo "run-wine-gtest: tests failed (exit status $status)" >&2
    exit 1
    ;;
  esac
  echo "run-wine-gtest: attempt $attempt ended ($status) without a complete report" >&2
done
exit 1
