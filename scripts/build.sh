#!/bin/bash
# Configures and builds the Windows tree (DLL, tools, tests), the native
# tree (platform-free logic with sanitizers) and the Linux tree (the FreeRDP
# add-in and its end-to-end tests), with the presets of CMakePresets.json.
# Usage: build.sh [windows|native|linux|all]
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
if [ "$what" = linux ] || [ "$what" = all ]; then
    (cd "$root" && cmake --preset linux >/dev/null && cmake --build --preset linux -j"$jobs")
fi
