#!/bin/bash
# Installs the WHATWG URL standard's reference implementation (whatwg-url,
# the version of reference/package-lock.json) from the npm registry into
# <folder>, for the differential test of the URL normaliser. Does nothing
# when that version is already there; retries a failed download.
# usage: install-reference.sh <folder>
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
target="$1"
mkdir -p "$target"
if cmp -s "$here/reference/package-lock.json" "$target/package-lock.json" &&
    [ -f "$target/node_modules/whatwg-url/package.json" ]; then
    exit 0
fi
cp "$here/reference/package.json" "$here/reference/package-lock.json" "$target/"
for attempt in 1 2 3; do
    if (cd "$target" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error); then
        exit 0
    fi
    echo "npm ci failed (attempt $attempt)" >&2
    sleep $((attempt * 5))
done
rm -f "$target/package-lock.json"  # the next run tries again
exit 1
