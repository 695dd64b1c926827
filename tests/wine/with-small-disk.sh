#!/bin/sh
# Runs a command with a small tmpfs mounted at <dir> (for disk-full tests),
# then unmounts it. Exits 77 (the test is skipped) when no tmpfs can be
# mounted here, for instance without the privilege to mount.
# usage: with-small-disk.sh <dir> <size> <command> [args...]
dir="$1"; size="$2"; shift 2
mkdir -p "$dir"
if ! mount -t tmpfs -o "size=$size" zobrik-small-disk "$dir" 2>/dev/null; then
    echo "cannot mount a tmpfs at $dir: disk-full test skipped"
    exit 77
fi
"$@"
status=$?
umount "$dir" || umount -l "$dir"
exit $status
