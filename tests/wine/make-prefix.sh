#!/bin/sh
# Creates the Wine prefixes that the Windows tests run in: each named prefix
# that does not exist yet.
#
# With ZOBRIK_WINE_TEMPLATE naming a prefix booted once (make-prefix.sh
# --template, the wine_template fixture), a new prefix is a copy of it: the
# files Wine writes (registry, .ini files, everything that is not a program,
# a library or a locale table) are copied, the binaries are hard links to the
# template's. A wineboot costs 12-30 s of a busy machine, a copy of all
# 700 MB 5-18 s (it is bound by the disk), this copy about 1 s. Nothing
# writes a prefix's binaries in place (the stand-ins are installed by writing
# a new file and renaming it over the old one); a write that did would show
# in the template, whose copies are then refused.
#
# Without ZOBRIK_WINE_TEMPLATE each prefix is booted, side by side: wineboot
# spends most of its time waiting, so four take little longer than one.
#
# --template boots the one prefix named when it is missing, was booted for
# another version of Wine, or is not known to be untouched since its boot.
# usage: make-prefix.sh [--template] <wine64> <wineserver> <prefix-dir>...
set -e
make_template=0
if [ "${1:-}" = --template ]; then
    make_template=1
    shift
fi
wine64="${1:-}"; wineserver="${2:-}"
if [ -z "$wine64" ] || [ -z "$wineserver" ] || [ $# -lt 3 ] || { [ $make_template = 1 ] && [ $# -ne 3 ]; }; then
    echo "usage: $0 [--template] <wine64> <wineserver> <prefix-dir>..." >&2
    exit 2
fi
shift 2
export WINEDEBUG=-all DISPLAY=
# Written into a template once it is booted: a shared file newer than it was
# written through a copy.
booted_stamp=.zobrik-booted

boot() {
    WINEPREFIX="$1"
    export WINEPREFIX
    rm -rf "$1"
    "$wine64" wineboot -i >/dev/null 2>&1 || true
    "$wineserver" -w
    if [ ! -f "$1/system.reg" ]; then
        echo "$0: wineboot did not create $1" >&2
        return 1
    fi
}

# shared_files <prefix> <find condition>...: the files of the prefix that its
# copies share (programs, libraries, locale tables) and that meet the
# condition.
shared_files() {
    dir="$1"
    shift
    find "$dir" -type f \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' -o -iname '*.nls' \) "$@"
}

template_written() {
    [ -n "$(shared_files "$1" -newer "$1/$booted_stamp" -print -quit)" ]
}

# Wine updates a prefix whose .update-timestamp (a line with the time of its
# wine.inf when it was booted) differs from the time of its wine.inf.
wine_inf_time() {
    for inf in "$(dirname "$wine64")/../../share/wine/wine.inf" /usr/share/wine/wine.inf /usr/local/share/wine/wine.inf; do
        if [ -f "$inf" ]; then
            stat -c %Y "$inf"
            return
        fi
    done
}

if [ $make_template = 1 ]; then
    template="$1"
    if [ -f "$template/system.reg" ] && [ -f "$template/$booted_stamp" ]; then
        if template_written "$template"; then
            echo "$0: files of the template $template, shared with its copies, changed after its boot:" >&2
            shared_files "$template" -newer "$template/$booted_stamp" -print >&2
            echo "$0: the copies are spoilt as well: remove every wineprefix* of the build tree" >&2
            exit 1
        fi
        inf_time="$(wine_inf_time)"
        if [ -z "$inf_time" ] || [ "$(tr -d '\r\n' 2>/dev/null <"$template/.update-timestamp")" = "$inf_time" ]; then
            exit 0
        fi
    fi
    boot "$template"
    touch "$template/$booted_stamp"
    exit 0
fi

template="${ZOBRIK_WINE_TEMPLATE:-}"
if [ -n "$template" ]; then
    if [ ! -f "$template/system.reg" ] || [ ! -f "$template/$booted_stamp" ]; then
        echo "$0: the template prefix $template has not been booted (make-prefix.sh --template)" >&2
        exit 1
    fi
    if template_written "$template"; then
        echo "$0: files of the template $template, shared with its copies, changed after its boot" >&2
        exit 1
    fi
    for prefix in "$@"; do
        # A copy of an earlier template for another version of Wine is made
        # again: Wine would update the files it shares in place.
        # The file "wineserver" names the prefix's server directory (a random
        # name under /tmp): a copy that kept it would share the template's
        # Wine server, and every copy each other's. Wine makes a new one.
        if [ -f "$prefix/system.reg" ] && cmp -s "$prefix/.update-timestamp" "$template/.update-timestamp"; then
            if cmp -s "$prefix/wineserver" "$template/wineserver"; then
                rm -f "$prefix/wineserver"
            fi
            continue
        fi
        rm -rf "$prefix" "$prefix.new"
        cp -al "$template" "$prefix.new"
        rm -f "$prefix.new/$booted_stamp" "$prefix.new/wineserver"
        find "$prefix.new" -type f -links +1 ! \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
            -o -iname '*.nls' \) -exec sh -c 'for file; do cp -p "$file" "$file.own" && mv -f "$file.own" "$file"; done' sh {} +
        mv "$prefix.new" "$prefix"
    done
    exit 0
fi

pids=
for prefix in "$@"; do
    if [ ! -f "$prefix/system.reg" ]; then
        boot "$prefix" &
        pids="$pids $!"
    fi
done
status=0
for pid in $pids; do
    wait "$pid" || status=1
done
exit $status
