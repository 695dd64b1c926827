#!/bin/bash
# Runs a command "in a Remote Desktop session" under Wine: starts the
# session host (zobrik-session-host.exe: the real plug-in in the client
# stand-in, behind a named pipe) in the background, waits until it serves,
# runs the command with the stand-in wtsapi32.dll (WINEDLLOVERRIDES gains
# wtsapi32=n), then stops the host and prints its output. The exit status is
# the command's.
#
# usage: run-in-session.sh <wine64> <zobrik-session-host.exe> [host options...] -- <command> [args...]
#   host options: --dll PATH, --policy NAME=NUMBER, --messages each|summary
#   (see tests/host/session_host.cpp)
#
# The caller sets WINEPREFIX to a prefix with the stand-ins installed (the
# CMake function zobrik_add_session_test does all of this): the recording
# Simple MAPI stand-in as system32\mapi32.dll (tests/wine/install-mapi-standin.sh)
# and the wtsapi32 stand-in (tests/wine/install-wtsapi32-standin.sh). The host
# runs with mapi32=n, so the plug-in hands mails to the recording stand-in;
# the command does not get mapi32=n, so it sees Wine's own mapi32 (which
# dispatches to the default mail client of the prefix), and programs that
# the client side starts (through the plug-in's exec channel) do not get
# wtsapi32=n: they are outside the session.
#
# Both the host and the command see (Windows paths, in a fresh folder):
#   ZOBRIK_SESSION_PIPE      the pipe of this run (the stand-in wtsapi32 reads it)
#   ZOBRIK_SESSION_HOST_LOG  the host's output: "host: ..." lines (ready,
#                            "channel <name> accepted|refused",
#                            "<name>: message of <n> bytes",
#                            "<name>: text <bytes>" (messages up to 2 KiB:
#                            printable ASCII as it is, other bytes as \xNN),
#                            "<name>: reply of <n> bytes in <k> pieces",
#                            "<name>: closed by the session") and the plug-in's
#                            debugger output as "debug: <line>"
#   ZOBRIK_MAPI_LOG          the recording Simple MAPI stand-in's records
#                            (unless the caller set it)
#   ZOBRIK_MARKER_FILE       where marker.exe, opened through the exec
#                            channel, writes "ran" (unless the caller set it)
set -uo pipefail

usage() {
    echo "usage: $0 <wine64> <zobrik-session-host.exe> [host options...] -- <command> [args...]" >&2
    exit 2
}
[ $# -ge 2 ] || usage
wine64="$1"; host="$2"; shift 2
# shellcheck source=keep-server.sh
source "$(dirname "$0")/keep-server.sh"
keep_wine_server "$wine64"
host_args=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    host_args+=("$1")
    shift
done
[ "${1:-}" = -- ] || usage
shift
[ $# -gt 0 ] || usage

work="$(mktemp -d "${TMPDIR:-/tmp}/zobrik-session.XXXXXX")"
host_pid=
cleanup() {
    exec 3>&-
    if [ -n "$host_pid" ]; then
        kill "$host_pid" 2>/dev/null
        wait "$host_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
# A time-out's signal still stops the host.
trap 'exit 143' TERM INT HUP

windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
export ZOBRIK_SESSION_PIPE="\\\\.\\pipe\\zobrik-session-${work##*.}-$$"
ZOBRIK_SESSION_HOST_LOG="$(windows_path "$work/host.log")"
ZOBRIK_MAPI_LOG="${ZOBRIK_MAPI_LOG:-$(windows_path "$work/mapi.log")}"
ZOBRIK_MARKER_FILE="${ZOBRIK_MARKER_FILE:-$(windows_path "$work/marker.txt")}"
export ZOBRIK_SESSION_HOST_LOG ZOBRIK_MAPI_LOG ZOBRIK_MARKER_FILE
overrides="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"

# The host's standard input is a FIFO held open here (read-write, so that
# opening it never waits for the other end): closing it stops the host.
mkfifo "$work/stdin"
exec 3<>"$work/stdin"
WINEDLLOVERRIDES="$overrides;mapi32=n" "$wine64" "$host" --pipe "$ZOBRIK_SESSION_PIPE" "${host_args[@]}" \
    <"$work/stdin" >"$work/host.log" 2>"$work/host.err" 3<&- &
host_pid=$!

show_host() {
    echo "---- session host output ----"
    cat "$work/host.log" "$work/host.err"
    echo "---- end of session host output ----"
}

ready=0
for _ in $(seq 1 600); do
    if grep -aq '^host: ready' "$work/host.log"; then
        ready=1
        break
    fi
    kill -0 "$host_pid" 2>/dev/null || break
    sleep 0.1
done
if [ "$ready" != 1 ]; then
    echo "run-in-session: FAIL: the session host did not start"
    show_host
    exit 1
fi

# The command's output goes to a file, shown when it ends: a program it
# started may outlive it and would hold a pipe, and the test, open.
WINEDLLOVERRIDES="$overrides;wtsapi32=n" "$@" >"$work/command.log" 2>&1
status=$?
cat "$work/command.log"

# Stop the host: end of its input, then, should it hang, a signal.
exec 3>&-
for _ in $(seq 1 300); do
    kill -0 "$host_pid" 2>/dev/null || break
    sleep 0.1
done
kill "$host_pid" 2>/dev/null
wait "$host_pid" 2>/dev/null
host_pid=
show_host
exit $status
