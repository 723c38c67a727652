#!/usr/bin/env bash
# Renders quorvane.svg into the hicolor theme's fixed sizes. Run by hand after
# changing the drawing; the PNGs are kept in the repository, so building
# needs no ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"

convert=/usr/bin/convert
[[ -x $convert ]] || convert=convert
id=com.example.kelvarn.quorvane

for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "hicolor/${size}x${size}/apps"
    $convert -background none -density 600 quorvane.svg -resize ${size}x${size} \
        -strip "PNG32:hicolor/${size}x${size}/apps/$id.png"
done
