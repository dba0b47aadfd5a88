#!/usr/bin/env bash
# Renders kestrix.svg into the PNG icons of hicolor/NxN/apps (needs rsvg-convert, Debian: librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" --output "hicolor/${size}x${size}/apps/kestrix.png" kestrix.svg
done
