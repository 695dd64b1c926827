#!/bin/bash
# Builds the .deb of the Linux tree and checks it: the add-in, byte for byte
# the built one, in FreeRDP 2's add-in folder; the documentation and the
# example policy; dependencies on xdg-utils and the FreeRDP/WinPR libraries
# the add-in links; and that it unpacks into a root where the add-in exports
# DVCPluginEntry.
# usage: check_deb_package.sh <cpack> <linux build tree> <built add-in> <add-in folder>
set -uo pipefail
cpack="$1"; tree="$2"; addin="$3"; folder="$4"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }

(cd "$tree" && "$cpack" -G DEB >cpack.log 2>&1) || { cat "$tree/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb="$(ls -t "$tree"/zobrik-freerdp_*.deb 2>/dev/null | head -1)"
[ -f "$deb" ] || { echo "FAIL: no .deb in $tree"; exit 1; }
ok "$(basename "$deb")"

contents="$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$' | sort)"
expected="$(printf '%s\n' "$folder/libzobrik-client.so" /usr/share/doc/zobrik-freerdp/LICENSE \
    /usr/share/doc/zobrik-freerdp/linux.md /usr/share/doc/zobrik-freerdp/examples/wtsdvc.conf.example | sort)"
[ "$contents" = "$expected" ] && ok "files: $(tr '\n' ' ' <<<"$contents")" || fail "files: $(tr '\n' ' ' <<<"$contents")"

depends="$(dpkg-deb -f "$deb" Depends)"
for wanted in xdg-utils libwinpr2-2 libstdc++6 "freerdp2-x11 | libfreerdp-client2-2"; do
    grep -qF "$wanted" <<<"$depends" && ok "depends on $wanted" || fail "Depends lacks $wanted: $depends"
done

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
cmp -s "$root$folder/libzobrik-client.so" "$addin" && ok "the add-in is the built one" || fail "the add-in differs from $addin"
exports="$(nm -D --defined-only "$root$folder/libzobrik-client.so" | awk '{print $3}')"
[ "$exports" = DVCPluginEntry ] && ok "exports only DVCPluginEntry" || fail "exports: $exports"

[ "$failures" -eq 0 ] && echo "PASS" || { echo "FAIL: $failures"; exit 1; }
