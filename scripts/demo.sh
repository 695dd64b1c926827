#!/bin/bash
# The main job: builds the plug-in and plays a session in the Remote Desktop
# client stand-in under Wine, printing the debugger lines and the replies.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" windows

source "$root/scripts/wine-env.sh"

echo "== session in the Remote Desktop client stand-in"
export ZOBRIK_MARKER_FILE='C:\users\Public\zobrik-demo-marker.txt'
"$wine64" "$bin/zobrik-client.exe" exec "$(echo "Z:$bin/marker.exe" | tr / '\\')"
