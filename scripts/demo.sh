#!/bin/bash
# The main job: builds the plug-in and plays a session in the Remote Desktop
# client stand-in under Wine, printing the debugger lines and the replies.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" windows

bin="$root/build/windows/bin"
wine64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all DISPLAY=
"$root/tests/wine/make-prefix.sh" "$wine64" "$wineserver" "$WINEPREFIX"

echo "== session in the Remote Desktop client stand-in"
export ZOBRIK_MARKER_FILE='C:\users\Public\zobrik-demo-marker.txt'
"$wine64" "$bin/zobrik-client.exe" exec "$(echo "Z:$bin/marker.exe" | tr / '\\')"
