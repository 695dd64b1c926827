#!/bin/bash
# Runs a Windows test program under Wine and decides its result from more
# than the exit status: Wine's crash handler ends a crashed program with
# status 0, so it is switched off here (a crash then ends the program with a
# non-zero status), and a GoogleTest program also has to print its final
# summary, showing that it ran to the end, with at least one test run.
# usage: run-test-program.sh [--plain] <wine64> <program.exe> [args...]
#   --plain: not a GoogleTest program; only the exit status counts.
set -uo pipefail

gtest=1
if [ "${1:-}" = --plain ]; then
    gtest=0
    shift
fi
wine64="$1"; shift

export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# A program that starts just as its prefix's Wine server is shutting down
# (it leaves a few seconds after its last client) loses the connection before
# it runs anything ("wine client error: ... Connection reset by peer"). That
# start, and only that, is tried again.
for attempt in 1 2 3; do
    "$wine64" "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    if [ "$status" -ne 0 ] && grep -aq '^wine client error' "$log" \
        && ! grep -aqE '^\[==========\] Running' "$log"; then
        echo "run-test-program: the Wine server connection was lost before the program ran; starting it again"
        sleep 1
        continue
    fi
    break
done

fail() { echo "run-test-program: FAIL: $*"; exit 1; }

if [ "$gtest" = 1 ]; then
    # "[==========] 12 tests from 3 test suites ran. (40 ms total)"
    summary="$(grep -aE '^\[==========\] [0-9]+ tests? from [0-9]+ test suites? ran\.' "$log" | tail -n 1)"
    if [ -z "$summary" ]; then
        fail "the program ended before GoogleTest's summary (exit status $status): it crashed or quit early"
    fi
    if printf '%s' "$summary" | grep -qE '^\[==========\] 0 tests '; then
        fail "no test ran (check the test filter)"
    fi
fi
if [ "$status" -ne 0 ]; then
    fail "exit status $status"
fi
exit 0
