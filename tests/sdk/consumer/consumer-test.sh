#!/bin/bash
# Installs the developer's kit of a build tree into a fresh folder, builds the
# consumer project against it with find_package(Zobrik) and runs what it
# built: natively, or with the MinGW-w64 toolchain and under Wine (with
# zobrik_remote.dll from the kit's bin/ beside the programs).
# usage: consumer-test.sh <cmake> <build tree> <work folder> [<toolchain file> <wine64>]
set -euo pipefail
cmake="$1"; tree="$2"; work="$3"; toolchain="${4:-}"; wine="${5:-}"
here="$(cd "$(dirname "$0")" && pwd)"

rm -rf "$work"
"$cmake" --install "$tree" --component devkit --prefix "$work/kit" >/dev/null
[ -f "$work/kit/lib/cmake/Zobrik/ZobrikConfig.cmake" ] || { echo "FAIL: the kit has no ZobrikConfig.cmake"; exit 1; }

options=(-DCMAKE_PREFIX_PATH="$work/kit" -DCMAKE_BUILD_TYPE=Release
         -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" -DCMAKE_C_FLAGS="-Wall -Wextra -Werror")
[ -n "$toolchain" ] && options+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
"$cmake" -S "$here" -B "$work/build" "${options[@]}" >"$work/configure.log" 2>&1 \
    || { cat "$work/configure.log"; echo "FAIL: the consumer project does not configure"; exit 1; }
"$cmake" --build "$work/build" >"$work/build.log" 2>&1 || { cat "$work/build.log"; echo "FAIL: the consumer does not build"; exit 1; }

if [ -z "$toolchain" ]; then
    "$work/build/consumer"
    echo "ok: native consumer built against the installed kit and ran"
    exit 0
fi
[ -f "$work/build/consumer_c.exe" ] || { echo "FAIL: Zobrik::remote was not found in the Windows kit"; exit 1; }
cp "$work/kit/bin/zobrik_remote.dll" "$work/build/"
"$wine" "$work/build/consumer.exe"
"$wine" "$work/build/consumer_c.exe"
echo "ok: MinGW-w64 consumer (C++ and C) built against the installed kit and ran under Wine"
