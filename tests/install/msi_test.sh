#!/bin/bash
# The MSI packages under Wine's own msiexec, in one Wine prefix of their own
# (each step leaves the prefix as the next expects it):
# per-machine: refused on ARM64 Windows; silent install, files and
# registration as documented, the registered DLL loaded through the client
# stand-in; a second build of the same version, and one from other input,
# is the same product (one entry; its msiexec /x removes it); upgrade by a
# later version (one entry left, the later one); an earlier version refused
# with its message; the per-user package refused while it is installed;
# repair of a deleted DLL; uninstall leaving nothing; per-user: install, the
# per-machine package refused, uninstall.
# usage: msi_test.sh <wine64> <wineserver> <prefix> <msi_check.exe> <version> <later version>
#                    <machine.msi> <later machine.msi> <user.msi> <rebuilt machine.msi> <earlier machine.msi>
set -uo pipefail
wine64="$1"; wineserver="$2"; prefix="$3"; check="$4"; version="$5"; later="$6"
machine="$7"; machine_later="$8"; user="$9"; machine_rebuilt="${10}"; machine_earlier="${11}"
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="winedbg.exe=d"

fail() { echo "FAIL: $*"; "$wineserver" -k >/dev/null 2>&1; exit 1; }
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
msiexec() { "$wine64" msiexec "$@"; }
run_check() { "$wine64" "$check" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }

# refused <package> <message part>: the install through the installer API
# fails with 1603 (fatal error, what a launch condition gives) and shows the
# message.
refused() {
    local out
    out="$(run_check install "$(winpath "$1")")"
    echo "$out"
    grep -qx "status: 1603" <<<"$out" || fail "$(basename "$1") was not refused with 1603"
    grep -qF "$2" <<<"$out" || fail "$(basename "$1") did not say: $2"
}

"$wineserver" -k >/dev/null 2>&1
rm -rf "$prefix"
"$(dirname "$0")/../wine/make-prefix.sh" "$wine64" "$wineserver" "$prefix" || fail "no Wine prefix at $prefix"
# One server for the whole test, so that no step starts while it is leaving.
"$wineserver" -p
dll="$prefix/drive_c/Program Files/Zobrik/WTSDVC/ZobrikWTSDVC.dll"
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'

echo "== per-machine package on ARM64 Windows (the processor architecture the installer reads)"
"$wine64" reg add "$environment" /v PROCESSOR_ARCHITECTURE /d ARM64 /f >/dev/null || fail "reg add"
refused "$machine" "The Remote Desktop client of Windows on ARM64 does not load x64 plug-ins."
"$wine64" reg add "$environment" /v PROCESSOR_ARCHITECTURE /d AMD64 /f >/dev/null || fail "reg add"
run_check removed machine >/dev/null || fail "the refused install left something behind"

echo "== per-machine install of $version"
msiexec /i "$(winpath "$machine")" /qn || fail "msiexec /i exited with $?"
run_check installed machine "$version" || fail "the per-machine installation is not as documented"

echo "== a second build of $version: the same product"
msiexec /i "$(winpath "$machine_rebuilt")" /qn || fail "installing the second build again exited with $?"
run_check installed machine "$version" || fail "after installing the second build"
# A build of the same version from other input (a re-signed DLL, say) has a
# package code of its own. Windows refuses its /i with 1638 (another version
# of this product is installed); Wine's msiexec treats it as maintenance.
other_build="$(dirname "$prefix")/ZobrikWTSDVC-$version-other-build-x64.msi"
cp -f "$machine_rebuilt" "$other_build" && msibuild "$other_build" -s "other build" Zobrik "x64;1033" \
    "{7A0C3E55-1D2B-4E8F-9A61-3C5B7D9E0F12}" || fail "cannot make another build"
msiexec /i "$(winpath "$other_build")" /qn
status=$?
[ "$status" -eq 0 ] || [ "$status" -eq $((1638 % 256)) ] || fail "the other build's msiexec /i exited with $status"
run_check installed machine "$version" || fail "after the other build's msiexec /i"
msiexec /x "$(winpath "$other_build")" /qn || fail "msiexec /x of the other build exited with $?"
run_check removed machine || fail "msiexec /x of the other build did not remove $version"
msiexec /i "$(winpath "$machine")" /qn || fail "msiexec /i exited with $?"

echo "== upgrade to $later"
msiexec /i "$(winpath "$machine_later")" /qn || fail "the upgrade exited with $?"
run_check installed machine "$later" || fail "after the upgrade"

echo "== an earlier version over $later"
refused "$machine_earlier" "A later version of Zobrik Remote Desktop plug-in is already installed."
run_check installed machine "$later" >/dev/null || fail "the refused earlier version changed the installation"

echo "== the per-user package while the per-machine one is installed"
refused "$user" "Zobrik Remote Desktop plug-in is installed for all users of this computer"
run_check removed user >/dev/null || fail "the refused per-user install left something behind"

echo "== repair of a deleted DLL"
rm -f "$dll"
msiexec /i "$(winpath "$machine_later")" REINSTALL=ALL REINSTALLMODE=amus /qn || fail "the repair exited with $?"
[ -f "$dll" ] || fail "the repair did not restore the DLL"
echo "ok: the DLL is back"

echo "== uninstall"
msiexec /x "$(winpath "$machine_later")" /qn || fail "msiexec /x exited with $?"
run_check removed machine || fail "the uninstall left something behind"

echo "== per-user install, the per-machine package refused, uninstall"
msiexec /i "$(winpath "$user")" /qn || fail "the per-user install exited with $?"
run_check installed user "$version" || fail "the per-user installation is not as documented"
refused "$machine" "Zobrik Remote Desktop plug-in (current user) is installed for this user"
msiexec /x "$(winpath "$user")" /qn || fail "the per-user uninstall exited with $?"
run_check removed user || fail "the per-user uninstall left something behind"
run_check removed machine >/dev/null || fail "the refused per-machine install left something behind"

"$wineserver" -k >/dev/null 2>&1
echo "PASS: ARM64 refused; install, second build, upgrade, earlier version and other scope refused, repair and uninstall"
