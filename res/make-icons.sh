#!/usr/bin/env bash
# Draws the desktop icons res/icons/hicolor/SIZE/tarvoline.png from res/icons/tarvoline.svg with
# rsvg-convert (Debian package librsvg2-bin). The PNG files are kept in the repository so that a
# build needs no SVG renderer; run this again after changing the drawing.
set -euo pipefail
cd "$(dirname "$0")/icons"
for size in 16 24 32 48 64 128 256; do
    mkdir -p "hicolor/$size"
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "hicolor/$size/tarvoline.png" tarvoline.svg
done
