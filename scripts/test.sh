#!/bin/bash
# The whole test suite: installs what it needs, builds both trees, runs the
# native unit tests (ASan/UBSan) and the Windows tests under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" all

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
(cd "$root" && ctest --preset native)

echo "== Windows tests under Wine"
(cd "$root" && ctest --preset windows)
