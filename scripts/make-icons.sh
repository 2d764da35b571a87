#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders data/icons/kyr-tuner.svg into the PNG sizes the desktop menus use,
# data/icons/NxN/kyr-tuner.png. The PNGs are kept in the repository, so the
# build needs no SVG renderer; run this after changing the SVG.
# Needs rsvg-convert (Debian: librsvg2-bin) or inkscape, and ImageMagick's
# convert for the Windows icon, data/windows/kyr-tuner.ico.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
icons="$root/data/icons"
svg="$icons/kyr-tuner.svg"
for size in 16 22 24 32 48 64 128 256; do
  out="$icons/${size}x${size}/kyr-tuner.png"
  mkdir -p "$(dirname "$out")"
  if command -v rsvg-convert >/dev/null; then
    rsvg-convert -w "$size" -h "$size" -o "$out" "$svg"
  elif command -v inkscape >/dev/null; then
    inkscape "$svg" -w "$size" -h "$size" -o "$out"
  else
    echo "make-icons.sh: needs rsvg-convert (librsvg2-bin) or inkscape" >&2
    exit 1
  fi
done
# The Windows icon: the same pictures in one .ico, the largest PNG-compressed.
pngs=()
for size in 16 24 32 48 64 128 256; do pngs+=("$icons/${size}x${size}/kyr-tuner.png"); done
convert "${pngs[@]}" "$root/data/windows/kyr-tuner.ico"
echo "Rendered $svg at 16 to 256 pixels into $icons"
