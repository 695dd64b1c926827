#!/bin/bash
# Checks zobrik_remote.dll: a 64-bit PE file whose exports are exactly the
# functions that zobrik_remote.h declares and zobrik_remote.def lists (an
# export cannot be dropped or added without both changing), and which
# imports only Windows system DLLs.
# usage: check-remote-dll.sh <objdump> <dll> <header> <def>
set -eu
objdump="$1"; dll="$2"; header="$3"; def="$4"
dump="$("$objdump" -p "$dll")"
echo "$dump" | grep -q "file format pei-x86-64" || { echo "FAIL: not a 64-bit PE file"; exit 1; }
exports="$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/^\t\[/ {print $NF}' | sort)"
declared="$(tr '\n' ' ' <"$header" | grep -o 'ZOBRIK_REMOTE_API [^;(]*(' | grep -v __declspec | sed 's/($//; s/.*[ *]//' | sort)"
listed="$(awk 'f && NF {print $1} /^EXPORTS/ {f=1}' "$def" | sort)"
[ -n "$declared" ] || { echo "FAIL: no declaration found in $header"; exit 1; }
[ "$exports" = "$declared" ] || { echo "FAIL: exports differ from the header:"; diff <(echo "$exports") <(echo "$declared") || true; exit 1; }
[ "$exports" = "$listed" ] || { echo "FAIL: exports differ from the .def file"; exit 1; }
imports="$(echo "$dump" | awk '/DLL Name:/ {print toupper($3)}' | sort -u | tr '\n' ' ')"
for name in $imports; do
    case "$name" in
        KERNEL32.DLL|MSVCRT.DLL|ADVAPI32.DLL|WTSAPI32.DLL) ;;
        *) echo "FAIL: unexpected import: $name"; exit 1 ;;
    esac
done
echo "ok: $(echo "$exports" | wc -l) exports as declared; imports: $imports"
