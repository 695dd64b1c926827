#!/bin/bash
# clang-tidy (.clang-tidy) over the given sources, two at a time. (clang
# does not know some of GCC's warning options that the trees add.)
#
# With ZOBRIK_TIDY_ALL=1 (.ci/run sets it) every source is read. Otherwise,
# in a git checkout, only the sources that changed since the branch left
# main, committed or not, and every source when a header or .clang-tidy
# changed (a header's findings show through the sources that include it);
# outside a checkout, every source.
# usage: run-clang-tidy.sh <clang-tidy> <build dir> <repository root> <source>...
set -uo pipefail
tidy="${1:?usage}"; build="${2:?usage}"; root="${3:?usage}"; shift 3
sources=("$@")

changed_files() {
    local base
    base="$(git -C "$root" merge-base HEAD origin/main 2>/dev/null || git -C "$root" merge-base HEAD main 2>/dev/null)" \
        || return 1
    {
        git -C "$root" diff --name-only "$base"
        git -C "$root" ls-files --others --exclude-standard
    } | sort -u
}

selected=("${sources[@]}")
if [ "${ZOBRIK_TIDY_ALL:-0}" != 1 ] && changed="$(changed_files)"; then
    if ! grep -qE '(\.h|^\.clang-tidy)$' <<<"$changed"; then
        selected=()
        for source in "${sources[@]}"; do
            grep -qxF "${source#"$root"/}" <<<"$changed" && selected+=("$source")
        done
    fi
    echo "clang-tidy: ${#selected[@]} of ${#sources[@]} sources (changed since main; ZOBRIK_TIDY_ALL=1 reads all)"
else
    echo "clang-tidy: all ${#sources[@]} sources"
fi
[ "${#selected[@]}" -eq 0 ] && exit 0
printf '%s\0' "${selected[@]}" | xargs -0 -n 4 -P 2 "$tidy" -p "$build" --quiet --extra-arg=-Wno-unknown-warning-option
