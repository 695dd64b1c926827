#!/bin/bash
# Builds the Windows tree and runs the benchmarks under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" windows
wine64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all DISPLAY=
"$root/tests/wine/make-prefix.sh" "$wine64" "$wineserver" "$WINEPREFIX"
bin="$root/build/windows/bin"
echo "== mail channel"
WINEDLLOVERRIDES=mapi32=n "$wine64" "$bin/mail_benchmark.exe" 64 1600
