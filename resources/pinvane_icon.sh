#!/bin/sh
# Draws Pinvane's program icon and writes resources/pinvane.ico: one image,
# 32 by 32 pixels, 32 bits per pixel (with alpha). The drawing: a sheet of
# paper on a teal tile, with the curved arrow of a shortcut in its lower left
# corner and a pin at the top. Needs ImageMagick; the .ico is committed, so the
# build does not.
set -eu
here="$(cd "$(dirname "$0")" && pwd)"
out="$here/pinvane.ico"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

# Drawn four times larger, then reduced, for smooth edges.
convert -size 128x128 xc:none \
  -fill '#147d7a' -stroke '#0b4f4d' -strokewidth 4 -draw 'roundrectangle 6,6 121,121 22,22' \
  -fill '#fdfdf8' -stroke '#c9d6d5' -strokewidth 3 -draw 'polygon 34,18 80,18 100,38 100,110 34,110' \
  -fill '#dfe9e8' -stroke '#c9d6d5' -strokewidth 3 -draw 'polygon 80,18 80,38 100,38' \
  -stroke '#9fb3b1' -strokewidth 4 -draw 'line 46,50 88,50' -draw 'line 46,62 88,62' -draw 'line 46,74 70,74' \
  -fill '#ffffff' -stroke '#0b4f4d' -strokewidth 4 -draw 'roundrectangle 10,64 66,120 8,8' \
  -fill none -stroke '#147d7a' -strokewidth 11 -draw 'path "M 24,110 C 24,92 32,84 44,84"' \
  -fill '#147d7a' -stroke '#147d7a' -strokewidth 2 -draw 'polygon 40,68 60,84 40,100' \
  -fill '#e2492f' -stroke '#8c2414' -strokewidth 3 -draw 'circle 67,16 67,26' \
  -stroke '#8c2414' -strokewidth 4 -draw 'line 67,26 67,36' \
  "$tmp/big.png"
convert "$tmp/big.png" -resize 32x32 -depth 8 "PNG32:$tmp/small.png"
# BMP-style entry (not PNG-compressed) with a 32-bit colour table-less image.
convert "$tmp/small.png" -define icon:auto-resize=32 -type TrueColorAlpha "$out"
echo "wrote $out"
