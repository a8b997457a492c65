#!/usr/bin/env bash
# Chooses Help > Contents in a Tarvoline window and checks which page it asks the desktop to
# open: the manual at its contents topic, file://MANUAL#topic101.
#
#   tools/help-opens-manual.sh PROGRAM MANUAL     (needs a display: run it under xvfb-run -a)
#
# PROGRAM runs with --demo (its simulated board stands for the port, so no port error box
# comes up) on settings of its own, with a stand-in xdg-open first on PATH that writes down
# what it was asked to open. Exit 0 when that is MANUAL's page, 1 otherwise.
set -euo pipefail

program=${1:?program}
manual=${2:?manual}
work=$(mktemp -d /tmp/tarvoline-help.XXXXXX)
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
    echo "help-opens-manual: FAILED: $*" >&2
    sed 's/^/  | /' "$work/app.log" >&2 2>/dev/null || true
    exit 1
}

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/bin"
chmod 700 "$XDG_RUNTIME_DIR"
cat > "$work/bin/xdg-open" <<SH
#!/bin/sh
printf '%s\n' "\$*" > "$work/opened.part" && mv "$work/opened.part" "$work/opened"
SH
chmod +x "$work/bin/xdg-open"

wait_for() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}
window=
find_window() {
    window=$(xdotool search --onlyvisible --name ' - Tarvoline$' 2>/dev/null | head -1)
    [ -n "$window" ]
}

# The keys come through the X server, so the program must be on it (not offscreen).
QT_QPA_PLATFORM=xcb PATH="$work/bin:$PATH" "$program" --demo --nosplash > "$work/app.log" 2>&1 &
app_pid=$!
wait_for 30 find_window || fail "the window of $program did not appear"
xdotool windowfocus --sync "$window"
sleep 0.5
# Help has the mnemonic H; Contents is its first item, C.
xdotool key alt+h
sleep 0.5
xdotool key c
wait_for 20 test -f "$work/opened" || fail "Help > Contents asked for nothing to be opened"

opened=$(cat "$work/opened")
expected="file://$(realpath "$manual")#topic101"
echo "Help > Contents opens $opened"
[ "$opened" = "$expected" ] || fail "expected $expected"
