#!/bin/bash
# The MSI packages under Wine's own msiexec, in a Wine prefix of their own:
# per-machine: silent install, files and registration as documented, the
# registered DLL loaded through the client stand-in, upgrade by a later
# version (one entry left, the later one), repair of a deleted DLL,
# uninstall leaving nothing; per-user: install and uninstall the same way.
# usage: msi_test.sh <wine64> <wineserver> <prefix> <msi_check.exe> <version> <later version>
#                    <machine.msi> <later machine.msi> <user.msi>
set -uo pipefail
wine64="$1"; wineserver="$2"; prefix="$3"; check="$4"; version="$5"; later="$6"
machine="$7"; machine_later="$8"; user="$9"
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="winedbg.exe=d"

fail() { echo "FAIL: $*"; "$wineserver" -k >/dev/null 2>&1; exit 1; }
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
msiexec() { "$wine64" msiexec "$@"; }
run_check() { "$wine64" "$check" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

"$wineserver" -k >/dev/null 2>&1
rm -rf "$prefix"
"$wine64" wineboot -i >/dev/null 2>&1
[ -f "$prefix/system.reg" ] || sleep 2
# One server for the whole test, so that no step starts while it is leaving.
"$wineserver" -p
dll="$prefix/drive_c/Program Files/Zobrik/WTSDVC/ZobrikWTSDVC.dll"

echo "== per-machine install of $version"
msiexec /i "$(winpath "$machine")" /qn || fail "msiexec /i exited with $?"
run_check installed machine "$version" || fail "the per-machine installation is not as documented"

echo "== upgrade to $later"
msiexec /i "$(winpath "$machine_later")" /qn || fail "the upgrade exited with $?"
run_check installed machine "$later" || fail "after the upgrade"

echo "== repair of a deleted DLL"
rm -f "$dll"
msiexec /i "$(winpath "$machine_later")" REINSTALL=ALL REINSTALLMODE=amus /qn || fail "the repair exited with $?"
[ -f "$dll" ] || fail "the repair did not restore the DLL"
echo "ok: the DLL is back"

echo "== uninstall"
msiexec /x "$(winpath "$machine_later")" /qn || fail "msiexec /x exited with $?"
run_check removed machine || fail "the uninstall left something behind"

echo "== per-user install and uninstall"
msiexec /i "$(winpath "$user")" /qn || fail "the per-user install exited with $?"
run_check installed user "$version" || fail "the per-user installation is not as documented"
msiexec /x "$(winpath "$user")" /qn || fail "the per-user uninstall exited with $?"
run_check removed user || fail "the per-user uninstall left something behind"

"$wineserver" -k >/dev/null 2>&1
echo "PASS: install, upgrade, repair and uninstall, per machine and per user"
