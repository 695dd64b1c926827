#!/bin/sh
# Runs a command with <dir>/temp/Ema1.tmp, the staging directory's name in
# the temp folder <dir>/temp, a symbolic link to <dir>/elsewhere, which
# holds a folder named as an ended client's request directory; removes
# <dir> afterwards.
# usage: with-linked-staging.sh <dir> <command> [args...]
dir="$1"; shift
rm -rf "$dir"
mkdir -p "$dir/temp" "$dir/elsewhere/0123456789abcdef-zr-7ffffff1" || exit 1
: >"$dir/elsewhere/0123456789abcdef-zr-7ffffff1/left.bin" || exit 1
ln -s "$dir/elsewhere" "$dir/temp/Ema1.tmp" || exit 1
"$@"
status=$?
rm -rf "$dir"
exit $status
