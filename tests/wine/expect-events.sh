#!/bin/bash
# Runs a Windows test program under Wine (run-test-program.sh) with Wine's
# event log trace on, then checks what the program's plug-in wrote: Wine's
# ReportEventW keeps nothing, but shows each call on a "fixme:advapi" line
# (type, category, event id) and each insertion string on a
# "warn:eventlog"/"err:eventlog" line.
# usage: expect-events.sh [--line REGEX]... [--at-most N REGEX]... [--none REGEX]...
#                         -- <run-test-program.sh> <arguments...>
set -uo pipefail
lines=(); most=(); none=()
while [ "$#" -gt 0 ] && [ "$1" != -- ]; do
    case "$1" in
        --line) lines+=("$2"); shift 2 ;;
        --at-most) most+=("$2 $3"); shift 3 ;;
        --none) none+=("$2"); shift 2 ;;
        *) echo "expect-events: unknown option $1"; exit 2 ;;
    esac
done
shift
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
WINEDEBUG="-all,fixme+advapi,warn+eventlog,err+eventlog" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
[ "$status" -eq 0 ] || exit "$status"

failed=0
for regex in "${lines[@]}"; do
    grep -aqE -- "$regex" "$log" || { echo "expect-events: FAIL: no line matches: $regex"; failed=1; }
done
for entry in "${most[@]}"; do
    limit="${entry%% *}"; regex="${entry#* }"
    count="$(grep -acE -- "$regex" "$log")"
    [ "$count" -le "$limit" ] || { echo "expect-events: FAIL: $count lines match (at most $limit): $regex"; failed=1; }
done
for regex in "${none[@]}"; do
    grep -aqE -- "$regex" "$log" && { echo "expect-events: FAIL: a line matches: $regex"; failed=1; }
done
[ "$failed" -eq 0 ] && echo "expect-events: ok"
exit "$failed"
