#!/bin/sh
# Runs the 32-bit probe in a test session (inside run-in-session.sh) and
# checks on the client side what it asked for: marker.exe ran and the
# recording Simple MAPI stand-in got its mail.
# usage: run-probe.sh <run-test-program.sh> <wine64> <probe.exe> <marker.exe>
set -u
runner="$1"; wine64="$2"; probe="$3"; marker="$4"
unix_path() { printf '%s' "${1#Z:}" | tr '\\' /; }
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

"$runner" --plain "$wine64" "$probe" "$(windows_path "$marker")"
probe_status=$?
# 77: the machine cannot run 32-bit programs; the runner said so.
[ "$probe_status" -eq 0 ] || exit "$probe_status"
status=0
# marker.exe runs on its own after the shell has started it.
marker_file="$(unix_path "$ZOBRIK_MARKER_FILE")"
for _ in $(seq 1 100); do
    grep -q '^ran' "$marker_file" 2>/dev/null && break
    sleep 0.1
done
if ! grep -q '^ran' "$marker_file" 2>/dev/null; then
    echo "run-probe: FAIL: marker.exe did not run on the client side"
    status=1
fi
if ! grep -aq 'from a 32-bit program' "$(unix_path "$ZOBRIK_MAPI_LOG")" 2>/dev/null; then
    echo "run-probe: FAIL: the client's mail program got no mail"
    status=1
fi
exit $status
