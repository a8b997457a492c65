#!/usr/bin/env bash
# A start that can set up no single-instance guard says so in its window, once, and runs on:
# here the private folder under the temporary directory is this user's but open to others
# (mode 0755), and there is no session folder, so no safe place for the socket is left.
#
#   tests/gui/no-guard-message.sh PROGRAM     (needs a display: run it under xvfb-run -a)
set -euo pipefail

program=${1:?program}
work=$(mktemp -d /tmp/tarvoline-noguard.XXXXXX)
app_pid=
cleanup() {
    if [ -n "$app_pid" ]; then
        kill "$app_pid" 2>/dev/null || true
        wait "$app_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "no-guard-message: FAILED: $*" >&2
    sed 's/^/  | /' "$work/app.log" >&2 2>/dev/null || true
    exit 1
}
wait_for() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}
windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l; }
has_window() { [ "$(windows "$1")" -ge 1 ]; }

export HOME=$work/home XDG_CONFIG_HOME=$work/config TMPDIR=$work/tmp
unset XDG_RUNTIME_DIR
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$TMPDIR/Tarvoline-$(id -u)"
chmod 0755 "$TMPDIR/Tarvoline-$(id -u)"

QT_QPA_PLATFORM=xcb "$program" --demo --nosplash > "$work/app.log" 2>&1 &
app_pid=$!
wait_for 30 has_window ' - Tarvoline$' || fail "the window of $program did not appear"
wait_for 10 has_window '^Tarvoline$' || fail "no message says that the start runs without a guard"
sleep 1
[ "$(windows '^Tarvoline$')" = 1 ] || fail "the message came $(windows '^Tarvoline$') times"
kill -0 "$app_pid" 2>/dev/null || fail "the program ended"
grep -q "no safe place for the single-instance socket" "$work/app.log" ||
    fail "standard error does not say it either"
echo "no-guard-message: the window says once that this start runs without a guard"
