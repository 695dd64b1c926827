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

# A 32-bit program needs Wine's 32-bit loader, which runs only where the
# kernel runs 32-bit x86 programs (IA-32 emulation; some virtual machines'
# kernels are built without it). There the test is skipped (ctest's
# SKIP_RETURN_CODE 77), saying why, instead of failing on the machine.
pe_machine() {
    local header
    header="$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')"
    [ -n "$header" ] && od -An -tx2 -j$((header + 4)) -N2 "$1" 2>/dev/null | tr -d ' '
}
if [ -f "${1:-}" ] && [ "$(pe_machine "$1")" = 014c ]; then
    loader32="$(dirname "$wine64")/wine"
    if ! why="$("$loader32" --version 2>&1)"; then
        echo "run-test-program: SKIP: this machine cannot run 32-bit programs ($loader32: ${why:-no output})"
        exit 77
    fi
fi

# shellcheck source=keep-server.sh
source "$(dirname "$0")/keep-server.sh"
keep_wine_server "$wine64"

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# A program that starts just as its prefix's Wine server is shutting down
# (it leaves a few seconds after its last client) loses the connection before
# it runs anything ("wine client error: ... Connection reset by peer"), or
# ends at once without a line (a GoogleTest program always prints its
# first line before any test). That start, and only that, is tried again.
never_ran() {
    [ "$status" -ne 0 ] || return 1
    if grep -aq '^wine client error' "$log"; then
        ! grep -aqE '^\[==========\] Running' "$log"
    else
        [ "$gtest" = 1 ] && [ ! -s "$log" ]
    fi
}
# The output goes to a file, shown when the program ends: a process it
# started (a desktop, a handler, a program it opened) may outlive it while
# its prefix's server is kept, and would hold a pipe, and the test, open.
for attempt in 1 2 3; do
    "$wine64" "$@" >"$log" 2>&1
    status=$?
    cat "$log"
    if never_ran; then
        echo "run-test-program: the program did not start (the Wine server went away, or it ended without a line); starting it again"
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
