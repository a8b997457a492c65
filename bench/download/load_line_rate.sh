#!/usr/bin/env bash
# How close a LOAD comes to the line's limit on a board that runs at the real rate, and how
# reliably it completes on a busy machine.
#   bench/download/load_line_rate.sh [BUILD_FOLDER] [LOADS_UNDER_LOAD]
#
# 1. A 600 KiB image into `vivaz-sim --pace` at 115200 download baud (8N2, 11 bits a byte):
#    payload bytes per second of the whole `tarvoline-cli load` (wake-up, command, blocks,
#    completion) over the line's limit of 115200 / 11 bytes per second, with the board's bytes
#    reaching the host at once (--latency 0) and through a 16 ms latency timer (--latency 16).
# 2. The same image loaded 8 times into the unpaced board while two busy loops hold both
#    cores: how many loads succeed.
set -euo pipefail
build=${1:-build}
loads=${2:-8}
cli="$build/tarvoline-cli"
sim="$build/vivaz-sim"
for program in "$cli" "$sim"; do
    [ -x "$program" ] || { echo "load_line_rate: $program is missing; build first" >&2; exit 1; }
done

work=$(mktemp -d)
board_pid=""
busy_pids=()
cleanup() {
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
    for p in "${busy_pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

image_bytes=$((600 * 1024))
download_baud=115200
# A load file with the 28-byte header: magic 601A, text size, data 0, bss 0, symbols 0,
# reserved 0, text start 00020000, flags 0; then the image.
{
    printf '\x60\x1a'
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((image_bytes >> 24 & 255)) \
        $((image_bytes >> 16 & 255)) $((image_bytes >> 8 & 255)) $((image_bytes & 255)))"
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf '\x00\x02\x00\x00\x00\x00'
    head -c "$image_bytes" /dev/urandom
} > "$work/image.RUN"

# Starts a board with the given options; sets board_pid and device.
start_board() {
    "$sim" --quiet "$@" > "$work/board.out" &
    board_pid=$!
    for _ in $(seq 100); do
        device=$(head -n 1 "$work/board.out" 2>/dev/null || true)
        [ -n "$device" ] && return 0
        sleep 0.05
    done
    echo "load_line_rate: the simulated board did not start" >&2
    exit 1
}
stop_board() {
    kill "$board_pid" 2>/dev/null || true
    wait "$board_pid" 2>/dev/null || true
    board_pid=""
}
load() {
    "$cli" load --port "$device" --baud 9600 --download-baud "$download_baud" \
        "$work/image.RUN" > /dev/null 2>> "$work/load.err"
}

for latency in 0 16; do
    start_board --pace --latency "$latency"
    start=$(date +%s.%N)
    if load; then
        end=$(date +%s.%N)
        awk -v n="$image_bytes" -v s="$start" -v e="$end" -v b="$download_baud" -v l="$latency" \
            'BEGIN { rate = n / (e - s); limit = b / 11;
                     printf "paced, latency %2d ms: %.0f bytes/s of %.0f, efficiency %.3f\n",
                            l, rate, limit, rate / limit }'
    else
        echo "paced, latency $latency ms: the load failed: $(tail -n 2 "$work/load.err")"
    fi
    stop_board
done

for _ in 1 2; do
    ( while :; do :; done ) &
    busy_pids+=($!)
done
start_board
ok=0
for _ in $(seq "$loads"); do
    if load; then ok=$((ok + 1)); fi
done
stop_board
echo "unpaced, both cores busy: $ok of $loads loads succeeded"
[ -s "$work/load.err" ] && sed 's/^/  tarvoline-cli: /' "$work/load.err" | sort | uniq -c | head
exit 0
