#!/bin/bash
# Builds the Windows tree and runs the benchmarks under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" windows

source "$root/scripts/wine-env.sh"
echo "== mail channel"
"$wine64" "$bin/mail_benchmark.exe" 64 1600
echo "== parts"
"$wine64" "$bin/parts_benchmark.exe"
