#!/usr/bin/env bash
# Starts the terminal connected to a simulated board: `make demo` runs this after the build.
#   tools/demo.sh [BUILD_FOLDER]
# The simulated board runs on a pseudo-terminal for as long as the window is open; the
# configured COM port stands for it in this run only, so no setting is changed.
set -euo pipefail
build=${1:-build}
for program in tarvoline vivaz-sim; do
    if [ ! -x "$build/$program" ]; then
        echo "demo: $build/$program is missing; build it first (make build)." >&2
        exit 1
    fi
done
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no display (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
    echo "demo: on a machine without a screen, try: xvfb-run -a $build/tarvoline --demo" >&2
    exit 1
fi
echo "demo: starting $build/tarvoline --demo; type help and Enter in the window."
shift $(( $# > 0 ? 1 : 0 ))
exec "$build/tarvoline" --demo "$@"
