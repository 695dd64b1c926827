#!/bin/bash
# The tables of the MSI packages as msitools reads them: in both packages the
# DLL is a versioned file (Version and Language set, no MsiFileHash row) and
# the self-test's image lies beside it; two builds of the per-machine package
# from the same input have the same tables and summary (its two times aside).
# usage: msi_tables_test.sh <work dir> <DLL file version> <machine.msi> <rebuilt machine.msi> <user.msi>
set -uo pipefail
work="$1"; file_version="$2"; machine="$3"; rebuilt="$4"; user="$5"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

# row <package> <table> <first column>: the table's row with that key.
row() { msiinfo export "$1" "$2" | tr -d '\r' | awk -F'\t' -v key="$3" 'NR > 3 && $1 == key'; }
# field <package> <table> <first column> <column number>: one field of that row.
field() { row "$1" "$2" "$3" | cut -f "$4"; }

for package in "$machine" "$user"; do
    name="$(basename "$package")"
    version="$(field "$package" File PluginDll 5)"
    language="$(field "$package" File PluginDll 6)"
    [ "$version" = "$file_version" ] && ok "$name: the DLL's version is $version" \
        || fail "$name: the DLL's File table version is '$version', not $file_version"
    [ "$language" = 1033 ] && ok "$name: the DLL's language is 1033" \
        || fail "$name: the DLL's File table language is '$language', not 1033"
    [ -z "$(row "$package" MsiFileHash PluginDll)" ] && ok "$name: no MsiFileHash row for the DLL" \
        || fail "$name: the DLL has an MsiFileHash row"
    directory="$(field "$package" Component SelfTestImage 3)"
    [ "$directory" = INSTALLDIR ] && ok "$name: the self-test's image is installed beside the DLL" \
        || fail "$name: the self-test's image goes to '$directory'"
done

rm -rf "$work" && mkdir -p "$work/first" "$work/second" || { echo "FAIL: cannot make $work"; exit 1; }
(cd "$work/first" && msidump -t -s "$machine" >/dev/null) || fail "msidump $machine"
(cd "$work/second" && msidump -t -s "$rebuilt" >/dev/null) || fail "msidump $rebuilt"
# The creation and last save times (summary properties 12 and 13) are the
# build's; the embedded cabinet (_Streams) holds the files' times.
for dir in "$work/first" "$work/second"; do
    sed -i '/^1[23]\t/d' "$dir/_SummaryInformation.idt"
    rm -rf "$dir/_Streams"
done
if diff -r "$work/first" "$work/second"; then
    ok "two builds from the same input have the same tables ($(ls "$work/first" | wc -l) files)"
else
    fail "two builds from the same input differ"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "PASS: the DLL is a versioned file, the image beside it, the tables reproducible"
