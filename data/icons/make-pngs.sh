#!/usr/bin/env bash
# Renders the icon's PNG sizes from the SVG (rsvg-convert, Debian package librsvg2-bin). The PNGs are
# kept in the repository, so building and packaging need no SVG renderer; run this after changing
# the SVG and commit the results.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" org.astrelvo.Astrelvo.svg -o "hicolor/${size}x${size}/org.astrelvo.Astrelvo.png"
done
