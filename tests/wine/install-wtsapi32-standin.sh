#!/bin/sh
# Installs the stand-in wtsapi32.dll (tests/standins/wtsapi32) into a Wine
# prefix: only programs run with WINEDLLOVERRIDES=wtsapi32=n take it ("in the
# session"); every other program keeps Wine's builtin, which opens no channel.
# usage: install-wtsapi32-standin.sh <prefix-dir> <64-bit wtsapi32.dll> [<32-bit wtsapi32.dll>]
exec "$(dirname "$0")/install-system-dll.sh" "$1" wtsapi32.dll "$2" "$3"
