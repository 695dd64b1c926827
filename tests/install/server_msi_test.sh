#!/bin/bash
# The server package under Wine's own msiexec, in a prefix of its own where
# another mail client is the default in each registry view and a file type
# has a ProgID of its own:
#   install without ZOBRIK_DEFAULT_MAIL: the files, the mail client key in
#     both views naming the provider of that view's bitness, zobrik-open's
#     registered application and ProgIDs, the previous defaults recorded,
#     the defaults unchanged; uninstall leaves the prefix as it was;
#   install with ZOBRIK_DEFAULT_MAIL=1 and ZOBRIK_FILE_TYPES: Zobrik is the
#     default mail client in both views; a repair and a second install keep
#     the first record (never Zobrik); uninstall puts back each default that
#     is still ours (the file type an administrator gave to Zobrik.File
#     too) and removes the record, the keys and the files;
#   before that, an upgrade to a later version (without the properties).
#     Windows removes the earlier version with UPGRADINGPRODUCTCODE set, so
#     its restore does not run and Zobrik stays the default. Wine 8's
#     RemoveExistingProducts does not set it: the earlier version restores
#     and the later one records anew; the test checks what Wine does, and
#     that the record is never Zobrik either way.
# usage: server_msi_test.sh <wine64> <wineserver> <prefix> <server.msi> <later server.msi> <registry_values.exe>
set -uo pipefail
wine64="$1"; wineserver="$2"; prefix="$3"; package="$4"; later="$5"; registry_values="$6"
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="winedbg.exe=d"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
stop() { echo "FAIL: $*"; "$wineserver" -k >/dev/null 2>&1; exit 1; }
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
msiexec() { "$wine64" msiexec "$@"; }
reg() { "$wine64" reg "$@" >/dev/null 2>&1; }

# expect <what> followed by lines "view|key|name|expected" on stdin: each
# value (HKLM, view 32 or 64, name or - for the default value) is the
# expected string, or ABSENT when the key or the value does not exist. All
# values of one call are read in one run of registry_values.
expect() {
    local what="$1" line view key name expected actual
    local -a checks=() actuals=()
    while IFS= read -r line; do
        [ -n "${line%%|*}" ] && checks+=("$line")
    done
    [ "${#checks[@]}" -gt 0 ] || return 0
    mapfile -t actuals < <(for line in "${checks[@]}"; do
        IFS='|' read -r view key name expected <<<"$line"
        printf '%s|%s|%s\n' "$view" "$key" "$name"
    done | "$wine64" "$registry_values" | tr -d '\r')
    [ "${#actuals[@]}" -eq "${#checks[@]}" ] \
        || fail "$what: registry_values answered ${#actuals[@]} of ${#checks[@]} queries: ${actuals[*]}"
    for i in "${!checks[@]}"; do
        IFS='|' read -r view key name expected <<<"${checks[$i]}"
        actual="${actuals[$i]-(no answer)}"
        if [ "$actual" = "$expected" ]; then
            echo "ok: $what: $key [$name] ($view-bit) = $expected"
        else
            fail "$what: $key [$name] ($view-bit) is '$actual', expected '$expected'"
        fi
    done
}

# files <present|absent>: the installed files.
files() {
    local file
    for file in "Program Files/Zobrik/Server/ZobrikMapi.dll" "Program Files/Zobrik/Server/zobrik-open.exe" \
        "Program Files/Zobrik/Server/zobrik-server-setup.exe" "Program Files (x86)/Zobrik/Server/ZobrikMapi.dll"; do
        if [ "$1" = present ]; then
            [ -f "$prefix/drive_c/$file" ] && echo "ok: $file" || fail "$file is missing"
        else
            [ ! -e "$prefix/drive_c/$file" ] || fail "$file is left"
        fi
    done
    if [ "$1" = absent ]; then
        [ ! -e "$prefix/drive_c/Program Files/Zobrik" ] || fail "Program Files/Zobrik is left"
        [ ! -e "$prefix/drive_c/Program Files (x86)/Zobrik" ] || fail "Program Files (x86)/Zobrik is left"
        echo "ok: no file or folder left"
    fi
}

mail='Software\Clients\Mail'
previous='Software\Zobrik\Server\Previous'
provider64='C:\Program Files\Zobrik\Server\ZobrikMapi.dll'
provider32='C:\Program Files (x86)\Zobrik\Server\ZobrikMapi.dll'
open_command='"C:\Program Files\Zobrik\Server\zobrik-open.exe" "%1"'

# What the package registers (the same after every install).
registered() {
    expect "$1" <<EOF
64|$mail\\Zobrik|-|Zobrik (the Remote Desktop client's mail program)
64|$mail\\Zobrik|DLLPath|$provider64
64|$mail\\Zobrik|DLLPathEx|$provider64
32|$mail\\Zobrik|DLLPath|$provider32
32|$mail\\Zobrik|DLLPathEx|$provider32
64|Software\\RegisteredApplications|Zobrik|Software\\Zobrik\\Server\\Capabilities
64|Software\\Zobrik\\Server\\Capabilities|ApplicationName|Zobrik (open on the Remote Desktop client)
64|Software\\Zobrik\\Server\\Capabilities\\URLAssociations|http|Zobrik.Url
64|Software\\Zobrik\\Server\\Capabilities\\URLAssociations|https|Zobrik.Url
64|Software\\Zobrik\\Server\\Capabilities\\URLAssociations|mailto|Zobrik.Url
64|Software\\Classes\\Zobrik.Url\\shell\\open\\command|-|$open_command
64|Software\\Classes\\Zobrik.File\\shell\\open\\command|-|$open_command
EOF
}

# The first record: the clients and ProgIDs in place before the package.
recorded() {
    expect "$1" <<EOF
64|$previous|MailClient|Previous Mail
64|$previous|MailClient32|Previous Mail 32
64|$previous|http|http
64|$previous|https|https
64|$previous|mailto|mailto
EOF
}

# Nothing of the package left, the previous defaults in place.
as_before() {
    expect "$1" <<EOF
64|$mail|-|Previous Mail
32|$mail|-|Previous Mail 32
64|Software\\Classes\\.zbt|-|ZbtFile
64|$mail\\Zobrik|DLLPath|ABSENT
32|$mail\\Zobrik|DLLPath|ABSENT
64|$previous|MailClient|ABSENT
64|Software\\Zobrik\\Server|InstallDir|ABSENT
64|Software\\RegisteredApplications|Zobrik|ABSENT
64|Software\\Classes\\Zobrik.Url\\shell\\open\\command|-|ABSENT
64|Software\\Classes\\Zobrik.File\\shell\\open\\command|-|ABSENT
64|Software\\Zobrik\\Server\\Capabilities\\FileAssociations|.zbt|ABSENT
64|Software\\Zobrik\\Server\\Capabilities\\FileAssociations|.zbu|ABSENT
64|Software\\Zobrik\\Server\\Capabilities|ApplicationName|ABSENT
EOF
    files absent
}

"$wineserver" -k >/dev/null 2>&1
rm -rf "$prefix"
"$(dirname "$0")/../wine/make-prefix.sh" "$wine64" "$wineserver" "$prefix" || { echo "FAIL: no Wine prefix at $prefix"; exit 1; }
"$wineserver" -p

echo "== a prefix with other defaults"
reg add "HKLM\\$mail\\Previous Mail" /v DLLPath /d 'C:\previous\mapi64.dll' /f /reg:64 || stop "reg add"
reg add "HKLM\\$mail" /ve /d "Previous Mail" /f /reg:64 || stop "reg add"
reg add "HKLM\\$mail\\Previous Mail 32" /v DLLPath /d 'C:\previous\mapi32.dll' /f /reg:32 || stop "reg add"
reg add "HKLM\\$mail" /ve /d "Previous Mail 32" /f /reg:32 || stop "reg add"
reg add 'HKLM\Software\Classes\.zbt' /ve /d ZbtFile /f || stop "reg add"
reg add 'HKLM\Software\Classes\ZbtFile\shell\open\command' /ve /d 'notepad.exe "%1"' /f || stop "reg add"

echo "== install without ZOBRIK_DEFAULT_MAIL"
msiexec /i "$(winpath "$package")" /qn || stop "msiexec /i exited with $?"
files present
registered "installed"
recorded "recorded"
expect "defaults unchanged" <<EOF
64|$mail|-|Previous Mail
32|$mail|-|Previous Mail 32
EOF
msiexec /x "$(winpath "$package")" /qn || stop "msiexec /x exited with $?"
as_before "uninstalled"

echo "== install with ZOBRIK_DEFAULT_MAIL=1 ZOBRIK_FILE_TYPES=.zbt;.zbu (.zbu has no handler)"
msiexec /i "$(winpath "$package")" ZOBRIK_DEFAULT_MAIL=1 "ZOBRIK_FILE_TYPES=.zbt;.zbu" /qn \
    || stop "msiexec /i exited with $?"
registered "installed"
recorded "recorded"
expect "default mail client, file types" <<EOF
64|$mail|-|Zobrik
32|$mail|-|Zobrik
64|$previous|.zbt|ZbtFile
64|Software\\Zobrik\\Server\\Capabilities\\FileAssociations|.zbt|Zobrik.File
64|$previous|.zbu|
64|Software\\Zobrik\\Server\\Capabilities\\FileAssociations|.zbu|Zobrik.File
EOF

echo "== an administrator gives .zbt to zobrik-open; repair; a second install"
reg add 'HKLM\Software\Classes\.zbt' /ve /d Zobrik.File /f || stop "reg add"
msiexec /i "$(winpath "$package")" REINSTALL=ALL REINSTALLMODE=amus ZOBRIK_FILE_TYPES=.zbt /qn \
    || stop "the repair exited with $?"
msiexec /i "$(winpath "$package")" ZOBRIK_DEFAULT_MAIL=1 ZOBRIK_FILE_TYPES=.zbt /qn \
    || stop "the second install exited with $?"
recorded "record kept"
expect "record kept" <<EOF
64|$previous|.zbt|ZbtFile
64|$mail|-|Zobrik
32|$mail|-|Zobrik
EOF

echo "== upgrade to $(basename "$later")"
msiexec /i "$(winpath "$later")" /qn || stop "the upgrade exited with $?"
files present
registered "upgraded"
recorded "upgraded"
expect "upgraded under Wine (the earlier version restored)" <<EOF
64|$mail|-|Previous Mail
32|$mail|-|Previous Mail 32
64|Software\\Classes\\.zbt|-|ZbtFile
EOF
msiexec /i "$(winpath "$later")" ZOBRIK_DEFAULT_MAIL=1 /qn || stop "maintenance of the later version exited with $?"
recorded "default mail client again"
expect "default mail client again" <<EOF
64|$mail|-|Zobrik
32|$mail|-|Zobrik
EOF

echo "== uninstall"
msiexec /x "$(winpath "$later")" /qn || stop "msiexec /x exited with $?"
as_before "restored"

"$wineserver" -k >/dev/null 2>&1
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "PASS: registrations in both views, the first record kept, the previous defaults back after uninstall"
