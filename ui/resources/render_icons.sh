#!/usr/bin/env bash
# Renders the SVG sources in icons/src to the PNG images the resource file lists: 16 px and
# 32 px (@2x) for every icon, plus 64 and 128 px for the application icon. Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/icons"
convert=/usr/bin/convert
for svg in src/*.svg; do
  name=$(basename "$svg" .svg)
  "$convert" -background none -density 96 "$svg" -depth 8 "$name.png"
  "$convert" -background none -density 192 "$svg" -depth 8 "$name@2x.png"
done
for size in 64 128; do
  "$convert" -background none -density $((96 * size / 16)) src/application.svg -depth 8 "application-$size.png"
done
