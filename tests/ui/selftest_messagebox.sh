#!/bin/bash
# The self-test as a person runs it: "rundll32 ZobrikWTSDVC.dll,Run" in a Wine
# prefix without Outlook, on a virtual X display (Xvfb). Passes only when
#   - exactly one visible window titled "Zobrik WTS Plugin" appears,
#   - it is a message box (#32770) without owner, whose static text is
#     "Outlook nicht verfügbar" and whose only visible button is OK (IDOK),
#     read through the Win32 window API by messagebox_probe.exe when given,
#   - pressing Return closes it, and rundll32 then exits within a few seconds
#     with status 0.
# A rundll32 that ends without showing the box (MessageBoxW fails at once
# when there is no display) fails the test.
# Screenshots of the screen and of the box are kept in <outdir>.
# usage: selftest_messagebox.sh <wine64> <wineserver> <prefix> <dll> <outdir> [messagebox_probe.exe]
set -uo pipefail
wine64="$1"; wineserver="$2"; prefix="$3"; dll="$4"; outdir="$5"; probe="${6:-}"

caption='Zobrik WTS Plugin'
text='Outlook nicht verfügbar'
window_timeout=90     # seconds for the box to appear (first start of a prefix is slow)
exit_timeout=10       # seconds for rundll32 to end once the box is closed

export WINEPREFIX="$prefix" WINEDEBUG=-all WINESERVER="$wineserver"

fail() { echo "FAIL: $*"; exit 1; }

mkdir -p "$outdir"
rm -f "$outdir"/screen.png "$outdir"/box.png "$outdir"/probe.txt "$outdir"/rundll32.*

xvfb_pid=''
run_pid=''
cleanup() {
    # Ends every Wine process of this prefix (rundll32 included), then Xvfb.
    "$wineserver" -k >/dev/null 2>&1 || true
    [ -n "$run_pid" ] && wait "$run_pid" 2>/dev/null
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -f "$outdir/display"
}
trap cleanup EXIT

for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
[ -f "$dll" ] || fail "no DLL at $dll"

# The prefix of this test, made without a display; a wineserver left from an
# earlier run would keep the display it was started with.
"$wineserver" -k >/dev/null 2>&1 || true
"$(dirname "$0")/../wine/make-prefix.sh" "$wine64" "$wineserver" "$prefix" || true
[ -f "$prefix/system.reg" ] || fail "no Wine prefix at $prefix"

# Xvfb picks a free display number itself and writes it when it is ready.
rm -f "$outdir/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$outdir/display" \
    </dev/null >"$outdir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$outdir/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start (see $outdir/xvfb.log)"
    sleep 0.1
done
[ -s "$outdir/display" ] || fail "Xvfb did not report a display"
export DISPLAY=":$(tr -dc 0-9 <"$outdir/display")"
echo "display $DISPLAY"

# rundll32 takes a Windows path; drive Z: is the Unix root in a Wine prefix.
win_dll="Z:$(realpath "$dll" | tr / '\\')"
echo "running: wine64 rundll32 $win_dll,Run"
(
    "$wine64" rundll32 "$win_dll,Run" >"$outdir/rundll32.log" 2>&1
    echo $? >"$outdir/rundll32.status"
) &
run_pid=$!

# Waits for the box, and notices when rundll32 ends without one.
started=$SECONDS
windows=''
while [ $((SECONDS - started)) -lt "$window_timeout" ]; do
    windows="$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null)"
    [ -n "$windows" ] && break
    if [ -f "$outdir/rundll32.status" ]; then
        fail "no window titled '$caption' appeared; rundll32 ended with status $(cat "$outdir/rundll32.status") without showing it"
    fi
    sleep 0.5
done
[ -n "$windows" ] || fail "no window titled '$caption' appeared within ${window_timeout}s"
echo "window appeared after $((SECONDS - started))s: $windows"
# Gives Wine a moment to paint the box before the screenshots.
sleep 1

count="$(printf '%s\n' "$windows" | wc -l)"
[ "$count" -eq 1 ] || fail "$count windows titled '$caption', expected one"
id="$windows"

import -window root "$outdir/screen.png" || fail "screenshot of the screen failed"
import -window "$id" "$outdir/box.png" || fail "screenshot of the box failed"
echo "screenshots: $outdir/screen.png $outdir/box.png"

name="$(xdotool getwindowname "$id" 2>/dev/null)"
[ "$name" = "$caption" ] || fail "window title is '$name', expected '$caption'"
echo "ok: window title '$name'"

# The text is drawn by Wine inside the one X window, so X does not show it;
# the Win32 window API in the same prefix does.
if [ -n "$probe" ]; then
    "$wine64" "$probe" "$caption" >"$outdir/probe.txt" 2>/dev/null \
        || fail "messagebox_probe.exe found no window titled '$caption'"
    tr -d '\r' <"$outdir/probe.txt" >"$outdir/probe.lf" && mv "$outdir/probe.lf" "$outdir/probe.txt"
    sed 's/^/probe: /' "$outdir/probe.txt"
    [ "$(grep -c '^window ' "$outdir/probe.txt")" -eq 1 ] \
        || fail "the probe sees more than one window titled '$caption'"
    grep -q '^window class=#32770 owner=0 ' "$outdir/probe.txt" \
        || fail "the window is not a message box (#32770) without owner"
    grep -qxF "child class=Static id=65535 visible=1 text=$text" "$outdir/probe.txt" \
        || fail "the box has no visible static text '$text'"
    buttons="$(grep '^child class=Button .* visible=1 ' "$outdir/probe.txt")"
    [ "$buttons" = 'child class=Button id=1 visible=1 text=OK' ] \
        || fail "the box's visible buttons are '$buttons', expected OK (IDOK) alone"
    echo "ok: message box text '$text', one button OK"
else
    echo "note: no probe given; the text is only in the screenshots, not checked"
fi

# Closes the box as a person would, with the Return key.
xdotool key --window "$id" Return 2>/dev/null || fail "xdotool could not send Return"
started=$SECONDS
while [ ! -f "$outdir/rundll32.status" ] && [ $((SECONDS - started)) -lt "$exit_timeout" ]; do
    sleep 0.2
done
[ -f "$outdir/rundll32.status" ] \
    || fail "rundll32 did not end within ${exit_timeout}s after the box was closed"
wait "$run_pid"
run_pid=''
status="$(cat "$outdir/rundll32.status")"
echo "rundll32 ended $((SECONDS - started))s after Return, status $status"
[ "$status" = 0 ] || fail "rundll32 ended with status $status (see $outdir/rundll32.log)"
left="$(xdotool search --onlyvisible --name "^${caption}\$" 2>/dev/null)"
[ -z "$left" ] || fail "a window titled '$caption' is still open: $left"

echo "PASS: one message box '$caption' / '$text', closed with Return, Run returned"
