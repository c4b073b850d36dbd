#!/usr/bin/env bash
# Renders the desktop icon (tavokrn.svg) into the hicolor theme's sizes under icons/. Run it again
# after changing the drawing and commit the PNG files it writes (needs rsvg-convert, Debian
# package librsvg2-bin; the build itself does not).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$here/icons/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" "$here/tavokrn.svg" -o "$here/icons/${size}x${size}/tavokrn.png"
done
