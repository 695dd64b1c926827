#!/bin/bash
# The whole test suite: installs what it needs, builds both trees, runs the
# native unit tests (ASan/UBSan) and the Windows tests under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" all

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ctest --test-dir "$root/build/native" --output-on-failure

echo "== Windows tests under Wine"
ctest --test-dir "$root/build/windows" --output-on-failure -j2
