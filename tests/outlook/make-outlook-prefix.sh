#!/bin/sh
# Creates the Wine prefix for the tests that need Outlook and registers the
# Outlook stand-in there for Outlook's class id. Other tests use their own
# prefix, where Outlook stays unregistered.
# Wine 8 looks classes up only in HKLM\Software\Classes (HKCU\Software\Classes
# is not merged into its HKCR), so the class is registered there; the prefix
# is private to these tests, so that is no wider than a per-user entry.
# With a MAPI32.dll as fifth argument, that Simple MAPI stand-in is also
# installed as the prefix's system MAPI32 (tests/wine/install-mapi-standin.sh).
# usage: make-outlook-prefix.sh <wine64> <wineserver> <prefix-dir> <outlook_standin.dll> [<MAPI32.dll>]
set -e
wine64="$1"; wineserver="$2"; prefix="$3"; dll="$4"; mapi="${5:-}"
if [ -z "$wine64" ] || [ -z "$wineserver" ] || [ -z "$prefix" ] || [ -z "$dll" ]; then
    echo "usage: $0 <wine64> <wineserver> <prefix-dir> <outlook_standin.dll> [<MAPI32.dll>]" >&2
    exit 2
fi
if [ ! -f "$dll" ]; then
    echo "$0: $dll not found" >&2
    exit 1
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY=

key='HKLM\Software\Classes\CLSID\{0006F03A-0000-0000-C000-000000000046}\InprocServer32'
# Wine's drive Z: is the Unix root, so /a/b.dll is Z:\a\b.dll.
winpath="Z:$(realpath "$dll" | sed 's|/|\\|g')"

registered() {
    # The machine classes as Wine stores them: a key line, then its values.
    [ -f "$prefix/system.reg" ] || return 1
    want=$(printf '%s' "$winpath" | sed 's|\\|\\\\\\\\|g')
    awk -v want="@=\"$want\"" '
        /^\[Software\\\\Classes\\\\CLSID\\\\\{0006F03A-0000-0000-C000-000000000046\}\\\\InprocServer32\]/ { inkey = 1; next }
        /^\[/ { inkey = 0 }
        inkey && $0 == want { found = 1 }
        END { exit found ? 0 : 1 }' "$prefix/system.reg"
}

"$(dirname "$0")/../wine/make-prefix.sh" "$wine64" "$wineserver" "$prefix"
test -f "$prefix/system.reg"

if [ -n "$mapi" ]; then
    "$(dirname "$0")/../wine/install-mapi-standin.sh" "$prefix" "$mapi"
fi

if registered; then
    exit 0
fi
"$wine64" reg add "$key" /ve /t REG_SZ /d "$winpath" /f >/dev/null
"$wine64" reg add "$key" /v ThreadingModel /t REG_SZ /d Apartment /f >/dev/null
"$wineserver" -w
registered
