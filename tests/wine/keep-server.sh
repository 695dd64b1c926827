# Sourced by the Wine test runners. Starting a prefix's Wine server and its
# system processes costs about 3 s; a server left running for a while after
# its last program lets the next test of the same prefix start in under one.
# So the first runner of a prefix starts the server as persistent for
# ZOBRIK_WINE_SERVER_LINGER seconds (15 by default) after its last program;
# when one runs already this changes nothing. Not for a test with a display:
# a server kept from it would hold a desktop on an X server that is gone.
keep_wine_server() {
    [ -z "${DISPLAY:-}" ] && [ -n "${WINESERVER:-}" ] && [ -x "$WINESERVER" ] || return 0
    "$WINESERVER" -p"${ZOBRIK_WINE_SERVER_LINGER:-15}" >/dev/null 2>&1 || true
}
