#!/usr/bin/env bash
# Runs every benchmark executable (bench_*) built in the given build folder.
set -euo pipefail
build=${1:-build-bench}
status=0
for b in "$build"/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" || status=1
done
exit $status
