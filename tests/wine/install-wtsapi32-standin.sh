#!/bin/sh
# Installs the stand-in wtsapi32.dll (tests/standins/wtsapi32) into the
# system directories of a Wine prefix: the 64-bit build as
# system32\wtsapi32.dll, the 32-bit build as syswow64\wtsapi32.dll. Only
# programs run with WINEDLLOVERRIDES=wtsapi32=n take it ("in the session");
# every other program keeps Wine's builtin, which opens no channel. A file is
# replaced by a rename, and only when it differs.
# usage: install-wtsapi32-standin.sh <prefix-dir> <64-bit wtsapi32.dll> [<32-bit wtsapi32.dll>]
set -e
prefix="$1"; dll64="$2"; dll32="$3"
if [ -z "$prefix" ] || [ -z "$dll64" ]; then
    echo "usage: $0 <prefix-dir> <64-bit wtsapi32.dll> [<32-bit wtsapi32.dll>]" >&2
    exit 2
fi

install_into() {
    system="$prefix/drive_c/windows/$1"; dll="$2"
    if [ ! -d "$system" ]; then
        echo "$0: $system not found: the prefix has not been created" >&2
        exit 1
    fi
    if [ ! -f "$dll" ]; then
        echo "$0: $dll not found" >&2
        exit 1
    fi
    target="$system/wtsapi32.dll"
    # Wine finds the file in any letter case: no other spelling may remain.
    for other in "$system"/[Ww][Tt][Ss][Aa][Pp][Ii]32.[Dd][Ll][Ll]; do
        if [ "$other" != "$target" ] && [ -e "$other" ]; then
            rm -f "$other"
        fi
    done
    if ! cmp -s "$dll" "$target"; then
        cp "$dll" "$target.new-$$"
        mv -f "$target.new-$$" "$target"
    fi
    cmp -s "$dll" "$target"
}

install_into system32 "$dll64"
if [ -n "$dll32" ]; then
    install_into syswow64 "$dll32"
fi
