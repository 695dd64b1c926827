#!/bin/sh
# Gives a Wine prefix shares of this machine, as Windows would serve them:
# Wine reads "\\host\share\..." as dosdevices/unc/host/share/... of its
# prefix, so a link there is a share. For "localhost", the host's name and
# each of its IPv4 addresses: "users" (C:\users) and the administrative
# share "c$" (C:\). IPv6 addresses are left out: a UNC path writes them as
# ipv6-literal.net names, which Wine does not turn into addresses. The host
# "zobrikalias" stands for a further name of this machine that only the
# tests' registry entries make its own.
# usage: add-own-shares.sh <prefix-dir>...
set -e
if [ $# -eq 0 ]; then
    echo "usage: $0 <prefix-dir>..." >&2
    exit 2
fi
hosts="localhost zobrikalias $(hostname | cut -d. -f1 | tr 'A-Z' 'a-z')"
for address in $(hostname -I 2>/dev/null || true); do
    case "$address" in
        *:*) ;;
        *) hosts="$hosts $address" ;;
    esac
done
for prefix in "$@"; do
    if [ ! -d "$prefix/dosdevices/c:" ]; then
        echo "$0: $prefix/dosdevices/c: not found: the prefix has not been created" >&2
        exit 1
    fi
    for host in $hosts; do
        mkdir -p "$prefix/dosdevices/unc/$host"
        ln -sfn ../../c:/users "$prefix/dosdevices/unc/$host/users"
        ln -sfn ../../c: "$prefix/dosdevices/unc/$host/c\$"
    done
done
