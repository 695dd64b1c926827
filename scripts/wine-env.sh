# Sourced by the scripts that run programs under Wine: sets wine64, the
# project's prefix in build/windows and creates it when missing.
wine64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
export WINEPREFIX="$root/build/windows/wineprefix" WINEDEBUG=-all DISPLAY=
"$root/tests/wine/make-prefix.sh" "$wine64" "$wineserver" "$WINEPREFIX"
bin="$root/build/windows/bin"
