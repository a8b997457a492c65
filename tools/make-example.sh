#!/usr/bin/env bash
# Regenerates examples/demo.Bin and examples/demo.MAP with the project's own .Bin writer.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target make_example
"$build/make_example" examples
