#!/bin/bash
# Registers the plug-in in a Wine prefix with the .reg files of install/ and
# removes it again, checking the registry after each step with "reg query".
# usage: reg_import_test.sh <wine64> <wineserver> <prefix> <dll> <install-dir> <work-dir>
set -euo pipefail
wine64="$1"; wineserver="$2"; prefix="$3"; dll="$4"; install_dir="$5"; work="$6"

key='HKCU\Software\Microsoft\Terminal Server Client\Default\AddIns\Zobrik'
addins='HKCU\Software\Microsoft\Terminal Server Client\Default\AddIns'
template="$install_dir/zobrik-plugin.reg.in"
removal="$install_dir/zobrik-plugin-remove.reg"

export WINEPREFIX="$prefix" WINEDEBUG=-all WINESERVER="$wineserver" DISPLAY=
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cleanup() { "$wineserver" -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

# Windows path (drive Z: is the Unix root in a Wine prefix) of a Unix path.
windows_path() { printf 'Z:%s' "$(realpath "$1")" | tr / '\\'; }

# fill_template <windows-dll-path> <output.reg>: the template with the path
# in the "Name" line, backslashes doubled as .reg strings need them.
fill_template() {
    local doubled
    doubled="$(printf '%s' "$1" | sed 's/\\/\\\\/g')"
    ZOBRIK_REG_PATH="$doubled" awk '{
        i = index($0, "@ZOBRIK_DLL_PATH@")
        if (i) $0 = substr($0, 1, i - 1) ENVIRON["ZOBRIK_REG_PATH"] substr($0, i + 17)
        print
    }' "$template" >"$2"
}

# The value line of "reg query <key> /v Name" (CR removed), empty if none.
query_name() { "$wine64" reg query "$key" /v Name 2>/dev/null | tr -d '\r' | grep -E '^ +Name +' || true; }
key_exists() { "$wine64" reg query "$key" >/dev/null 2>&1; }

import_reg() { "$wine64" regedit /S "$(windows_path "$1")"; }

mkdir -p "$work"
"$(dirname "$0")/../wine/make-prefix.sh" "$wine64" "$wineserver" "$prefix" || true
test -f "$prefix/system.reg" || { echo "FAIL: no Wine prefix at $prefix"; exit 1; }

# A key left from an earlier run would make the first check meaningless.
import_reg "$removal"
if key_exists; then
    echo "FAIL: the key exists before the test and could not be removed"; exit 1
fi
# A neighbour key that the removal must leave alone.
"$wine64" reg add "$addins\\OtherPlugin" /v Name /t REG_SZ /d 'C:\other.dll' /f >/dev/null

# register_and_check <label> <windows-dll-path>
register_and_check() {
    local label="$1" path="$2" reg="$work/zobrik-plugin-$1.reg" line
    fill_template "$path" "$reg"
    echo "== $label: $path"
    grep '^"Name"=' "$reg" || fail "$label: no \"Name\" line in $reg"
    if grep -q '@ZOBRIK_DLL_PATH@' "$reg"; then
        fail "$label: placeholder left in $reg"
    fi
    import_reg "$reg"
    # Importing twice must leave the same single value.
    import_reg "$reg"
    line="$(query_name)"
    echo "reg query: ${line:-<nothing>}"
    local expected="    Name    REG_SZ    $path"
    if [ "$line" != "$expected" ]; then
        fail "$label: expected '$expected'"
    fi
}

# The built DLL where it lies, and a copy under a folder with spaces.
register_and_check build "$(windows_path "$dll")"
spaced_dir="$prefix/drive_c/Program Files/Zobrik WTS"
mkdir -p "$spaced_dir"
cp "$dll" "$spaced_dir/ZobrikWTSDVC.dll"
register_and_check spaced 'C:\Program Files\Zobrik WTS\ZobrikWTSDVC.dll'

echo "== removal"
import_reg "$removal"
if key_exists; then
    fail "the key is still there after importing $removal"
else
    echo "reg query: key not found (removed)"
fi
if ! "$wine64" reg query "$addins\\OtherPlugin" /v Name >/dev/null 2>&1; then
    fail "the removal also deleted the neighbour key AddIns\\OtherPlugin"
fi
"$wine64" reg delete "$addins\\OtherPlugin" /f >/dev/null

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PASS: registered, re-registered and removed through the .reg files"
