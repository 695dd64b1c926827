#!/bin/sh
# Checks that ZobrikMapi.dll (64-bit or 32-bit) exports exactly the Simple
# MAPI functions under their undecorated names (a 32-bit stdcall name such
# as MAPISendMail@20 is not found by the MAPI stub), and imports only
# Windows system DLLs.
# usage: check-exports.sh <objdump> <ZobrikMapi.dll>
set -eu
objdump="$1"; file="$2"
expected="MAPIAddress MAPIDeleteMail MAPIDetails MAPIFindNext MAPIFreeBuffer MAPILogoff MAPILogon MAPIReadMail MAPIResolveName MAPISaveMail MAPISendDocuments MAPISendMail MAPISendMailW"
headers="$("$objdump" -p "$file")"
exports="$(printf '%s\n' "$headers" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
    | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort | tr '\n' ' ' | sed 's/ $//')"
status=0
if [ "$exports" = "$expected" ]; then
    echo "ok: $(basename "$file") exports $exports"
else
    echo "FAIL: $(basename "$file") exports \"$exports\", expected \"$expected\""
    status=1
fi
for dll in $(printf '%s\n' "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    case "$(echo "$dll" | tr 'a-z' 'A-Z')" in
        KERNEL32.DLL|ADVAPI32.DLL|WTSAPI32.DLL|MSVCRT.DLL) ;;
        *) echo "FAIL: $(basename "$file") imports $dll"; status=1 ;;
    esac
done
exit $status
