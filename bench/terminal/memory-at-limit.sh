#!/usr/bin/env bash
# The terminal view's memory at its 16,777,215-character limit and after much more text: fills
# a view (offscreen) to the limit, then feeds MEGABYTES (1000) more through the receive rules,
# printing the resident memory every 100 MB. Passes when the resident memory at the limit is
# under 200 MB and grows by less than 10% (and 20 MB) after it.
#
#   bench/terminal/memory-at-limit.sh PATH/TO/bench_terminal [MEGABYTES]
set -euo pipefail

bench=${1:?the bench_terminal program}
megabytes=${2:-1000}
log=$(mktemp /tmp/tarvoline-memory.XXXXXX)
trap 'rm -f "$log"' EXIT
QT_QPA_PLATFORM=offscreen "$bench" "$megabytes" | tee "$log"
awk '
    /resident now/ { at_limit = $(NF - 1) }
    /past the limit: resident/ { last = $(NF - 1); if (last > most) most = last }
    END {
        growth = most - at_limit
        printf "resident at the limit %.1f MB, at most %.1f MB after it (%+.1f MB)\n", at_limit, most, growth
        ok = at_limit < 200 && growth < 20 && growth < at_limit * 0.1
        print ok ? "memory: within bounds" : "memory: OUT OF BOUNDS"
        exit ok ? 0 : 1
    }' "$log"
