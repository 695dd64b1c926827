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

# platform_of <path>: sets platform to win, posix or free (no subshell: the
# check runs it for every include).
platform_of() {
    case "/$1" in
        */win/*) platform=win ;;
        */posix/* | /freerdp/*) platform=posix ;;
        *) platform=free ;;
    esac
}

declare -A platform_name=([free]="platform-free" [win]="Windows" [posix]="POSIX")

# A system header outside the C++ standard library (<windows.h>,
# <sys/stat.h>, <freerdp/dvc.h>): its name has a dot or a slash.
platform_include='^[[:space:]]*#[[:space:]]*include[[:space:]]*<[^>]*[./][^>]*>'
project_include='^[[:space:]]*#[[:space:]]*include[[:space:]]+"'

files=()
for folder in "${!allowed[@]}"; do
    for file in "$folder"/*.h "$folder"/*.cpp "$folder"/win/*.h "$folder"/win/*.cpp \
        "$folder"/posix/*.h "$folder"/posix/*.cpp; do
        [ -f "$file" ] && files+=("$file")
    done
done

# Each file's platform headers, read by one grep over all files rather than
# a process per include (which made the check take over a minute).
declare -A headers_of=()
declare -A read_headers=()
# read_platform_headers <file>...: records each file's platform headers,
# one a line, in headers_of.
read_platform_headers() {
    local file line match
    for file in "$@"; do read_headers[$file]=1; done
    [ "$#" -ne 0 ] || return 0
    while IFS= read -r line; do
        file="${line%%:*}"
        match="${line#*:}"
        [[ "$match" =~ (\<[^\<\>]*\>)$ ]] || continue
        headers_of[$file]+="${BASH_REMATCH[1]}"$'\n'
    done < <(grep -HoE "$platform_include" -- "$@")
}
# first_platform_header <file>: sets first_header to the file's first
# platform header, or to nothing.
first_platform_header() {
    [ -n "${read_headers[$1]+set}" ] || read_platform_headers "$1"
    first_header="${headers_of[$1]-}"
    first_header="${first_header%%$'\n'*}"
}

if [ "${#files[@]}" -ne 0 ]; then
    read_platform_headers "${files[@]}"
fi
for file in "${files[@]}"; do
    platform_of "$file"
    [ "$platform" = free ] || continue
    while IFS= read -r header; do
        [ -n "$header" ] && report "$file" "includes $header: platform-free code includes only the C++ standard library"
    done <<<"${headers_of[$file]-}"
done

include_pattern='^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)"'
check_include() {
    local file="$1" line="$2" folder file_dir file_platform target used resolved target_platform
    file_dir="${file%/*}"
    folder="$file_dir"
    folder="${folder%/win}"
    folder="${folder%/posix}"
    platform_of "$file"
    file_platform="$platform"
    if [[ "$line" =~ $include_pattern ]]; then
        target="${BASH_REMATCH[1]}"
    else
        target="$line"
    fi
    if [[ "$target" == */* ]] && [[ "$project_folders" == *" ${target%%/*} "* ]]; then
        used="${target%%/*}"
        [ -f "$target" ] || report "$file" "includes \"$target\", which does not exist"
        resolved="$target"
    elif [[ "$target" == */* ]]; then
        report "$file" "includes \"$target\", which is not a folder of the product"
        return
    else
        used="${folder%%/*}"
        resolved="$file_dir/$target"
        [ -f "$resolved" ] \
            || report "$file" "includes \"$target\" without its folder (not in $file_dir/)"
    fi
    if [[ " ${allowed[$folder]} " != *" $used "* ]]; then
        report "$file" "includes \"$target\": $folder/ may include only ${allowed[$folder]}"
    fi
    platform_of "$resolved"
    target_platform="$platform"
    if [ "$target_platform" != free ] && [ "$target_platform" != "$file_platform" ]; then
        report "$file" "includes \"$target\": ${platform_name[$file_platform]} code may not include ${platform_name[$target_platform]} code"
    elif [ "$file_platform" = free ] && [ -f "$resolved" ]; then
        first_platform_header "$resolved"
        [ -z "$first_header" ] \
            || report "$file" "includes \"$target\", which includes $first_header: platform-free code includes only platform-free files"
    fi
}

# Every project include of every file, read by one grep.
if [ "${#files[@]}" -ne 0 ]; then
    while IFS= read -r line; do
        check_include "${line%%:*}" "${line#*:}"
    done < <(grep -HE "$project_include" -- "${files[@]}")
fi

if [ "${#found[@]}" -ne 0 ]; then
    printf '%s\n' "${found[@]}" | LC_ALL=C sort
    echo "FAIL: ${#found[@]} include(s) break the layout's rules"
    exit 1
fi
echo "ok: the folders include each other one way only, and the platform shows in the path"
