#!/bin/bash
# The whole test suite: installs what it needs, builds the three trees, runs
# the native unit tests (ASan/UBSan), the Linux add-ins' end-to-end tests
# over RDP with the real xfreerdp and xfreerdp3, and the Windows tests under
# Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" all

# One ctest run over the three trees, two entries at a time: the Linux
# entries mostly wait on their RDP sessions and the Wine entries on their
# Wine servers and displays, and the native checks fill those waits, where
# three runs one after another would leave a core idle. The trees' resource
# locks and fixtures hold across them. `ctest --preset native|linux|windows`
# runs one tree alone.
echo "== all tests: native (AddressSanitizer, UndefinedBehaviorSanitizer), the Linux add-ins end to end over RDP"
echo "   (xfreerdp and xfreerdp3 under Xvfb) and their .debs, the Windows tests under Wine"
all="$root/build/all-trees"
mkdir -p "$all"
{
    echo "# The three trees' tests in one ctest run (scripts/test.sh)."
    for tree in native linux windows; do echo "subdirs(\"$root/build/$tree\")"; done
} >"$all/CTestTestfile.cmake"
ctest --test-dir "$all" -j 2 --output-on-failure
