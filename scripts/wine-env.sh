# Sourced by the scripts that run programs under Wine (demo, bench): sets
# wine64 and bin, and WINEPREFIX to the prefix in build/windows whose system
# directory holds the recording Simple MAPI stand-in (the plug-in loads
# MAPI32.dll from the system directory alone), the same one the tests use;
# creates it when missing and installs the stand-in built last.
# WINEDLLOVERRIDES=mapi32=n makes Wine take that file over its builtin.
wine64="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(command -v wineserver || echo /usr/lib/wine/wineserver)"
bin="$root/build/windows/bin"
export WINEPREFIX="$root/build/windows/wineprefix-mapi-recording" WINEDEBUG=-all DISPLAY=
export WINEDLLOVERRIDES=mapi32=n
"$root/tests/wine/make-prefix.sh" "$wine64" "$wineserver" "$WINEPREFIX"
"$root/tests/wine/install-mapi-standin.sh" "$WINEPREFIX" "$bin/mapi-recording/MAPI32.dll"
