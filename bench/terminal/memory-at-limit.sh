#!/usr/bin/env bash
# The terminal view's memory at its 16,777,215-character limit and after much more text: fills
# a view (offscreen) to the limit, then feeds MEGABYTES (1000) more through the receive rules,
# printing the resident memory every 100 MB. Passes when the resident memory stays under 200 MB
# and its later samples reach no higher than its earlier ones (plus 5 MB): no growth.
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
    /past the limit: resident/ { rss[n++] = $(NF - 1) }
    END {
        # Trims give the resident memory a saw tooth; growth is the later half of the samples
        # reaching higher than the earlier half did.
        for (i = 0; i < n; i++) {
            if (i < n / 2 && rss[i] > early) early = rss[i]
            if (i >= n / 2 && rss[i] > late) late = rss[i]
        }
        printf "resident at the limit %.1f MB; after it at most %.1f MB in the first half, %.1f MB in the second\n", at_limit, early, late
        ok = at_limit < 200 && early < 200 && late < 200 && late <= early + 5
        print ok ? "memory: within bounds" : "memory: OUT OF BOUNDS"
        exit ok ? 0 : 1
    }' "$log"
