#!/bin/sh
# Installs a Simple MAPI stand-in as the system MAPI32 of a Wine prefix
# (drive_c/windows/system32/mapi32.dll), the only place the plug-in loads it
# from. Tests in that prefix run with WINEDLLOVERRIDES=mapi32=n, so that Wine
# takes this file over its builtin.
# usage: install-mapi-standin.sh <prefix-dir> <MAPI32.dll> [<32-bit MAPI32.dll>]
exec "$(dirname "$0")/install-system-dll.sh" "$1" mapi32.dll "$2" "$3"
