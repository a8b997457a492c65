#!/usr/bin/env bash
# Loads on slow links, and whether "started" is ever claimed for a program the board did not
# start.
#   bench/download/slow_link_load.sh [BUILD_FOLDER] [LOADS_UNDER_LOAD]
#
# 1. Through pty-delay-relay in front of `vivaz-sim --pace`, at round trips of 0, 16 and 100 ms
#    (a 600 KiB image) and of 300 and 1000 ms (60 KiB): did `tarvoline-cli load` succeed, and
#    the payload rate of its blocks over the stop-and-wait limit. The LOAD sends one block of
#    1024 bytes per request of the board, so a block costs its time on the line (1028 bytes at
#    115200 8N2, 98.2 ms) plus one round trip. The payload rate is measured as the difference
#    of two loads, the image and a single block, so that the wake-up, the command and the
#    board's answers (a few round trips each) do not count against the blocks.
# 2. LOADS_UNDER_LOAD (100) loads of a small image into the board on a direct line while two
#    busy loops hold both cores: how many times the tool said "Loaded and started" and how
#    many of those starts the board's own notes confirm.
set -euo pipefail
build=${1:-build}
loads=${2:-100}
cli="$build/tarvoline-cli"
sim="$build/vivaz-sim"
relay="$build/pty-delay-relay"
for program in "$cli" "$sim" "$relay"; do
    [ -x "$program" ] || { echo "slow_link_load: $program is missing; build first" >&2; exit 1; }
done

work=$(mktemp -d)
board_pid=""
relay_pid=""
busy_pids=()
cleanup() {
    [ -n "$relay_pid" ] && kill "$relay_pid" 2>/dev/null || true
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
    for p in "${busy_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
# The tool reads the user's settings; a scratch home keeps the user's own out of the figures.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"

download_baud=115200
block_ms=98.2

# A load file with the 28-byte header (magic 601A, text size, text start 00020000), then
# `bytes` bytes of image.
make_image() {
    local bytes=$1 file=$2
    {
        printf '\x60\x1a'
        printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((bytes >> 24 & 255)) \
            $((bytes >> 16 & 255)) $((bytes >> 8 & 255)) $((bytes & 255)))"
        printf '\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
        printf '\x00\x02\x00\x00\x00\x00'
        head -c "$bytes" /dev/urandom
    } > "$file"
}

# The first line a program prints, waited for.
first_line() {
    local file=$1
    for _ in $(seq 200); do
        line=$(head -n 1 "$file" 2>/dev/null || true)
        [ -n "$line" ] && { echo "$line"; return 0; }
        sleep 0.05
    done
    return 1
}

start_board() {
    "$sim" "$@" > "$work/board.out" &
    board_pid=$!
    board_device=$(first_line "$work/board.out") || { echo "slow_link_load: no board" >&2; exit 1; }
}
start_relay() {
    "$relay" --device "$board_device" --round-trip "$1" > "$work/relay.out" 2> "$work/relay.err" &
    relay_pid=$!
    device=$(first_line "$work/relay.out") || { echo "slow_link_load: no relay" >&2; exit 1; }
}
stop_all() {
    for pid in "$relay_pid" "$board_pid"; do
        [ -n "$pid" ] && { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
    done
    relay_pid=""
    board_pid=""
}
now() { date +%s.%N; }
load() {
    "$cli" load --port "$device" --baud 9600 --download-baud "$download_baud" "$1" \
        > /dev/null 2>> "$work/load.err"
}

make_image 1024 "$work/one.RUN"
for setting in "0 600" "16 600" "100 600" "300 60" "1000 60"; do
    read -r rtt kib <<< "$setting"
    make_image $((kib * 1024)) "$work/image.RUN"
    start_board --pace
    start_relay "$rtt"
    : > "$work/load.err"
    t0=$(now)
    if load "$work/one.RUN"; then one_ok=1; else one_ok=0; fi
    t1=$(now)
    if load "$work/image.RUN"; then big_ok=1; else big_ok=0; fi
    t2=$(now)
    stop_all
    if [ "$one_ok$big_ok" = 11 ]; then
        awk -v kib="$kib" -v rtt="$rtt" -v t0="$t0" -v t1="$t1" -v t2="$t2" -v block="$block_ms" \
            'BEGIN { one = t1 - t0; big = t2 - t1; bytes = (kib - 1) * 1024; rate = bytes / (big - one);
                     limit = 1024 / ((block + rtt) / 1000);
                     printf "round trip %4d ms, %3d KiB: loaded in %6.1f s; blocks at %6.0f bytes/s of %6.0f, %.3f of the stop-and-wait limit\n",
                            rtt, kib, big, rate, limit, rate / limit }'
    else
        echo "round trip $rtt ms, $kib KiB: FAILED: $(tail -n 2 "$work/load.err" | tr '\n' ' ')"
    fi
done

make_image 4096 "$work/small.RUN"
for _ in 1 2; do
    ( while :; do :; done ) &
    busy_pids+=($!)
done
start_board
device=$board_device
: > "$work/load.err"
claimed=0
for _ in $(seq "$loads"); do
    if load "$work/small.RUN"; then claimed=$((claimed + 1)); fi
done
sleep 1  # the board's note of the last start
stop_all
confirmed=$(grep -c "program started at" "$work/board.out" || true)
echo "direct line, both cores busy: $claimed of $loads loads claimed \"started\"; the board confirms $confirmed starts"
[ "$confirmed" -ge "$claimed" ] || echo "  UNTRUE: $((claimed - confirmed)) starts claimed that the board never saw"
[ -s "$work/load.err" ] && sed 's/^/  tarvoline-cli: /' "$work/load.err" | sort | uniq -c | head
exit 0
