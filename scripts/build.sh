#!/bin/bash
# Configures and builds the Windows tree (DLL, tools, tests) and the native
# tree (platform-free logic with sanitizers). Usage: build.sh [windows|native|all]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
what="${1:-all}"
jobs="$(nproc)"

if [ "$what" = windows ] || [ "$what" = all ]; then
    # -O2: GCC 12's -O3 reports false array-bounds overflows in std::vector.
    cmake -S "$root" -B "$root/build/windows" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" -DZOBRIK_WERROR=ON >/dev/null
    cmake --build "$root/build/windows" -j"$jobs"
fi
if [ "$what" = native ] || [ "$what" = all ]; then
    cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=Debug -DZOBRIK_WERROR=ON >/dev/null
    cmake --build "$root/build/native" -j"$jobs"
fi
