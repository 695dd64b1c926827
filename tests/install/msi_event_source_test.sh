#!/bin/bash
# The event source in the MSI packages: the per-machine package registers
# ZobrikWTSDVC in the Application log with the DLL as its message file (the
# Registry table, then installed under Wine's msiexec and read back, then
# removed by the uninstall); the per-user package, which cannot write HKLM,
# registers nothing.
# usage: msi_event_source_test.sh <wine64> <wineserver> <prefix> <machine.msi> <user.msi>
set -uo pipefail
wine64="$1"; wineserver="$2"; prefix="$3"; machine="$4"; user="$5"
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="winedbg.exe=d"
key='SYSTEM\CurrentControlSet\Services\EventLog\Application\ZobrikWTSDVC'

fail() { echo "FAIL: $*"; "$wineserver" -k >/dev/null 2>&1; exit 1; }
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
# "<Key>\t<Name>\t<Value>\t<Component>" of each row of the table under `key`.
rows() { msiinfo export "$1" Registry | tr -d '\r' | awk -F'\t' -v k="$key" '$3 == k { print $3 "\t" $4 "\t" $5 "\t" $6 }' | sort; }

echo "== Registry table of the per-machine package"
expected="$(printf '%s\t%s\t%s\tEventSource\n' \
    "$key" CategoryCount '#3' "$key" CategoryMessageFile '[#PluginDll]' \
    "$key" EventMessageFile '[#PluginDll]' "$key" TypesSupported '#3')"
actual="$(rows "$machine")"
[ "$actual" = "$expected" ] || fail "the event source rows are"$'\n'"$actual"$'\n'"expected"$'\n'"$expected"
echo "ok: four rows, the DLL as message file"
[ -z "$(rows "$user")" ] || fail "the per-user package registers the event source"
echo "ok: the per-user package has none"

echo "== installed under Wine's msiexec"
"$wineserver" -k >/dev/null 2>&1
rm -rf "$prefix"
"$(dirname "$0")/../wine/make-prefix.sh" "$wine64" "$wineserver" "$prefix" || fail "no Wine prefix at $prefix"
"$wineserver" -p
"$wine64" msiexec /i "$(winpath "$machine")" /qn || fail "msiexec /i exited with $?"
query="$("$wine64" reg query "HKLM\\$key" 2>/dev/null | tr -d '\r')"
echo "$query"
grep -qiE 'EventMessageFile +REG_SZ +C:\\Program Files\\Zobrik\\WTSDVC\\ZobrikWTSDVC\.dll$' <<<"$query" \
    || fail "EventMessageFile is not the installed DLL"
grep -qiE 'CategoryMessageFile +REG_SZ +C:\\Program Files\\Zobrik\\WTSDVC\\ZobrikWTSDVC\.dll$' <<<"$query" \
    || fail "CategoryMessageFile is not the installed DLL"
grep -qE 'TypesSupported +REG_DWORD +0x3$' <<<"$query" || fail "TypesSupported is not 3"
grep -qE 'CategoryCount +REG_DWORD +0x3$' <<<"$query" || fail "CategoryCount is not 3"
"$wine64" msiexec /x "$(winpath "$machine")" /qn || fail "msiexec /x exited with $?"
"$wine64" reg query "HKLM\\$key" /v EventMessageFile >/dev/null 2>&1 && fail "the uninstall left the event source"
"$wineserver" -k >/dev/null 2>&1
echo "PASS: the per-machine package registers the event source and removes it"
