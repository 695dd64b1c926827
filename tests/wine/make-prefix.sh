#!/bin/sh
# Creates the Wine prefixes that the Windows tests run in, once per build
# tree: each named prefix that does not exist yet. They are booted side by
# side: wineboot spends most of its time waiting, so four take little longer
# than one (a copy of a booted prefix with cp -a is no faster in sum: it
# takes about 5 s per prefix, one after the other, as it is bound by the disk).
# usage: make-prefix.sh <wine64> <wineserver> <prefix-dir>...
set -e
wine64="$1"; wineserver="$2"; shift 2
if [ -z "$wine64" ] || [ -z "$wineserver" ] || [ $# -eq 0 ]; then
    echo "usage: $0 <wine64> <wineserver> <prefix-dir>..." >&2
    exit 2
fi
export WINEDEBUG=-all DISPLAY=

boot() {
    WINEPREFIX="$1"
    export WINEPREFIX
    rm -rf "$1"
    "$wine64" wineboot -i >/dev/null 2>&1 || true
    "$wineserver" -w
    if [ ! -f "$1/system.reg" ]; then
        echo "$0: wineboot did not create $1" >&2
        return 1
    fi
}

pids=
for prefix in "$@"; do
    if [ ! -f "$prefix/system.reg" ]; then
        boot "$prefix" &
        pids="$pids $!"
    fi
done
status=0
for pid in $pids; do
    wait "$pid" || status=1
done
exit $status
