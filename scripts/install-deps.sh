#!/bin/bash
# Installs what building and testing need on Debian 12 (run as root).
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
    freerdp2-dev freerdp2-x11 libwinpr2-dev dpkg-dev file
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

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    need_update=1
fi
if [ -n "${need_update:-}" ]; then
    apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
