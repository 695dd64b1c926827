#!/bin/bash
# Text check of install/: the PowerShell installer and the two .reg files
# name the same registry key and value, and that key is the one the Remote
# Desktop client reads its plug-ins from. (PowerShell itself is not run.)
# usage: ps1_matches_reg_test.sh <install-dir>
set -uo pipefail
dir="$1"
ps1="$dir/Install-ZobrikPlugin.ps1"
reg="$dir/zobrik-plugin.reg.in"
removal="$dir/zobrik-plugin-remove.reg"
expected_key='HKEY_CURRENT_USER\Software\Microsoft\Terminal Server Client\Default\AddIns\Zobrik'

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# same <what> <got> <expected>
same() {
    if [ "$2" = "$3" ]; then echo "ok: $1 = $2"; else fail "$1 is '$2', expected '$3'"; fi
}
# The lines of a file without carriage returns.
text() { tr -d '\r' <"$1"; }

for f in "$ps1" "$reg" "$removal"; do
    [ -f "$f" ] || { echo "FAIL: missing $f"; exit 1; }
done

# .reg files: header, the key to add and its value, the key to delete.
same "header of $(basename "$reg")" "$(text "$reg" | head -n 1)" 'Windows Registry Editor Version 5.00'
same "header of $(basename "$removal")" "$(text "$removal" | head -n 1)" 'Windows Registry Editor Version 5.00'
reg_keys="$(text "$reg" | grep '^\[')"
same ".reg key" "$reg_keys" "[$expected_key]"
same ".reg value" "$(text "$reg" | grep -v '^;' | grep '=')" '"Name"="@ZOBRIK_DLL_PATH@"'
same "removal .reg key" "$(text "$removal" | grep '^\[')" "[-$expected_key]"
if grep -v '^;' <(text "$removal") | grep '=' >/dev/null; then
    fail "the removal .reg also sets a value"
fi

# PowerShell: the key (HKCU: drive) and value it writes and removes.
ps_key="$(text "$ps1" | sed -n "s/^\$KeyPath = '\(.*\)'\$/\1/p")"
same "PowerShell key" "${ps_key/#HKCU:\\/HKEY_CURRENT_USER\\}" "$expected_key"
same "PowerShell value name" "$(text "$ps1" | sed -n "s/^\$ValueName = '\(.*\)'\$/\1/p")" 'Name'
# The value is written as REG_SZ ("String"), the same type as the .reg's "...".
same "New-ItemProperty call" \
    "$(text "$ps1" | grep -o 'New-ItemProperty -Path \$KeyPath -Name \$ValueName -PropertyType [A-Za-z]*')" \
    'New-ItemProperty -Path $KeyPath -Name $ValueName -PropertyType String'
same "New-Item call" "$(text "$ps1" | grep -o 'New-Item -Path \$KeyPath -Force')" 'New-Item -Path $KeyPath -Force'
same "Remove-Item call" "$(text "$ps1" | grep -o 'Remove-Item -Path \$KeyPath -Recurse -Force')" 'Remove-Item -Path $KeyPath -Recurse -Force'
same "default DLL" "$(text "$ps1" | grep -o "Join-Path \$PSScriptRoot '[^']*'")" "Join-Path \$PSScriptRoot 'ZobrikWTSDVC.dll'"
same "PE machine checked" "$(text "$ps1" | sed -n 's/^\$MachineAmd64 = \(.*\)$/\1/p')" '0x8664'
for p in DllPath Uninstall; do
    grep -q "^ *\[[a-z]*\]\\\$$p\b" <(text "$ps1") || fail "PowerShell parameter -$p is missing"
done
# Windows PowerShell 5.1 reads a file without BOM in the ANSI code page.
if LC_ALL=C grep -q '[^ -~	]' <(text "$ps1"); then
    fail "$(basename "$ps1") has non-ASCII characters"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PASS: the installer and the .reg files write and remove the same key and value"
