#!/bin/sh
# Checks the built DLL: 64-bit, exactly the five exports, and imports only
# Windows system DLLs (the MinGW runtime is linked statically).
# usage: check-dll.sh <objdump> <dll>
set -eu
objdump="$1"; dll="$2"
dump="$("$objdump" -p "$dll")"
echo "$dump" | grep -q "file format pei-x86-64" || { echo "not a 64-bit PE file"; exit 1; }
exports="$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^\t\[/ {print $NF}' | sort | tr '\n' ' ')"
expected="DllInstall DllRegisterServer DllUnregisterServer Run VirtualChannelGetInstance "
if [ "$exports" != "$expected" ]; then
    echo "exports: $exports"; echo "expected: $expected"; exit 1
fi
imports="$(echo "$dump" | awk '/DLL Name:/ {print toupper($3)}' | sort -u | tr '\n' ' ')"
for name in $imports; do
    case "$name" in
        KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|OLEAUT32.DLL|SHELL32.DLL|SHLWAPI.DLL|USER32.DLL|ADVAPI32.DLL|BCRYPT.DLL|IPHLPAPI.DLL|NTDLL.DLL) ;;
        *) echo "unexpected import: $name"; exit 1 ;;
    esac
done
echo "exports: $exports"
echo "imports: $imports"
