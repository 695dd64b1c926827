#!/bin/bash
# Builds the two .debs of the Linux tree and checks them: zobrik-freerdp
# (FreeRDP 2) and zobrik-freerdp3 (FreeRDP 3), each with its add-in, byte for
# byte the built one, in its FreeRDP's add-in folder; the documentation and
# the example policy in its own documentation folder; dependencies on
# xdg-utils, its FreeRDP client and the WinPR library its add-in links (and
# not the other version's); an add-in that exports DVCPluginEntry only; and
# that both install side by side into an empty dpkg root.
# usage: check_deb_package.sh <cpack> <linux build tree>
#            <FreeRDP 2 add-in> <its folder> <FreeRDP 3 add-in> <its folder>
set -uo pipefail
cpack="$1"; tree="$2"
declare -A addin=([2]="$3" [3]="$5") folder=([2]="$4" [3]="$6")
declare -A package=([2]=zobrik-freerdp [3]=zobrik-freerdp3)
declare -A client=([2]="freerdp2-x11 | libfreerdp-client2-2" [3]="freerdp3-x11 | libfreerdp-client3-3")
declare -A other=([2]=3 [3]=2)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT

rm -f "$tree"/zobrik-freerdp*.deb
(cd "$tree" && "$cpack" -G DEB >cpack.log 2>&1) || { cat "$tree/cpack.log"; echo "FAIL: cpack"; exit 1; }

debs=()
for major in 2 3; do
    name="${package[$major]}"
    deb="$(ls "$tree/${name}"_*.deb 2>/dev/null | head -1)"
    [ -f "$deb" ] || { fail "no ${name}_*.deb in $tree"; continue; }
    debs+=("$deb")
    ok "$(basename "$deb")"
    [ "$(dpkg-deb -f "$deb" Package)" = "$name" ] && ok "$name: package name" ||
        fail "$name: package name $(dpkg-deb -f "$deb" Package)"

    contents="$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$' | sort)"
    doc="/usr/share/doc/$name"
    expected="$(printf '%s\n' "${folder[$major]}/libzobrik-client.so" "$doc/LICENSE" "$doc/linux.md" \
        "$doc/examples/wtsdvc.conf.example" | sort)"
    [ "$contents" = "$expected" ] && ok "$name: files: $(tr '\n' ' ' <<<"$contents")" ||
        fail "$name: files: $(tr '\n' ' ' <<<"$contents")"

    depends="$(dpkg-deb -f "$deb" Depends)"
    for wanted in xdg-utils "libwinpr${major}-${major}" libstdc++6 "${client[$major]}"; do
        grep -qF "$wanted" <<<"$depends" && ok "$name: depends on $wanted" || fail "$name: Depends lacks $wanted: $depends"
    done
    o="${other[$major]}"
    grep -qE "freerdp${o}|winpr${o}" <<<"$depends" && fail "$name: depends on FreeRDP $o: $depends" ||
        ok "$name: no dependency on FreeRDP $o"

    unpacked="$root/unpacked-$major"
    dpkg-deb -x "$deb" "$unpacked"
    installed="$unpacked${folder[$major]}/libzobrik-client.so"
    cmp -s "$installed" "${addin[$major]}" && ok "$name: the add-in is the built one" ||
        fail "$name: the add-in differs from ${addin[$major]}"
    exports="$(nm -D --defined-only "$installed" | awk '{print $3}')"
    [ "$exports" = DVCPluginEntry ] && ok "$name: exports only DVCPluginEntry" || fail "$name: exports: $exports"
    needed="$(objdump -p "$installed" | awk '/NEEDED/ {print $2}' | tr '\n' ' ')"
    grep -q "libwinpr${major}\.so" <<<"$needed" && ! grep -qE "(freerdp|winpr)${o}\.so" <<<"$needed" &&
        ok "$name: links WinPR $major only ($needed)" || fail "$name: links $needed"
done

# Side by side: both packages install together into an empty dpkg root
# (their dependencies are not installed there), which dpkg refuses when one
# file belongs to both.
if [ "${#debs[@]}" -eq 2 ]; then
    admin="$root/target/var/lib/dpkg"
    mkdir -p "$admin/info" "$admin/updates"
    : >"$admin/status"
    if dpkg --root="$root/target" --force-not-root --force-depends --force-script-chrootless \
        --log=/dev/null -i "${debs[@]}" >"$root/dpkg.log" 2>&1; then
        states="$(dpkg-query --admindir="$admin" -W -f='${Package}:${Status}\n' | LC_ALL=C sort | tr '\n' ' ')"
        [ "$states" = "zobrik-freerdp3:install ok installed zobrik-freerdp:install ok installed " ] &&
            ok "both packages install side by side" || fail "after installing both: $states"
    else
        fail "both packages do not install side by side: $(grep -iE 'error|overwrite' "$root/dpkg.log" | head -3)"
    fi
fi

[ "$failures" -eq 0 ] && echo "PASS" || { echo "FAIL: $failures"; exit 1; }
