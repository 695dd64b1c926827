#!/bin/bash
# The main job: builds the plug-in and plays a whole session in the Remote
# Desktop client stand-in under Wine: an exec request, a mail with two
# attachments handed to the recording mail program (its compose window is
# printed) and a malformed request, with every debugger line of the plug-in.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" windows

source "$root/scripts/wine-env.sh"
winpath() { echo "Z:$1" | tr / '\\'; }

work="$root/build/windows/demo"
mkdir -p "$work"
"$wine64" "$bin/make_demo_requests.exe" "$(winpath "$work")"

echo
echo "== session in the Remote Desktop client stand-in"
# The exec request opens a small program that leaves a marker file; the mail
# goes to the recording stand-in, the system MAPI32 of the prefix (wine-env.sh).
export ZOBRIK_MARKER_FILE="$(winpath "$work/exec-marker.txt")"
rm -f "$work/exec-marker.txt"
"$wine64" "$bin/zobrik-client.exe" \
    exec "$(winpath "$bin/marker.exe")" \
    mail "$(winpath "$work/demo-mail.bin")" 1600 \
    mail "$(winpath "$work/demo-malformed.bin")"
echo
if [ -s "$work/exec-marker.txt" ]; then
    echo "the exec request ran marker.exe on the client desktop ($work/exec-marker.txt)"
fi
