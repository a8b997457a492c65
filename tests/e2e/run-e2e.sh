#!/usr/bin/env bash
# The terminal window against the simulated board, driven with the keyboard as a user would:
# a monitor command answered into a capture file, Post Link and Load of the example program,
# Send Special Characters, Paste Date & Time, and capture start, pause, resume and stop.
#
#   tests/e2e/run-e2e.sh BUILD_FOLDER      (needs a display: run it under xvfb-run)
#
# On failure it leaves its folder (settings, capture, screenshots, the program's output) and
# names it.
set -euo pipefail

build=$(cd "${1:?build folder}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/tarvoline-e2e.XXXXXX)
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME/Hollowbrook Works" "$XDG_RUNTIME_DIR" "$work/shots"
chmod 700 "$XDG_RUNTIME_DIR"
capture=$work/capture.txt
app_pid=

fail() {
    echo "e2e: FAILED: $*" >&2
    import -window root "$work/shots/failure.png" 2>/dev/null || true
    echo "e2e: what the program and the board said:" >&2
    sed 's/^/  | /' "$work/app.log" >&2 || true
    echo "e2e: the capture file:" >&2
    sed 's/^/  | /' "$capture" >&2 2>/dev/null || true
    echo "e2e: left in $work" >&2
    exit 1
}
cleanup() { [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true; }
trap cleanup EXIT

# Waits up to $1 seconds for the command in the remaining arguments to succeed.
wait_for() {
    local seconds=$1
    shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}
captured() { grep -qF -- "$1" "$capture" 2>/dev/null; }
logged() { grep -qF -- "$1" "$work/app.log"; }
# One key at a time: a menu that is still opening would lose a key sent on its heels.
key() {
    local k
    for k in "$@"; do
        xdotool key "$k"
        sleep 0.3
    done
}
type_text() { xdotool type --delay 60 "$1"; sleep 0.2; }
shot() { import -window root "$work/shots/$1.png" 2>/dev/null || true; }

# Capture writes to a fixed file, overwriting it, without the text already shown: Start asks
# nothing.
cat > "$XDG_CONFIG_HOME/Hollowbrook Works/Tarvoline.conf" <<CONF
[Transfer]
Prompt%20For%20Filename=2
Prompt%20Path%20Name=$capture
Write%20Mode=2
Include%20Buffer%20Text=3
CONF
cp "$source_dir/examples/demo.Bin" "$source_dir/examples/demo.MAP" "$work/"

"$build/tarvoline" --demo --nosplash > "$work/app.log" 2>&1 &
app_pid=$!
window=
find_window() { window=$(xdotool search --onlyvisible --name ' - Tarvoline$' 2>/dev/null | head -1); [ -n "$window" ]; }
wait_for 20 find_window || fail "the window did not appear"
# Without a window manager nothing gives the focus back after a dialog; a user would click.
refocus() { xdotool windowfocus --sync "$window"; sleep 0.3; }
refocus
sleep 1
wait_for 10 logged "Demo: " || fail "the simulated board did not start"

# The Transfer menu has no mnemonic: open Help and step left. (Alt+F would not do: File and
# Format share the F, and a second Alt+F opens Format.) Its items by keys: Post Link and Load,
# Post Link, Load Hex, Load CPM68K, Load Program, Load Again (greyed, and so skipped, until a
# load has run), Load on Rebuild, Send Break, Send Special Characters, Capture Text (separators
# are skipped).
open_transfer_menu() {
    key alt+h Left
}
loaded=no
open_capture_menu() {
    open_transfer_menu
    if [ "$loaded" = yes ]; then
        key Down Down Down Down Down Down Down Down Down Right
    else
        key Down Down Down Down Down Down Down Down Right
    fi
}

echo "e2e: capture start"
open_capture_menu
key Return                                   # Start, the first item
wait_for 5 test -e "$capture" || fail "capture did not start"

echo "e2e: a monitor command and its answer"
type_text "help"
key Return
wait_for 10 captured "Commands:" || fail "the board's answer to help is not in the capture"

echo "e2e: Post Link and Load of the example"
open_transfer_menu
shot transfer-menu
key l                                        # Post &Link and Load...
sleep 1
shot open-dialog
type_text "$work/demo.Bin"
key Return
wait_for 30 logged "program started at 00020000" || fail "the example was not loaded and started"
[ -s "$work/demo.RUN" ] || fail "no demo.RUN was written"
loaded=yes
refocus
type_text "md 20000 10"
key Return
first_bytes=$(od -An -tx1 -j28 -N8 "$work/demo.RUN" | tr -s ' ' | sed 's/^ //' | tr 'a-f' 'A-F')
wait_for 10 captured "$first_bytes" || fail "the board's memory does not hold the image ($first_bytes)"

echo "e2e: another program asks the running one for Post Link and Load"
starts() { grep -c "program started at 00020000" "$work/app.log" || true; }
before=$(starts)
timeout 20 "$build/tarvoline" --postlink-load || fail "the second start did not hand over and end"
find_dialog() { dialog=$(xdotool search --onlyvisible --name '^Open$' 2>/dev/null | head -1); [ -n "$dialog" ]; }
wait_for 10 find_dialog || fail "the running program did not open its file dialog"
xdotool windowfocus --sync "$dialog"
sleep 0.3
type_text "$work/demo.Bin"
key Return
more_starts() { [ "$(starts)" -gt "$before" ]; }
wait_for 30 more_starts || fail "the handed-over Post Link and Load did not load and start"
refocus

echo "e2e: Send Special Characters"
open_transfer_menu
key Down Down Down Down Down Down Down Down Return  # Send Special Characters...
sleep 1
shot special
type_text "41"                               # hex, the mode it opens in: A
key Return                                   # Enter acts as Send Char
refocus
key Return
wait_for 10 captured "What? A" || fail "the special character A did not reach the board"

echo "e2e: Paste Date & Time"
key alt+e                                    # Paste is first: Copy is greyed without a selection
key Down Return                              # Paste Date & Time...
sleep 1
shot datetime
key Return                                   # the DATE command is preselected
refocus
wait_for 10 captured "DATE $(date +%m/%d/%Y)" || fail "the board's clock was not set"

echo "e2e: capture pause, resume, stop"
open_capture_menu
key Down Return                              # Pause (after Stop; Start is greyed)
type_text "paused"
key Return
sleep 1
open_capture_menu
key Down Return                              # Resume (after Stop; Pause is greyed)
type_text "resumed"
key Return
wait_for 10 captured "What? resumed" || fail "capture did not resume"
if captured "paused"; then fail "text shown while paused was captured"; fi
open_capture_menu
key Return                                   # Stop
sleep 0.5
size=$(stat -c %s "$capture")
type_text "after"
key Return
sleep 1
[ "$(stat -c %s "$capture")" = "$size" ] || fail "capture went on after Stop"
if LC_ALL=C grep -q $'\r\r' "$capture"; then fail "the capture file has CR CR LF line ends"; fi
shot final

echo "e2e: exit"
key alt+e Left x                             # File, E&xit
wait_for 10 sh -c "! kill -0 $app_pid 2>/dev/null" || fail "the program did not end"
wait "$app_pid" || fail "the program ended with an error"
app_pid=
echo "e2e: passed"
rm -rf "$work"
