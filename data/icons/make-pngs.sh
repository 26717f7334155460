#!/usr/bin/env bash
# Renders the icon's PNG sizes from the SVG (rsvg-convert, Debian package librsvg2-bin) and packs
# them into the Windows .ico (python3). Both are kept in the repository, so building and packaging need
# no SVG renderer; run this after changing the SVG and commit the results.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" org.astrelvo.Astrelvo.svg -o "hicolor/${size}x${size}/org.astrelvo.Astrelvo.png"
done
# The Windows icon (astrelvo.exe's resource): the PNGs packed into one .ico, each image stored as PNG.
python3 - <<'PY'
import struct
sizes = [16, 24, 32, 48, 64, 256]
images = [open(f"hicolor/{s}x{s}/org.astrelvo.Astrelvo.png", "rb").read() for s in sizes]
out = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, png in zip(sizes, images):
    out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png), offset)
    offset += len(png)
open("org.astrelvo.Astrelvo.ico", "wb").write(out + b"".join(images))
PY
