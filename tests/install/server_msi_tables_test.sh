#!/bin/bash
# The tables of the server package as msitools reads them: the providers and
# programs are versioned files (Version and Language set, no MsiFileHash
# row), the 32-bit provider's component is a 32-bit one (its registry goes
# to the 32-bit view), setup's custom actions run the installed program
# deferred without impersonation with their conditions, the administrator's
# properties are secure; two builds from the same input have the same
# tables and summary (its two times aside).
# usage: server_msi_tables_test.sh <work dir> <file version> <server.msi> <rebuilt server.msi>
set -uo pipefail
work="$1"; file_version="$2"; package="$3"; rebuilt="$4"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
row() { msiinfo export "$package" "$1" | tr -d '\r' | awk -F'\t' -v key="$2" 'NR > 3 && $1 == key'; }
field() { row "$1" "$2" | cut -f "$3"; }
# check <what> <actual> <expected>
check() { [ "$2" = "$3" ] && ok "$1: $3" || fail "$1 is '$2', expected '$3'"; }

for file in MapiDll64 MapiDll32 ZobrikOpenExe SetupExe; do
    check "$file version" "$(field File "$file" 5)" "$file_version"
    check "$file language" "$(field File "$file" 6)" 1033
    check "$file hash rows" "$(row MsiFileHash "$file" | wc -l)" 0
done
# Component attributes: 256 = 64-bit; the 32-bit provider has none of it.
check "Provider64 attributes" "$(field Component Provider64 4)" 256
check "Provider32 attributes" "$(field Component Provider32 4)" 0
check "Provider32 folder" "$(field Component Provider32 3)" INSTALLDIR32
# 3090 = 18 (program from an installed file) + 0x400 (deferred) + 0x800 (no impersonation)
while IFS='|' read -r action target condition; do
    check "$action type" "$(field CustomAction "$action" 2)" 3090
    check "$action program" "$(field CustomAction "$action" 3)" SetupExe
    check "$action command" "$(field CustomAction "$action" 4)" "$target"
    check "$action condition" "$(field InstallExecuteSequence "$action" 2)" "$condition"
done <<'TABLE'
RecordPreviousDefaults|record [ZOBRIK_FILE_TYPES]|NOT REMOVE~="ALL"
SetDefaultMailClient|set-default-mail|ZOBRIK_DEFAULT_MAIL="1" AND NOT REMOVE~="ALL"
RestorePreviousDefaults|restore|REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE
TABLE
# The order that matters: restore while the program is there, record once
# it is installed and before the registry is written, set after it.
sequence() { field InstallExecuteSequence "$1" 3; }
[ "$(sequence RestorePreviousDefaults)" -lt "$(sequence RemoveFiles)" ] && ok "restore before RemoveFiles" \
    || fail "restore runs after RemoveFiles"
[ "$(sequence InstallFiles)" -lt "$(sequence RecordPreviousDefaults)" ] \
    && [ "$(sequence RecordPreviousDefaults)" -lt "$(sequence WriteRegistryValues)" ] \
    && [ "$(sequence WriteRegistryValues)" -lt "$(sequence SetDefaultMailClient)" ] \
    && ok "record after InstallFiles, before WriteRegistryValues; set-default-mail after it" \
    || fail "record and set-default-mail are out of order"
check "secure properties" "$(field Property SecureCustomProperties 2)" \
    "EARLIERVERSIONFOUND;LATERVERSIONFOUND;ZOBRIK_DEFAULT_MAIL;ZOBRIK_FILE_TYPES"

rm -rf "$work" && mkdir -p "$work/first" "$work/second" || { echo "FAIL: cannot make $work"; exit 1; }
(cd "$work/first" && msidump -t -s "$package" >/dev/null) || fail "msidump $package"
(cd "$work/second" && msidump -t -s "$rebuilt" >/dev/null) || fail "msidump $rebuilt"
for dir in "$work/first" "$work/second"; do
    sed -i '/^1[23]\t/d' "$dir/_SummaryInformation.idt"
    rm -rf "$dir/_Streams"
done
diff -r "$work/first" "$work/second" && ok "two builds from the same input have the same tables" \
    || fail "two builds from the same input differ"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "PASS: versioned files, the 32-bit component, setup's custom actions, secure properties, reproducible tables"
