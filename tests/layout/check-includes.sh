#!/bin/bash
# Checks the layout's two rules of inclusion.
#
# Folders include each other one way only:
#   plugin/            (the channel core; plugin/win/ is the Windows frame)
#                      may include exec/, mail/, selftest/, include/, common/
#                      and the SDK (sdk/: the channel names it shares)
#   freerdp/           (the FreeRDP frame, compiled for FreeRDP 2 and for
#                      FreeRDP 3) may include plugin/, exec/, mail/,
#                      include/, common/ and the SDK
#   exec/ mail/ selftest/   may include include/ and common/ only
#   common/            may include include/ only
#   include/           includes nothing of the project outside itself
#   server/mapi/       (the session host's provider) may include server/,
#                      include/ and the SDK (sdk/)
#   server/setup/      (the server package's setup program) may include
#                      server/ and include/
#   server/open/       (zobrik-open) may include server/, include/, the SDK
#                      and exec/ (the one reading of a URL's scheme)
#   server/            (the names the server half shares) includes nothing
#                      of the project outside itself
# and every include of another folder names it ("mail/x.h"), so that no file
# relies on a folder being an include root.
#
# The platform shows in the path: a folder's win/ subfolder is Windows code,
# its posix/ subfolder and freerdp/ are POSIX code, everything else is
# platform-free. Platform-free code includes only the C++ standard library
# and platform-free files of the project (none that includes a platform
# header); Windows code never includes POSIX code, nor the other way round.
# Prints each violation.
# usage: check-includes.sh <repository root>
set -uo pipefail
root="${1:?usage: check-includes.sh <repository root>}"
cd "$root" || exit 2

declare -A allowed=(
    [plugin]="plugin exec mail selftest include common sdk"
    [freerdp]="freerdp plugin exec mail include common sdk"
    [exec]="exec include common"
    [mail]="mail include common"
    [selftest]="selftest include common"
    [common]="common include"
    [include]="include"
    [server/mapi]="server include sdk"
    [server/setup]="server include"
    [server/open]="server include sdk exec"
    [server]="server"
)
project_folders=" plugin freerdp exec mail selftest include common server sdk "

found=()
report() { found+=("$1: $2"); }

# platform_of <path>: win, posix or free.
platform_of() {
    case "/$1" in
        */win/*) echo win ;;
        */posix/* | /freerdp/*) echo posix ;;
        *) echo free ;;
    esac
}

declare -A platform_name=([free]="platform-free" [win]="Windows" [posix]="POSIX")

# A system header outside the C++ standard library (<windows.h>,
# <sys/stat.h>, <freerdp/dvc.h>): its name has a dot or a slash.
platform_headers() { grep -oE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<[^>]*[./][^>]*>' "$1" | sed -E 's/.*(<[^>]+>).*/\1/'; }

for folder in "${!allowed[@]}"; do
    for file in "$folder"/*.h "$folder"/*.cpp "$folder"/win/*.h "$folder"/win/*.cpp \
        "$folder"/posix/*.h "$folder"/posix/*.cpp; do
        [ -f "$file" ] || continue
        file_dir="$(dirname "$file")"
        file_platform="$(platform_of "$file")"
        if [ "$file_platform" = free ]; then
            while IFS= read -r header; do
                [ -n "$header" ] && report "$file" "includes $header: platform-free code includes only the C++ standard library"
            done < <(platform_headers "$file")
        fi
        while IFS= read -r line; do
            target="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"$line")"
            if [[ "$target" == */* ]] && [[ "$project_folders" == *" ${target%%/*} "* ]]; then
                used="${target%%/*}"
                [ -f "$target" ] || report "$file" "includes \"$target\", which does not exist"
                resolved="$target"
            elif [[ "$target" == */* ]]; then
                report "$file" "includes \"$target\", which is not a folder of the product"
                continue
            else
                used="${folder%%/*}"
                resolved="$file_dir/$target"
                [ -f "$resolved" ] \
                    || report "$file" "includes \"$target\" without its folder (not in $file_dir/)"
            fi
            if [[ " ${allowed[$folder]} " != *" $used "* ]]; then
                report "$file" "includes \"$target\": $folder/ may include only ${allowed[$folder]}"
            fi
            target_platform="$(platform_of "$resolved")"
            if [ "$target_platform" != free ] && [ "$target_platform" != "$file_platform" ]; then
                report "$file" "includes \"$target\": ${platform_name[$file_platform]} code may not include ${platform_name[$target_platform]} code"
            elif [ "$file_platform" = free ] && [ -f "$resolved" ] && [ -n "$(platform_headers "$resolved")" ]; then
                report "$file" "includes \"$target\", which includes $(platform_headers "$resolved" | head -n 1): platform-free code includes only platform-free files"
            fi
        done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$file")
    done
done

if [ "${#found[@]}" -ne 0 ]; then
    printf '%s\n' "${found[@]}" | LC_ALL=C sort
    echo "FAIL: ${#found[@]} include(s) break the layout's rules"
    exit 1
fi
echo "ok: the folders include each other one way only, and the platform shows in the path"
