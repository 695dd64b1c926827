#!/bin/sh
# Checks a shipped file (the DLL or zobrik-send.exe) as built:
#  - PE32+ with DllCharacteristics DYNAMIC_BASE, HIGH_ENTROPY_VA, NX_COMPAT
#    and a base relocation table (without one the image cannot move);
#  - stripped: no .debug_* section, no symbol table;
#  - its .gnu_debuglink names <file>.debug, which lies beside it, has the
#    CRC-32 recorded in the link, holds the debug information and the symbol
#    table, and addr2line, given only the stripped file, finds <function>
#    and its source line through it;
#  - stack protector: __stack_chk_fail is called from at least 10 places (a
#    build without -fstack-protector-strong has no such call);
#  - with "fortified": at least one call of a checked copy function
#    (__memcpy_chk, __strcpy_chk, ...) that _FORTIFY_SOURCE put in;
#  - imports only Windows system DLLs (no libssp-0.dll, libgcc, libstdc++ or
#    winpthread DLL) and, for an .exe, no export table. The DLL's export
#    table is checked by check-dll.sh on the same stripped file.
# usage: check-hardening.sh <objdump> <nm> <addr2line> <file> <function> [fortified]
set -eu
objdump="$1"; nm="$2"; addr2line="$3"; file="$4"; function="$5"; fortified="${6:-}"
name="$(basename "$file")"
debug="$file.debug"

failures=0
fail() { echo "FAIL: $name: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $name: $*"; }

[ -f "$file" ] || { echo "FAIL: no file $file"; exit 1; }
headers="$("$objdump" -p "$file")"
echo "$headers" | grep -q "file format pei-x86-64" || { echo "FAIL: $name is not a 64-bit PE file"; exit 1; }

# DllCharacteristics: the names of the flags follow the line with the value.
flags="$(echo "$headers" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p')"
for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
    if echo "$flags" | grep -qw "$flag"; then ok "$flag"; else fail "DllCharacteristics lack $flag"; fi
done
reloc_size="$(echo "$headers" | awk '/^Entry 5 .*Base Relocation Directory/ {print $4}')"
if [ -n "$reloc_size" ] && [ "$((0x$reloc_size))" -gt 0 ]; then
    ok "base relocation table, 0x$reloc_size bytes"
else
    fail "no base relocation table"
fi

# Stripped: no debug sections, no symbols.
section_table="$("$objdump" -h "$file")"
sections="$(echo "$section_table" | awk '$1 ~ /^[0-9]+$/ {print $2}')"
debug_sections="$(echo "$sections" | grep -E '^\.z?debug' | tr '\n' ' ' || true)"
if [ -z "$debug_sections" ]; then ok "no debug sections"; else fail "debug sections in the shipped file: $debug_sections"; fi
if "$objdump" -t "$file" | grep -qx "no symbols" && ! "$objdump" -f "$file" | grep -qw HAS_SYMS; then
    ok "no symbol table"
else
    fail "has a symbol table"
fi

# Imports and exports.
imports="$(echo "$headers" | awk '/DLL Name:/ {print toupper($3)}' | sort -u | tr '\n' ' ')"
for dll in $imports; do
    case "$dll" in
        KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|OLEAUT32.DLL|SHELL32.DLL|SHLWAPI.DLL|USER32.DLL|ADVAPI32.DLL|BCRYPT.DLL|IPHLPAPI.DLL|NTDLL.DLL|WTSAPI32.DLL) ;;
        *) fail "imports $dll, not a Windows system DLL" ;;
    esac
done
echo "imports: $imports"
case "$name" in
    *.exe|*.EXE)
        if echo "$headers" | grep -q '^Entry 0 0\{16\} 0\{8\} Export Directory'; then
            ok "no export table"
        else
            fail "has an export table"
        fi ;;
esac

# The debug link: the file name, NUL bytes up to a multiple of 4, then the
# CRC-32 of the debug file, little-endian (read from the file at the
# section's offset).
link_line="$(echo "$section_table" | awk '$2 == ".gnu_debuglink" {print $3, $6}')"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if [ -z "$link_line" ]; then
    fail "no .gnu_debuglink section"
else
    set -- $link_line
    tail -c +"$((0x$2 + 1))" "$file" | head -c "$((0x$1))" >"$work/link"
    link_name="$(tr '\000' '\n' <"$work/link" | head -n 1)"
    link_crc="$(tail -c 4 "$work/link" | od -An -tx4 | tr -d ' ')"
    if [ "$link_name" = "$name.debug" ]; then ok "debug link names $link_name"; else fail "debug link names '$link_name', expected $name.debug"; fi
    if [ -f "$debug" ]; then
        # gzip's trailer holds the CRC-32 (the same one) of its input, little-endian.
        debug_crc="$(gzip -c <"$debug" | tail -c 8 | head -c 4 | od -An -tx4 | tr -d ' ')"
        if [ "$link_crc" = "$debug_crc" ]; then ok "debug file CRC-32 $debug_crc as in the link"; else fail "link CRC-32 $link_crc, $debug has $debug_crc"; fi
    fi
fi

# The symbols come from the debug file; without one (a failure reported
# here) from the file itself, so that the checks of the code still run.
symbol_source="$file"
if [ -f "$debug" ]; then
    symbol_source="$debug"
    debug_sections="$("$objdump" -h "$debug" | awk '$1 ~ /^[0-9]+$/ {print $2}')"
    for s in .debug_info .debug_line; do
        echo "$debug_sections" | grep -qx "$s" || fail "$name.debug has no $s section"
    done
else
    fail "no $name.debug beside it"
fi
"$nm" "$symbol_source" >"$work/symbols" 2>/dev/null || true
if [ ! -s "$work/symbols" ]; then
    fail "no symbol table in $(basename "$symbol_source")"
else
    # The address of a function of the code section.
    address_of() { awk -v s="$1" '$3 == s && ($2 == "T" || $2 == "t") {print "0x" $1; exit}' "$work/symbols" | sed 's/0x0*/0x/'; }

    # addr2line with only the stripped file must find the function's name
    # and source line (through the link).
    address="$(address_of "$function")"
    if [ -z "$address" ]; then
        fail "$function is not in the symbol table of $(basename "$symbol_source")"
    else
        found="$("$addr2line" -f -e "$file" "$address" | tr '\n' ' ')"
        case "$found" in
            "$function "*.c*:[0-9]*) ok "addr2line $address: $found" ;;
            *) fail "addr2line $address on the stripped file gives '$found', expected $function and its source line" ;;
        esac
    fi

    # Calls in the code of the file to the given functions (objdump writes
    # the target as 0x<address> when the file has no symbols, as <address>
    # <name> when it has).
    "$objdump" -d --no-show-raw-insn "$file" | awk '$2 == "call" {t = $3; if (t !~ /^0x/) t = "0x" t; print t}' | sort | uniq -c >"$work/calls"
    calls_to() {
        total=0
        for s in "$@"; do
            target="$(address_of "$s")"
            [ -n "$target" ] || continue
            n="$(awk -v t="$target" '$2 == t {print $1}' "$work/calls")"
            total=$((total + ${n:-0}))
        done
        echo "$total"
    }
    canaries="$(calls_to __stack_chk_fail)"
    if [ "$canaries" -ge 10 ]; then ok "__stack_chk_fail called from $canaries places"; else fail "__stack_chk_fail called from $canaries places (stack protector off?)"; fi
    if [ "$fortified" = fortified ]; then
        checked="$(calls_to __memcpy_chk __memmove_chk __memset_chk __mempcpy_chk __strcpy_chk \
            __stpcpy_chk __strcat_chk __strncpy_chk __strncat_chk)"
        if [ "$checked" -ge 1 ]; then ok "checked copy functions called from $checked places"; else fail "no call of a checked copy function (_FORTIFY_SOURCE off?)"; fi
    fi
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PASS: $name is hardened and stripped, its debug information in $name.debug"
