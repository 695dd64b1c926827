#!/bin/bash
# Checks the release archives. The client archive: one top folder
# ZobrikWTSDVC-<version>-win64 with the DLL (the same bytes as the built one,
# a 64-bit PE image), the installer files, the client README, the
# administrative template (policy/), docs/administrators.md, the licence and
# third-party notices, and nothing else. The developer kit beside it,
# ZobrikWTSDVC-<version>-devkit.zip, holds in the same folder bin/<send-tool>
# (the same bytes as the built one), include/zobrik/ with every SDK header,
# the C interface (bin/zobrik_remote.dll, its import library, header and
# .def), the CMake package files (lib/cmake/Zobrik/), docs/remote-applications.md, its README, the licence and notices, and
# nothing else.
# The symbols archive beside it, ZobrikWTSDVC-<version>-win64-symbols.zip,
# holds in the same folder ZobrikWTSDVC.dll.debug, bin/<send-tool>.debug and
# bin/zobrik_remote.dll.debug,
# the same bytes as the debug files built beside them, and nothing else.
# usage: check_package_contents.sh <archive.zip> <version> <built-dll> [send-tool-file-name]
set -uo pipefail
zip="$1"; version="$2"; dll="$3"; send_tool="${4:-}"
top="ZobrikWTSDVC-$version-win64"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -f "$zip" ] || { echo "FAIL: no archive at $zip"; exit 1; }
[ "$(basename "$zip")" = "$top.zip" ] || fail "archive is named $(basename "$zip"), expected $top.zip"

# The file entries (directories end in "/"), one a line.
entries="$(unzip -Z1 "$zip" | grep -v '/$')" || { echo "FAIL: cannot read $zip"; exit 1; }

expected=(ZobrikWTSDVC.dll Install-ZobrikPlugin.ps1 zobrik-plugin.reg.in
          zobrik-plugin-remove.reg zobrik-plugin-machine.reg zobrik-plugin-machine-remove.reg
          zobrik-plugin-user.reg zobrik-selftest.jpg INSTALL.md README.md
          policy/ZobrikWTSDVC.admx policy/en-US/ZobrikWTSDVC.adml policy/de-DE/ZobrikWTSDVC.adml
          LICENSE THIRD-PARTY-NOTICES third-party/mingw-w64-copyright.txt
          third-party/gcc-mingw-w64-runtime-copyright.txt docs/administrators.md)
for f in "${expected[@]}"; do
    if grep -qxF "$top/$f" <<<"$entries"; then
        echo "ok: $top/$f"
    else
        fail "$top/$f is missing"
    fi
done
while IFS= read -r entry; do
    rel="${entry#"$top/"}"
    [ "$rel" != "$entry" ] || { fail "entry outside $top/: $entry"; continue; }
    grep -qxF "$rel" <<<"$(printf '%s\n' "${expected[@]}")" || fail "unexpected file in the archive: $entry"
done <<<"$entries"

# The DLL in the archive is the built one, for x64 (PE machine 0x8664).
bin="$(dirname "$dll")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
if unzip -p "$zip" "$top/ZobrikWTSDVC.dll" >"$work/dll" 2>/dev/null && [ -s "$work/dll" ]; then
    cmp -s "$work/dll" "$dll" || fail "the archive's DLL differs from $dll"
    pe="$(od -An -tu4 -j60 -N4 "$work/dll" | tr -d ' ')"
    sig="$(od -An -c -j"$pe" -N4 "$work/dll" | tr -d ' ')"
    machine="$(od -An -tx2 -j$((pe + 4)) -N2 "$work/dll" | tr -d ' ')"
    [ "$sig" = 'PE\0\0' ] || fail "the archive's DLL has no PE signature"
    if [ "$machine" = 8664 ]; then echo "ok: DLL machine 0x$machine"; else fail "DLL machine 0x$machine, expected 0x8664"; fi
fi
unzip -p "$zip" "$top/README.md" 2>/dev/null | cmp -s - "$(dirname "$0")/../../install/README.md" \
    || fail "the client archive's README.md is not install/README.md"

# The developer kit.
devkit="${zip%-win64.zip}-devkit.zip"
if [ ! -f "$devkit" ]; then
    fail "no developer kit $devkit"
else
    sdk="$(cd "$(dirname "$0")/../../sdk" && pwd)"
    kit_expected=(README.md LICENSE THIRD-PARTY-NOTICES third-party/mingw-w64-copyright.txt
                  third-party/gcc-mingw-w64-runtime-copyright.txt docs/remote-applications.md)
    [ -n "$send_tool" ] && kit_expected+=("bin/$send_tool")
    kit_expected+=(bin/zobrik_remote.dll lib/libzobrik_remote.dll.a include/zobrik_remote.h include/zobrik_remote.def
                   lib/cmake/Zobrik/ZobrikConfig.cmake lib/cmake/Zobrik/ZobrikConfigVersion.cmake)
    for header in "$sdk"/zobrik/*.h; do
        kit_expected+=("include/zobrik/$(basename "$header")")
    done
    kit_entries="$(unzip -Z1 "$devkit" | grep -v '/$' | sort)"
    wanted="$(printf "$top/%s\n" "${kit_expected[@]}" | sort)"
    if [ "$kit_entries" = "$wanted" ]; then
        echo "ok: $(basename "$devkit") holds $(wc -l <<<"$wanted") files: the SDK headers, the C interface, the CMake package, the tool and its documents"
    else
        fail "$(basename "$devkit") holds $(tr '\n' ' ' <<<"$kit_entries"), expected $(tr '\n' ' ' <<<"$wanted")"
    fi
    for header in "$sdk"/zobrik/*.h; do
        unzip -p "$devkit" "$top/include/zobrik/$(basename "$header")" 2>/dev/null | cmp -s - "$header" \
            || fail "the kit's include/zobrik/$(basename "$header") differs from sdk/zobrik"
    done
    if [ -n "$send_tool" ]; then
        unzip -p "$devkit" "$top/bin/$send_tool" 2>/dev/null | cmp -s - "$bin/$send_tool" \
            || fail "the kit's bin/$send_tool differs from $bin/$send_tool"
    fi
    unzip -p "$devkit" "$top/bin/zobrik_remote.dll" 2>/dev/null | cmp -s - "$bin/zobrik_remote.dll" \
        || fail "the kit's bin/zobrik_remote.dll differs from $bin/zobrik_remote.dll"
fi

# The symbols archive: the debug files of the shipped files, in the same folder.
symbols="${zip%.zip}-symbols.zip"
if [ ! -f "$symbols" ]; then
    fail "no symbols archive $symbols"
else
    debug_files=(ZobrikWTSDVC.dll.debug LICENSE THIRD-PARTY-NOTICES third-party/mingw-w64-copyright.txt
                 third-party/gcc-mingw-w64-runtime-copyright.txt)
    [ -n "$send_tool" ] && debug_files+=("bin/$send_tool.debug")
    debug_files+=(bin/zobrik_remote.dll.debug)
    symbol_entries="$(unzip -Z1 "$symbols" | grep -v '/$')" || fail "cannot read $symbols"
    expected_entries="$(printf "$top/%s\n" "${debug_files[@]}" | sort)"
    if [ "$(sort <<<"$symbol_entries")" = "$expected_entries" ]; then
        echo "ok: $(basename "$symbols") holds $(tr '\n' ' ' <<<"$expected_entries")"
    else
        fail "$(basename "$symbols") holds $(tr '\n' ' ' <<<"$symbol_entries"), expected $(tr '\n' ' ' <<<"$expected_entries")"
    fi
    for f in "${debug_files[@]}"; do
        [[ "$f" == *.debug ]] || continue
        unzip -p "$symbols" "$top/$f" 2>/dev/null | cmp -s - "$bin/${f#bin/}" \
            || fail "$(basename "$symbols"): $top/$f differs from $bin/${f#bin/}"
    done
fi
# The packaged scripts are the ones of install/.
src="$(cd "$(dirname "$0")/../../install" && pwd)"
for f in Install-ZobrikPlugin.ps1 zobrik-plugin.reg.in zobrik-plugin-remove.reg; do
    unzip -p "$zip" "$top/$f" 2>/dev/null | cmp -s - "$src/$f" || fail "$top/$f differs from install/$f"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "PASS: $(basename "$zip") holds the client files, $(basename "$devkit") the developer kit, $(basename "$symbols") the debug files"
