#!/bin/sh
# Installs a Simple MAPI stand-in as the system MAPI32 of a Wine prefix
# (drive_c/windows/system32/mapi32.dll), the only place the plug-in loads it
# from. Tests in that prefix run with WINEDLLOVERRIDES=mapi32=n, so that Wine
# takes this file over its builtin. The file is replaced by a rename, so a
# process that still has the old one mapped keeps it intact, and only when
# it differs from the stand-in.
# usage: install-mapi-standin.sh <prefix-dir> <MAPI32.dll>
set -e
prefix="$1"; dll="$2"
if [ -z "$prefix" ] || [ -z "$dll" ]; then
    echo "usage: $0 <prefix-dir> <MAPI32.dll>" >&2
    exit 2
fi
system="$prefix/drive_c/windows/system32"
if [ ! -d "$system" ]; then
    echo "$0: $system not found: the prefix has not been created" >&2
    exit 1
fi
if [ ! -f "$dll" ]; then
    echo "$0: $dll not found" >&2
    exit 1
fi
target="$system/mapi32.dll"
# Wine finds the file in any letter case: no other spelling may remain.
for other in "$system"/[Mm][Aa][Pp][Ii]32.[Dd][Ll][Ll]; do
    if [ "$other" != "$target" ] && [ -e "$other" ]; then
        rm -f "$other"
    fi
done
if cmp -s "$dll" "$target"; then
    exit 0
fi
cp "$dll" "$target.new-$$"
mv -f "$target.new-$$" "$target"
cmp -s "$dll" "$target"
