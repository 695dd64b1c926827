#!/bin/bash
# Checks that every tracked C++ file is formatted as .clang-format says;
# prints the files that are not (fix them with clang-format -i).
# usage: check-format.sh <repository root> [clang-format]
set -uo pipefail
root="${1:?usage: check-format.sh <repository root> [clang-format]}"
formatter="${2:-clang-format}"
cd "$root" || exit 2
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
# One run over all files (a process per file costs most of the time): each
# file that differs is named in a "code should be clang-formatted" line.
[ ${#files[@]} -ne 0 ] || { echo "FAIL: no C++ files found"; exit 1; }
output="$("$formatter" --dry-run "${files[@]}" 2>&1)" || { echo "$output"; echo "FAIL: $formatter failed"; exit 1; }
mapfile -t unformatted < <(grep -E 'code should be clang-formatted' <<<"$output" | cut -d: -f1 | sort -u)
if [ ${#unformatted[@]} -ne 0 ]; then
    printf 'not formatted: %s\n' "${unformatted[@]}"
    echo "FAIL: ${#unformatted[@]} of ${#files[@]} files differ from .clang-format"
    exit 1
fi
echo "ok: ${#files[@]} files formatted"
