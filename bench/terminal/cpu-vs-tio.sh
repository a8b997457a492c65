#!/usr/bin/env bash
# The window's cost against a plain terminal program for the same traffic, X server included:
# MEGABYTES (2) of monitor-like lines at 115200 baud, written into a pseudo-terminal in packets
# every PACKET_MS (16) ms, shown first by the window, then by tio in an xterm, on one Xvfb
# server. Prints the CPU seconds (user + system, from /proc/PID/stat) of each side, the X
# server's share counted with each, and the ratio window / (tio + xterm); the target is <= 1.0.
#
#   bench/terminal/cpu-vs-tio.sh PATH/TO/tarvoline [MEGABYTES] [PACKET_MS]
# SIDES=window runs the window alone (for a quick look at a change); PROFILE=FILE records the
# window with perf into FILE.
set -euo pipefail

program=${1:?the tarvoline program}
megabytes=${2:-2}
packet_ms=${3:-16}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/tarvoline-bench.XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

ticks=$(getconf CLK_TCK)
# user + system time of a process, its threads included, in clock ticks
cpu() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
seconds() { awk -v t="$1" -v hz="$ticks" 'BEGIN {printf "%.2f", t / hz}'; }

exec {displayfd}<> <(:)
Xvfb -displayfd "$displayfd" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
pids+=("$xvfb")
read -r -t 20 display <&"$displayfd"
export DISPLAY=":$display"

# One side: start the feeder, start the viewer on its device, wait until the viewer is up,
# then count the CPU of the named processes over the feed.
run_side() {
    local name=$1
    shift
    rm -f "$work/slave" "$work/go"
    python3 "$here/line_feeder.py" "$work/slave" "$work/go" "$megabytes" "$packet_ms" &
    local feeder=$!
    for _ in $(seq 100); do [ -s "$work/slave" ] && break; sleep 0.1; done
    local slave
    slave=$(cat "$work/slave")
    "$@" "$slave" >"$work/$name.log" 2>&1 &
    local viewer=$!
    pids+=("$viewer")
    sleep 4  # the window (or xterm and tio) has opened the device and drawn itself
    local watched=("$viewer" "$xvfb" $(pgrep -P "$viewer" || true))
    local before=() after=()
    for pid in "${watched[@]}"; do before+=("$(cpu "$pid")"); done
    local started=$SECONDS
    touch "$work/go"
    wait "$feeder"
    sleep 1  # the last frame is drawn
    for pid in "${watched[@]}"; do after+=("$(cpu "$pid")"); done
    local total=0 xserver=0
    for i in "${!watched[@]}"; do
        local d=$((after[i] - before[i]))
        total=$((total + d))
        [ "${watched[i]}" = "$xvfb" ] && xserver=$d
    done
    kill "$viewer" 2>/dev/null || true
    wait "$viewer" 2>/dev/null || true
    echo "$name: $(seconds "$total") CPU s over $((SECONDS - started)) s" \
         "(X server $(seconds "$xserver") s; processes ${watched[*]})" >&2
    echo "$total"
}

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run TMPDIR=$work/tmp
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 0700 "$XDG_RUNTIME_DIR"

window() {
    if [ -n "${PROFILE:-}" ]; then
        exec perf record -g -o "$PROFILE" "$program" --nosplash --bind "COM3=$1"
    fi
    exec "$program" --nosplash --bind "COM3=$1"
}
tio_in_xterm() { exec xterm -geometry 80x30 -e tio --baudrate 115200 "$1"; }
export -f window tio_in_xterm
export program PROFILE

echo "$megabytes MB at 115200 baud, packets every $packet_ms ms" >&2
ours=$(run_side window bash -c 'window "$0"')
[ "${SIDES:-both}" = window ] && exit 0
theirs=$(run_side tio bash -c 'tio_in_xterm "$0"')
awk -v a="$ours" -v b="$theirs" -v hz="$ticks" 'BEGIN {
    printf "window + X server: %.2f CPU s; tio + xterm + X server: %.2f CPU s; ratio %.2f (target <= 1.0)\n",
           a / hz, b / hz, (b > 0 ? a / b : 0) }'
