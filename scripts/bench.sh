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
echo "== Simple MAPI provider: a 100 MiB attachment in a test session"
# The test session's prefix and stand-ins come from their ctest fixtures.
(cd "$root/build/windows" && ctest -R '^(wine_prefix|wine_prefix_mapi_provider|mapi_provider_session_.*)$' >/dev/null)
WINEPREFIX="$root/build/windows/wineprefix-mapi-provider" WINEDLLOVERRIDES= ZOBRIK_MAPI_CONTENT=size \
    "$root/tests/wine/run-in-session.sh" "$wine64" "$bin/zobrik-session-host.exe" --messages summary -- \
    "$wine64" "$bin/zobrik_mapi_benchmark.exe" "$root/build/windows/bin/ZobrikMapi.dll" 100 | grep -v '^debug: '
