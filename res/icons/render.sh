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
# The Windows icons hold the same four sizes in one .ico each.
for icon in 128 133; do
    convert "$icon-16.png" "$icon-32.png" "$icon-48.png" "$icon-256.png" "$icon.ico"
done
