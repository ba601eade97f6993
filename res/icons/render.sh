#!/bin/sh
# Renders the icons' PNGs from their SVGs. Run after editing an SVG and keep
# the PNGs with the sources, so building needs no SVG renderer.
set -e
cd "$(dirname "$0")"
for icon in 128 133; do
    for size in 16 32 48 256; do
        rsvg-convert -w "$size" -h "$size" -o "$icon-$size.png" "$icon.svg"
    done
done
