#!/bin/bash
# Builds the Windows tree and makes the release archive
# ZobrikWTSDVC-<version>-win64.zip and the archive of the debug files,
# ZobrikWTSDVC-<version>-win64-symbols.zip, with cpack; prints their paths and
# content and checks that they hold the (stripped) DLL and tool, the installer
# files and the debug files.
# usage: package.sh [--cert <certificate.pem> --key <key.pem>] [build-dir]
#   Without an argument: scripts/build.sh windows, archive in build/windows.
#   With a build directory: configures and builds that tree with the windows
#   preset (as scripts/build.sh does) and makes the archive there.
#   With a certificate (the options, or ZOBRIK_SIGN_CERT and ZOBRIK_SIGN_KEY)
#   the DLL, zobrik-send.exe and zobrik_remote.dll are signed with Authenticode (scripts/sign.sh)
#   before they are packed; without one the script says that they are not,
#   and without a timestamp server (ZOBRIK_SIGN_TIMESTAMP) sign.sh warns that
#   the signatures lapse with the certificate.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

cert="${ZOBRIK_SIGN_CERT:-}"
key="${ZOBRIK_SIGN_KEY:-}"
while [ $# -gt 0 ]; do
    case "$1" in
        --cert) cert="$2"; shift 2 ;;
        --key) key="$2"; shift 2 ;;
        *) break ;;
    esac
done
if { [ -n "$cert" ] && [ -z "$key" ]; } || { [ -z "$cert" ] && [ -n "$key" ]; }; then
    echo "give both a certificate and its key (--cert and --key)" >&2
    exit 2
fi

if [ $# -ge 1 ]; then
    build="$(mkdir -p "$1" && cd "$1" && pwd)"
    (cd "$root" && cmake --preset windows -B "$build" >/dev/null)
    cmake --build "$build" -j"$(nproc)"
else
    build="$root/build/windows"
    "$root/scripts/build.sh" windows
fi

msis=("$build"/bin/ZobrikWTSDVC-*-x64.msi "$build"/bin/ZobrikWTSDVC-*-x64-user.msi)
# The session host's package, with the programs and providers it installs.
server_msis=("$build"/bin/ZobrikServer-*-x64.msi)
server_files=("$build/bin/ZobrikMapi.dll" "$build/win32/bin/ZobrikMapi.dll" "$build/bin/zobrik-open.exe"
    "$build/bin/zobrik-server-setup.exe")
[ -f "${server_msis[0]}" ] || { server_msis=(); server_files=(); }
if [ -n "$cert" ]; then
    "$root/scripts/sign.sh" "$cert" "$key" "$build/bin/ZobrikWTSDVC.dll" "$build/bin/zobrik-send.exe" \
        "$build/bin/zobrik_remote.dll" "${server_files[@]}"
    # The packages take the signed files, then are signed themselves.
    cmake --build "$build" --target msi
    [ ${#server_msis[@]} -eq 0 ] || cmake --build "$build" --target server_msi
    "$root/scripts/sign.sh" "$cert" "$key" "${msis[@]}" "${server_msis[@]}"
else
    echo "NOT SIGNED: no certificate given (--cert and --key, or ZOBRIK_SIGN_CERT and ZOBRIK_SIGN_KEY);"
    echo "            the DLL, zobrik-send.exe, zobrik_remote.dll and the MSI packages carry no Authenticode signature."
fi

if ! command -v unzip >/dev/null; then
    apt-get update -qq && apt-get install -y -qq unzip >/dev/null
fi

version="$(sed -n 's/^CPACK_PACKAGE_VERSION:.*=//p; s/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' \
    "$build/CPackConfig.cmake" | head -n 1)"
[ -n "$version" ] || { echo "no CPACK_PACKAGE_VERSION in $build/CPackConfig.cmake"; exit 1; }
zip="$build/ZobrikWTSDVC-$version-win64.zip"
symbols="$build/ZobrikWTSDVC-$version-win64-symbols.zip"
rm -f "$zip" "$symbols"
(cd "$build" && cpack -G ZIP)

echo
echo "archive: $zip"
unzip -l "$zip"
echo "symbols: $symbols"
unzip -l "$symbols"
echo "developer kit: $build/ZobrikWTSDVC-$version-devkit.zip"
unzip -l "$build/ZobrikWTSDVC-$version-devkit.zip"
for msi in "${msis[@]}" "${server_msis[@]}"; do
    cp -f "$msi" "$build/"
    echo "MSI package: $build/$(basename "$msi")"
done

send_tool=''
[ -f "$build/bin/zobrik-send.exe" ] && send_tool=zobrik-send.exe
"$root/tests/install/check_package_contents.sh" "$zip" "$version" "$build/bin/ZobrikWTSDVC.dll" "$send_tool"
