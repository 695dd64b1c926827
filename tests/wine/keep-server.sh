# Sourced by the Wine test runners. Starting a prefix's Wine server and its
# system processes costs about 3 s; a server kept for a while after its last
# program lets the next test of the same prefix start in a fraction of a
# second. So the first runner of a prefix starts the server as persistent for
# ZOBRIK_WINE_SERVER_LINGER seconds (15 by default) after its last program,
# and starts the system processes at once with their output on /dev/null: a
# server's system processes inherit the output of the program that started
# them, and would hold a runner's pipe open for as long as the server is
# kept. When a server runs already this changes nothing. Not for a test with
# a display: a server kept from it would hold a desktop on an X server that
# is gone. And a server kept from a test without a display has its desktop
# on no display, where a test with one would look for its windows in vain:
# such a test first waits (a bounded while) for a kept server to leave.
# usage: keep_wine_server <wine64>
keep_wine_server() {
    [ -n "${WINESERVER:-}" ] && [ -x "$WINESERVER" ] || return 0
    if [ -n "${DISPLAY:-}" ]; then
        timeout 30 "$WINESERVER" -w >/dev/null 2>&1 || true
        return 0
    fi
    "$WINESERVER" -p"${ZOBRIK_WINE_SERVER_LINGER:-15}" >/dev/null 2>&1 || return 0
    "$1" cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}
