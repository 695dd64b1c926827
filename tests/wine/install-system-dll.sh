#!/bin/sh
# Installs a stand-in as a system DLL of a Wine prefix: the 64-bit build as
# system32\<name>, the 32-bit build, when given, as syswow64\<name>. Programs
# take it over Wine's builtin only with WINEDLLOVERRIDES=<name>=n. A file is
# replaced by a rename, so a process that still has the old one mapped keeps
# it intact, and only when it differs.
# usage: install-system-dll.sh <prefix-dir> <name.dll> <64-bit dll> [<32-bit dll>]
set -e
prefix="$1"; name="$2"; dll64="$3"; dll32="$4"
if [ -z "$prefix" ] || [ -z "$name" ] || [ -z "$dll64" ]; then
    echo "usage: $0 <prefix-dir> <name.dll> <64-bit dll> [<32-bit dll>]" >&2
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
    target="$system/$name"
    # Wine finds the file in any letter case: no other spelling may remain.
    find "$system" -maxdepth 1 -iname "$name" ! -name "$name" -exec rm -f {} +
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
