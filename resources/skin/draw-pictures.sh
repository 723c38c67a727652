#!/usr/bin/env bash
# Draws the search button's picture and the window icon (our own artwork).
# Needs ImageMagick. The PNGs are committed; run this only to change them.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 64x64 xc:none -fill none -stroke '#1f5fa8' -strokewidth 7 \
  -draw 'circle 26,26 26,8' -stroke '#1f5fa8' -strokewidth 10 -draw 'line 40,40 57,57' \
  -stroke '#ffffff' -strokewidth 3 -draw 'arc 14,14 32,32 190,260' search.png
convert -size 64x64 xc:none -fill '#1f5fa8' -draw 'roundrectangle 2,2 61,61 12,12' \
  -fill none -stroke white -strokewidth 5 -draw 'circle 27,27 27,13' \
  -strokewidth 7 -draw 'line 37,37 52,52' quorvane.png
