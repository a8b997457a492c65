#!/usr/bin/env bash
# Runs every benchmark executable (bench_*) built in the given build folder, then the
# benchmark scripts under bench/ that drive the programs themselves.
set -euo pipefail
build=${1:-build-bench}
status=0
for b in "$build"/bench_*; do
    [ -x "$b" ] || continue
    echo "== $(basename "$b")"
    "$b" || status=1
done
for s in "$(dirname "$0")"/../bench/*/*.sh; do
    [ -f "$s" ] || continue
    echo "== $(basename "$s")"
    bash "$s" "$build" || status=1
done
exit $status
