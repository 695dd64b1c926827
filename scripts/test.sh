#!/bin/bash
# The whole test suite: installs what it needs, builds the three trees, runs
# the native unit tests (ASan/UBSan), the Linux add-ins' end-to-end tests
# over RDP with the real xfreerdp and xfreerdp3, and the Windows tests under
# Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" all

echo "== native tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
(cd "$root" && ctest --preset native)

echo "== Linux add-ins: end to end over RDP (xfreerdp and xfreerdp3 under Xvfb), and their .debs"
(cd "$root" && ctest --preset linux)

echo "== Windows tests under Wine"
(cd "$root" && ctest --preset windows)
