#!/bin/sh
# Gives a Wine prefix the drive N: as a network drive: Wine's mount manager
# reports the type that HKLM\Software\Wine\Drives gives a drive, as Windows
# reports a mapped share (GetDriveTypeW answers DRIVE_REMOTE, and the
# drive's link names no volume of a local disk). Its files are a folder of
# the prefix. Also R: as a CD-ROM drive and S: as a removable one, both
# leading to the prefix's C:, as another local way to the same files. The
# types are read when the prefix's server starts next.
# usage: add-network-drive.sh <wine64> <wineserver> <prefix-dir>
set -e
wine64="$1"; wineserver="$2"; prefix="$3"
if [ -z "$wine64" ] || [ -z "$wineserver" ] || [ ! -d "$prefix/dosdevices" ]; then
    echo "usage: $0 <wine64> <wineserver> <prefix-dir> (an existing prefix)" >&2
    exit 2
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY=
if [ -L "$prefix/dosdevices/n:" ] && grep -q '^"n:"="network"' "$prefix/system.reg" 2>/dev/null &&
    grep -q '^"s:"="floppy"' "$prefix/system.reg" 2>/dev/null; then
    exit 0
fi
mkdir -p "$prefix/network-drive"
ln -sfn ../network-drive "$prefix/dosdevices/n:"
ln -sfn ../drive_c "$prefix/dosdevices/r:"
ln -sfn ../drive_c "$prefix/dosdevices/s:"
for drive in n:=network r:=cdrom s:=floppy; do
    "$wine64" reg add 'HKLM\Software\Wine\Drives' /v "${drive%%=*}" /t REG_SZ /d "${drive#*=}" /f >/dev/null
done
"$wineserver" -w
