#!/bin/bash
# One end-to-end test of the Zobrik FreeRDP add-in over RDP:
#
#   run-e2e.sh <client> <test-server> <add-in .so> <scenario> <work-dir>
#
# <client> is xfreerdp (FreeRDP 2) or xfreerdp3 (FreeRDP 3); the test server
# and the add-in are the ones built against that version.
#
# Makes a fresh work dir (TLS certificate and key, the client user's HOME,
# XDG_CONFIG_HOME, XDG_RUNTIME_DIR and the stand-ins' record folder), starts
# the test server on a free port, connects the real client under Xvfb with
# the add-in preloaded and the xdg-open/xdg-email/thunderbird stand-ins first
# on PATH (on a generic desktop, so that a real xdg-email asks the user's
# mimeapps.list for the mail program), and waits for both. Passes only when the server passed every check of the
# scenario and, after the client has exited, the add-in's staging folder
# holds no request folder.
#
# The add-in must carry the SONAME /usr/lib/x86_64-linux-gnu/freerdp<major>/
# libzobrik-client.so: FreeRDP dlopen()s that absolute path, and glibc then
# reuses the preloaded object of that name.
set -u

if [ $# -ne 5 ]; then
    echo "usage: $0 <client> <test-server> <add-in .so> <scenario> <work-dir>" >&2
    exit 2
fi
client=$1
server=$2
addin=$(readlink -f "$3")
scenario=$4
work=$5
here=$(cd "$(dirname "$0")" && pwd)

fail() {
    echo "FAIL: $*"
    exit 1
}

[ -x "$server" ] || fail "no test server at $server"
[ -f "$addin" ] || fail "no add-in at $3"
case $client in
    xfreerdp | xfreerdp3) ;;
    *) fail "the client is xfreerdp or xfreerdp3, not $client" ;;
esac
command -v "$client" >/dev/null || fail "$client is not installed (scripts/install-deps.sh)"
command -v xvfb-run >/dev/null || fail "xvfb-run is not installed"

case $work in
    "" | / | /tmp | "$HOME") fail "refusing to use $work as the work dir: it is emptied first" ;;
esac
rm -rf "$work"
mkdir -p "$work" || fail "cannot make $work"
work=$(cd "$work" && pwd)
home=$work/home
config=$home/.config
runtime=$work/runtime
record=$work/record
bin=$work/bin
mkdir -p "$home" "$config" "$runtime" "$record" "$bin" || fail "cannot make the client's folders"
chmod 0700 "$runtime"
# The scenario mail_thunderbird runs Debian's real xdg-email, which starts
# the thunderbird stand-in.
standins="xdg-open thunderbird"
[ "$scenario" = mail_thunderbird ] || standins="$standins xdg-email"
for standin in $standins; do
    cp "$here/standins/$standin" "$bin/" || fail "cannot copy the stand-in $standin"
    chmod 0755 "$bin/$standin"
done
if [ "$scenario" = mail_thunderbird ] && [ ! -x /usr/bin/xdg-email ]; then
    fail "xdg-utils is not installed (scripts/install-deps.sh)"
fi

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
    -keyout "$work/server.key" -out "$work/server.crt" >"$work/openssl.log" 2>&1 ||
    fail "openssl could not make the certificate (see $work/openssl.log)"

started=$(date +%s.%N)
: >"$work/server.log"
WLOG_LEVEL=ERROR "$server" --scenario "$scenario" --client "$client" --cert "$work/server.crt" --key "$work/server.key" \
    --home "$home" --config-home "$config" --runtime-dir "$runtime" --record-dir "$record" \
    >"$work/server.log" 2>&1 &
server_pid=$!

port=
for _ in $(seq 200); do
    port=$(sed -n 's/^LISTENING \([0-9][0-9]*\)$/\1/p' "$work/server.log")
    [ -n "$port" ] && break
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.05
done
if [ -z "$port" ]; then
    cat "$work/server.log"
    kill "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
    fail "the test server did not start listening"
fi

# LD_PRELOAD only for the client (inside xvfb-run), not for Xvfb and xauth.
# Parallel runs look for a free display from different starting numbers. The
# X authority file lives in the work dir: xvfb-run's own temporary folder
# sometimes cannot be removed at exit, and it then replaces xfreerdp's exit
# code with 5.
: >"$work/Xauthority"
timeout 60 xvfb-run -a -n $((100 + RANDOM % 800)) -f "$work/Xauthority" env \
    -u MAILER -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID -u MATE_DESKTOP_SESSION_ID -u DESKTOP_SESSION \
    LD_PRELOAD="$addin" \
    WLOG_FILTER=com.zobrik.wtsdvc:DEBUG \
    PATH="$bin:$PATH" \
    XDG_CURRENT_DESKTOP=X-Generic \
    XDG_DATA_HOME="$home/.local/share" \
    HOME="$home" \
    XDG_CONFIG_HOME="$config" \
    XDG_RUNTIME_DIR="$runtime" \
    ZOBRIK_TEST_RECORD_DIR="$record" \
    "$client" /v:127.0.0.1:"$port" /u:test /p:test /cert:ignore /dvc:zobrik /size:640x480 -wallpaper +auto-reconnect \
    </dev/null >"$work/$client.log" 2>&1
client_rc=$?

# The server ends by itself once the session is over; it is stopped only if
# it outlives the client by 15 seconds.
for _ in $(seq 150); do
    kill -0 "$server_pid" 2>/dev/null || break
    sleep 0.1
done
kill "$server_pid" 2>/dev/null
wait "$server_pid"
server_rc=$?
finished=$(date +%s.%N)

grep -E '^(ok|FAIL|server +[0-9.]+): ' "$work/server.log"
echo "$client exit code $client_rc, test server exit code $server_rc"

passed=yes
if [ "$server_rc" -ne 0 ] || grep -q '^FAIL: ' "$work/server.log" || ! grep -q '^ok: ' "$work/server.log"; then
    passed=no
    echo "FAIL: the test server's checks did not all pass (logs: $work)"
    grep -E 'ERROR|zobrik' "$work/$client.log" | head -20
fi

# The server ends the session with a logoff, after which the client exits
# with 12 (ERRINFO_LOGOFF_BY_USER); anything else means it crashed, hung (124
# from timeout) or lost the connection.
if [ "$client_rc" -ne 12 ]; then
    passed=no
    echo "FAIL: $client exited with $client_rc instead of 12 (logged off by the server)"
else
    echo "ok: $client logged off normally"
fi

# The add-in says in the client's log that it loaded and listens (the check
# docs/linux.md gives users); every scenario keeps Zobrik/mail on.
if grep -Eq '\[DEBUG\]\[com\.zobrik\.wtsdvc\] - (\[[A-Za-z]+\]: )?Zobrik/mail offered$' "$work/$client.log"; then
    echo "ok: $client's log shows the add-in offering Zobrik/mail, at DEBUG"
else
    passed=no
    echo "FAIL: $client's log lacks the add-in's line \"Zobrik/mail offered\" at DEBUG"
fi

# The add-in's lines in FreeRDP's log: refusals at INFO, ignored policy
# lines and files at WARN, events under the plug-in's name; the policy
# scenario's ignored line is the user's (there is no system-wide policy
# file); the mail scenario's policy file is one byte too long.
log_line() {  # what, then the regex of its line
    if grep -Eq "$2" "$work/$client.log"; then
        echo "ok: $client's log has $1"
    else
        passed=no
        echo "FAIL: $client's log lacks $1 ($2)"
    fi
}
case "$scenario" in
    exec) log_line "an exec refusal at INFO" '\[INFO\]\[com\.zobrik\.wtsdvc\] - (\[[A-Za-z]+\]: )?exec refused: ' ;;
    mail)
        log_line "the hand-over event" '\[com\.zobrik\.wtsdvc\] - (\[[A-Za-z]+\]: )?Zobrik WTS DVC plugin: Mail: handed over to xdg-email$'
        log_line "the too long policy file ignored at WARN" \
            '\[WARN\]\[com\.zobrik\.wtsdvc\] - (\[[A-Za-z]+\]: )?policy file ignored, longer than 256 KiB: .*/zobrik/wtsdvc\.conf$'
        ;;
    policy)
        log_line "the user's ignored policy line at WARN" \
            '\[WARN\]\[com\.zobrik\.wtsdvc\] - (\[[A-Za-z]+\]: )?Zobrik WTS DVC plugin: policy user line 8 ignored: no .=.$'
        if grep -q 'policy system line' "$work/$client.log"; then
            passed=no
            echo "FAIL: $client's log reports lines of a system-wide policy file, and there is none"
        fi
        ;;
esac

# The add-in removes its staged files when it unloads: after the client has
# exited, no request folder may be left (the staging folder itself may be).
left=$(find "$runtime/zobrik-wtsdvc" -mindepth 1 -maxdepth 1 2>/dev/null)
if [ -n "$left" ]; then
    passed=no
    echo "FAIL: left in the staging folder after $client exited:"
    find "$runtime/zobrik-wtsdvc" -mindepth 1 | head -20
else
    echo "ok: nothing left in the staging folder after $client exited"
fi

printf 'scenario %s took %.1f s\n' "$scenario" "$(echo "$finished - $started" | bc)"
if [ "$passed" = yes ]; then
    echo "PASS: $scenario"
    exit 0
fi
echo "FAIL: $scenario"
exit 1
