#!/bin/bash
# Makes the release archive and its symbols archive with cpack into a folder
# of their own and checks what they hold.
# usage: package_test.sh <cpack> <CPackConfig.cmake> <out-dir> <version> <built-dll> [send-tool-file-name]
set -euo pipefail
cpack="$1"; config="$2"; out="$3"; version="$4"; dll="$5"; send_tool="${6:-}"
rm -rf "$out"
mkdir -p "$out"
"$cpack" -G ZIP --config "$config" -B "$out"
zip="$out/ZobrikWTSDVC-$version-win64.zip"
unzip -l "$zip"
unzip -l "${zip%.zip}-symbols.zip" || true
exec "$(dirname "$0")/check_package_contents.sh" "$zip" "$version" "$dll" "$send_tool"
