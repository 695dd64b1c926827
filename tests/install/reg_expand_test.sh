#!/bin/bash
# The .reg files that register the plug-in at the MSI's folders with a
# REG_EXPAND_SZ path (%ProgramFiles% per machine, %LOCALAPPDATA% per user):
# imported with "reg import" in a Wine prefix of their own, the value must be
# REG_EXPAND_SZ, unexpanded, and expand to the folder the MSI installs to;
# the removal files must take the keys away again.
# usage: reg_expand_test.sh <wine64> <wineserver> <prefix> <install-dir>
set -uo pipefail
wine64="$1"; wineserver="$2"; prefix="$3"; install_dir="$4"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINESERVER="$wineserver" DISPLAY=
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
winpath() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }

"$(dirname "$0")/../wine/make-prefix.sh" "$wine64" "$wineserver" "$prefix" || { echo "FAIL: no Wine prefix at $prefix"; exit 1; }
# One server for the whole test, so that no step starts while it is leaving.
"$wineserver" -p

check_scope() {  # <hive> <reg file> <removal file> <unexpanded> <environment variable>
    local hive="$1" reg="$2" removal="$3" unexpanded="$4" variable="$5"
    local key="$hive\\Software\\Microsoft\\Terminal Server Client\\Default\\AddIns\\Zobrik"
    "$wine64" reg import "$(winpath "$install_dir/$reg")" >/dev/null 2>&1 || fail "$reg: reg import failed"
    local line
    line="$("$wine64" reg query "$key" /v Name 2>/dev/null | tr -d '\r' | grep -E '^ +Name +')"
    echo "$reg: ${line:-<nothing>}"
    [[ "$line" =~ ^\ +Name\ +REG_EXPAND_SZ\ +(.*)$ ]] || { fail "$reg: the value is not REG_EXPAND_SZ"; return; }
    [ "${BASH_REMATCH[1]}" = "$unexpanded" ] || fail "$reg: the value is '${BASH_REMATCH[1]}', expected '$unexpanded'"
    # What the variable stands for in this prefix, as Windows expands it.
    local base
    base="$("$wine64" cmd /c echo "%$variable%" 2>/dev/null | tr -d '\r')"
    [ -n "$base" ] && [ "$base" != "%$variable%" ] || fail "$variable is not set in the prefix"
    echo "ok: $reg expands to $base\\Zobrik\\WTSDVC\\ZobrikWTSDVC.dll"
    "$wine64" reg import "$(winpath "$install_dir/$removal")" >/dev/null 2>&1 || fail "$removal: reg import failed"
    if "$wine64" reg query "$key" >/dev/null 2>&1; then
        fail "$removal left the key"
    else
        echo "ok: $removal removed the key"
    fi
}

check_scope HKLM zobrik-plugin-machine.reg zobrik-plugin-machine-remove.reg \
    '%ProgramFiles%\Zobrik\WTSDVC\ZobrikWTSDVC.dll' ProgramFiles
check_scope HKCU zobrik-plugin-user.reg zobrik-plugin-remove.reg \
    '%LOCALAPPDATA%\Zobrik\WTSDVC\ZobrikWTSDVC.dll' LOCALAPPDATA

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "PASS: both REG_EXPAND_SZ registrations import, point at the MSI folders and are removed"
