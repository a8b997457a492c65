#!/usr/bin/env bash
# A LOAD of 600 KiB to `vivaz-sim --pace` through ser2net (RFC 2217, with its chardelay off and
# on) and on the direct line, in one run: the time of each, and the network's rate as a share
# of the direct line's (target: at least 0.95 with chardelay off).
#   bench/comm/ser2net_load.sh [BUILD_FOLDER] [KIB]
set -euo pipefail
build=${1:-build}
kib=${2:-600}
cli="$build/tarvoline-cli"
sim="$build/vivaz-sim"
for program in "$cli" "$sim"; do
    [ -x "$program" ] || { echo "ser2net_load: $program is missing; build first" >&2; exit 1; }
done
command -v ser2net > /dev/null || { echo "ser2net_load: ser2net is not installed (make deps)" >&2; exit 1; }

work=$(mktemp -d)
board_pid=""
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
download_baud=115200

# A load file with the 28-byte header (magic 601A, text size, text start 00020000).
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

first_line() {
    for _ in $(seq 200); do
        line=$(head -n 1 "$1" 2>/dev/null || true)
        [ -n "$line" ] && { echo "$line"; return 0; }
        sleep 0.05
    done
    return 1
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

listening() {
    local hex
    hex=$(printf ':%04X' "$1")
    awk -v p="$hex" '$4 == "0A" && substr($2, length($2) - 4) == p { found = 1 } END { exit !found }' \
        /proc/net/tcp /proc/net/tcp6
}

start_board() {
    "$sim" --pace > "$work/board.out" &
    board_pid=$!
    device=$(first_line "$work/board.out") || { echo "ser2net_load: no board" >&2; exit 1; }
}

# ser2net in the foreground on a free port in front of the board; chardelay true or false.
start_server() {
    port=$(free_port)
    cat > "$work/ser2net.yaml" <<YAML
%YAML 1.1
---
connection: &board
  accepter: telnet(rfc2217),tcp,127.0.0.1,$port
  connector: serialdev,$device,9600n81,local
  enable: on
  options:
    kickolduser: true
    chardelay: $1
YAML
    ser2net -n -u -P "$work/ser2net.pid" -c "$work/ser2net.yaml" > "$work/ser2net.log" 2>&1 &
    server_pid=$!
    for _ in $(seq 200); do listening "$port" && return 0; sleep 0.05; done
    echo "ser2net_load: ser2net did not listen" >&2
    exit 1
}

stop_all() {
    for pid in "$server_pid" "$board_pid"; do
        [ -n "$pid" ] && { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; }
    done
    server_pid=""
    board_pid=""
}

now() { date +%s.%N; }

# Prints the seconds one load of the image took, or FAILED.
timed_load() {
    local t0 t1
    t0=$(now)
    if "$cli" load --port "$1" --baud 9600 --download-baud "$download_baud" "$work/image.RUN" \
        > /dev/null 2>> "$work/load.err"; then
        t1=$(now)
        awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
    else
        echo FAILED
    fi
}

make_image $((kib * 1024)) "$work/image.RUN"
: > "$work/load.err"

start_board
direct=$(timed_load "$device")
stop_all

start_board
start_server false
fast=$(timed_load "rfc2217://127.0.0.1:$port")
stop_all

start_board
start_server true
delayed=$(timed_load "rfc2217://127.0.0.1:$port")
stop_all

report() {
    local name=$1 seconds=$2
    if [ "$seconds" = FAILED ] || [ "$direct" = FAILED ]; then
        printf '%-28s %s\n' "$name" "$seconds"
    else
        awk -v n="$name" -v s="$seconds" -v d="$direct" \
            'BEGIN { printf "%-28s %7.2f s   rate network/direct %.3f\n", n, s, d / s }'
    fi
}
echo "LOAD of $kib KiB at $download_baud baud to vivaz-sim --pace"
printf '%-28s %7s s\n' "direct line" "$direct"
report "ser2net, chardelay off" "$fast"
report "ser2net, chardelay on" "$delayed"
[ -s "$work/load.err" ] && sed 's/^/  tarvoline-cli: /' "$work/load.err" | sort | uniq -c | head
exit 0
