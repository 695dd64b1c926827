#!/bin/bash
# Installs what building and testing need on Debian 12 (run as root): both
# FreeRDP 2 (Debian 12's own) and FreeRDP 3 (from Debian 12's backports
# suite, which this script enables), side by side.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    wine64 wine32:i386
    googletest libgtest-dev
    clang libclang-rt-14-dev clang-format clang-tidy
    xvfb xauth xdotool imagemagick x11-utils
    unzip zip osslsigncode openssl wixl msitools
    libxml2-utils
    mono-mcs python3
    freerdp2-dev freerdp2-x11 libwinpr2-dev dpkg-dev file binutils
    xdg-utils
    libidn2-dev
)
# Node.js and npm run the URL test's reference parser. A machine that has
# them already (Debian's packages or another distribution of Node.js, which
# Debian's npm package would conflict with) keeps its own.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

# 32-bit programs under Wine (the session host's 32-bit Simple MAPI provider
# and its tests) need wine32, a package of the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=1
fi

# FreeRDP 3.10 for the second add-in, its end-to-end tests (xfreerdp3, the
# server library) and its package; taken from bookworm-backports by name.
backports_packages=(freerdp3-dev freerdp3-x11 libfreerdp-server3-3 libwinpr3-dev)

not_installed() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}
mapfile -t missing < <(not_installed "${packages[@]}")
mapfile -t missing_backports < <(not_installed "${backports_packages[@]}")
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ] || [ ${#missing_backports[@]} -gt 0 ]; then
    need_update=1
fi
if [ -n "${need_update:-}" ]; then
    apt-get update -qq
fi

# The backports suite: a sources entry beside the system's own, on the same
# mirror as its bookworm main (backports packages are only installed when
# named with -t, so nothing else changes).
backports_enabled() { apt-cache policy | awk '$3 == "bookworm-backports/main" {found = 1} END {exit !found}'; }
if [ ${#missing_backports[@]} -gt 0 ] && ! backports_enabled; then
    mirror="$(apt-cache policy | awk '$3 == "bookworm/main" {print $2; exit}')"
    if [ -z "$mirror" ]; then
        echo "no bookworm main entry in apt's sources: cannot add bookworm-backports" >&2
        exit 1
    fi
    echo "enabling bookworm-backports ($mirror)"
    cat >/etc/apt/sources.list.d/bookworm-backports.sources <<SOURCES
Types: deb
URIs: $mirror
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_backports[@]} -gt 0 ]; then
    echo "installing from bookworm-backports: ${missing_backports[*]}"
    apt-get install -y -qq --no-install-recommends -t bookworm-backports "${missing_backports[@]}"
fi
