#!/bin/bash
# Configures and builds the Windows tree (DLL, tools, tests) and the native
# tree (platform-free logic with sanitizers), with the presets of
# CMakePresets.json. Usage: build.sh [windows|native|all]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
what="${1:-all}"
jobs="$(nproc)"

if [ "$what" = windows ] || [ "$what" = all ]; then
    (cd "$root" && cmake --preset windows >/dev/null && cmake --build --preset windows -j"$jobs")
fi
if [ "$what" = native ] || [ "$what" = all ]; then
    (cd "$root" && cmake --preset native >/dev/null && cmake --build --preset native -j"$jobs")
fi
