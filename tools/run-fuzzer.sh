#!/usr/bin/env bash
# Runs one fuzzing harness of tests/fuzz for a number of seconds under AddressSanitizer (with
# leak detection) and UndefinedBehaviorSanitizer, with an RSS limit of 512 MB.
# Usage: run-fuzzer.sh BUILD NAME SECONDS MAX_LEN [more libFuzzer options]
# The inputs it finds go to BUILD/corpus/NAME (the seeds in tests/fuzz/corpus/NAME stay as
# they are); a crash, a leak, a time-out or an input over the memory limit is saved as
# BUILD/artifacts/NAME-* and fails the run.
set -euo pipefail
build=$1 name=$2 seconds=$3 max_len=$4
shift 4
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build/corpus/$name" "$build/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
log="$build/artifacts/$name.log"
status=0
"$build/fuzz_$name" -max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=512 \
    -timeout=10 -detect_leaks=1 -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-" "$@" \
    "$build/corpus/$name" "$root/tests/fuzz/corpus/$name" >"$log" 2>&1 || status=$?
# One line for the run: executions, speed, coverage, corpus and peak memory.
done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
peak=$(sed -n 's/^stat::peak_rss_mb:[[:space:]]*//p' "$log" | tail -1)
echo "fuzz_$name: ${done_line:-no DONE line} peak_rss: ${peak:-?}Mb"
if [ "$status" -ne 0 ]; then
    echo "fuzz_$name FAILED (exit $status); the end of $log:"
    tail -40 "$log"
fi
exit "$status"
