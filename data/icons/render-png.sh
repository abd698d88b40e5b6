#!/usr/bin/env bash
# Renders the committed PNG icons from the SVG after it changes; the build only copies
# them, so it needs no SVG renderer. Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for svg in *.svg; do
  id="${svg%.svg}"
  for size in 16 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" "$svg" -o "${size}x${size}/$id.png"
  done
done
