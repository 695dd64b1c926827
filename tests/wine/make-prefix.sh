#!/bin/sh
# Creates the Wine prefix that the Windows tests run in (once per build tree).
# usage: make-prefix.sh <wine64> <wineserver> <prefix-dir>
set -e
wine64="$1"; wineserver="$2"; prefix="$3"
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY=
if [ -f "$prefix/system.reg" ]; then
    exit 0
fi
rm -rf "$prefix"
"$wine64" wineboot -i >/dev/null 2>&1 || true
"$wineserver" -w
test -f "$prefix/system.reg"
