#!/usr/bin/env bash
# How much faster a program travels as the binary LOAD's blocks than as record text through the
# monitor's record loader, on a board that runs at the real rate (`vivaz-sim --pace`).
#   bench/download/program_formats.sh [BUILD_FOLDER]
#
# One 64 KiB program at 0x40000 as S-records (S3 data, 16 bytes a record, S7 start: what
# `objcopy -O srec --srec-forceS3` writes), loaded once each way:
#   loadhex                       the record loader: the text at 57600 baud, 8N1
#   load --download-baud 115200   read into its bytes, one LOAD in 1024-byte blocks, 8N2, then G
#   load --download-baud 230400   the same at 230400
# Prints each time (the whole command: wake-up, dialogue, start) and its ratio to the record
# loader's. Target: LOAD at 230400 at least 7 times faster than the record loader.
set -euo pipefail
build=${1:-build}
cli="$build/tarvoline-cli"
sim="$build/vivaz-sim"
for program in "$cli" "$sim"; do
    [ -x "$program" ] || { echo "program_formats: $program is missing; build first" >&2; exit 1; }
done
command -v objcopy >/dev/null || { echo "program_formats: objcopy (binutils) is missing" >&2; exit 1; }

work=$(mktemp -d)
board_pid=""
cleanup() {
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

program_bytes=$((64 * 1024))
head -c "$program_bytes" /dev/urandom > "$work/program.bin"
objcopy -I binary -O srec --srec-forceS3 --change-addresses=0x40000 \
    "$work/program.bin" "$work/program.s37"

# Starts a paced board; sets board_pid and device.
start_board() {
    "$sim" --quiet --pace > "$work/board.out" &
    board_pid=$!
    for _ in $(seq 100); do
        device=$(head -n 1 "$work/board.out" 2>/dev/null || true)
        [ -n "$device" ] && return 0
        sleep 0.05
    done
    echo "program_formats: the simulated board did not start" >&2
    exit 1
}
stop_board() {
    kill "$board_pid" 2>/dev/null || true
    wait "$board_pid" 2>/dev/null || true
    board_pid=""
}

# Runs one load on a fresh board; prints its seconds, or fails with tarvoline-cli's words.
timed() {
    start_board
    local start end
    start=$(date +%s.%N)
    if ! "$cli" "$@" --port "$device" --baud 9600 "$work/program.s37" > /dev/null 2> "$work/err"; then
        echo "program_formats: tarvoline-cli $1 failed: $(tail -n 2 "$work/err")" >&2
        stop_board
        exit 1
    fi
    end=$(date +%s.%N)
    stop_board
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.2f", e - s }'
}

records=$(timed loadhex)
load115=$(timed load --download-baud 115200)
load230=$(timed load --download-baud 230400)

echo "64 KiB program at 0x40000, $(wc -c < "$work/program.s37") bytes of S-records, paced board"
awk -v r="$records" -v a="$load115" -v b="$load230" 'BEGIN {
    printf "record loader (loadhex, 57600):  %6.2f s\n", r
    printf "LOAD at 115200 (load):           %6.2f s  %.1fx faster\n", a, r / a
    printf "LOAD at 230400 (load):           %6.2f s  %.1fx faster (target: 7x)\n", b, r / b
    exit (r / b >= 7 ? 0 : 3)
}' || { echo "program_formats: LOAD at 230400 missed the 7x target" >&2; exit 3; }
