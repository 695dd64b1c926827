#!/bin/bash
# Checks that the product's folders include each other one way only:
#   plugin/            may include exec/, mail/, selftest/, include/, common/
#                      and the SDK (sdk/: the channel names it shares)
#   freerdp/           (the Linux add-in's frame) may include plugin/ (its
#                      platform-free logic), exec/, mail/, include/, common/
#                      and the SDK
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
# and that every include of another folder names it ("mail/x.h"), so that no
# file relies on a folder being an include root. Prints each violation.
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

violations=0
report() { echo "$1: $2"; violations=$((violations + 1)); }

for folder in "${!allowed[@]}"; do
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [ -f "$file" ] || continue
        while IFS= read -r line; do
            target="$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/' <<<"$line")"
            if [[ "$target" == */* ]]; then
                used="${target%%/*}"
                if [[ "$project_folders" != *" $used "* ]]; then
                    report "$file" "includes \"$target\", which is not a folder of the product"
                    continue
                fi
                [ -f "$target" ] || report "$file" "includes \"$target\", which does not exist"
            else
                used="$folder"
                [ -f "$folder/$target" ] \
                    || report "$file" "includes \"$target\" without its folder (not in $folder/)"
            fi
            if [[ " ${allowed[$folder]} " != *" $used "* ]]; then
                report "$file" "includes \"$target\": $folder/ may include only ${allowed[$folder]}"
            fi
        done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"' "$file")
    done
done

if [ "$violations" -ne 0 ]; then
    echo "FAIL: $violations include(s) break the folder rules"
    exit 1
fi
echo "ok: the folders include each other one way only"
