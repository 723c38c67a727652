#!/usr/bin/env bash
# Redraws the About window's logo from kelvarn-mark.svg. Run by hand after
# changing the drawing; the JPEG is kept in the repository, so building needs
# no ImageMagick.
# Needs ImageMagick and the Noto CJK fonts (scripts/setup.sh installs both).
set -euo pipefail
cd "$(dirname "$0")"

convert=/usr/bin/convert
[[ -x $convert ]] || convert=convert
mark=kelvarn-mark.svg

# The logo is drawn four times larger and scaled down, which smooths the
# edges of the lettering better than drawing at 121 x 73 directly.
$convert -background none -density 600 "$mark" -resize 184x184 /tmp/kelvarn-mark-$$.png
$convert -size 484x292 xc:white \
    /tmp/kelvarn-mark-$$.png -geometry +12+54 -composite \
    -fill '#163b75' -font DejaVu-Sans-Bold -pointsize 56 -annotate +212+132 'Kelvarn' \
    -fill '#245aa6' -font Noto-Sans-CJK-SC-Bold -pointsize 48 -annotate +214+206 '凯瓦恩' \
    -fill '#f5a623' -draw 'rectangle 216,226 455,233' \
    -resize 121x73 -strip -quality 92 -sampling-factor 1x1 kelvarn-logo.jpg
rm -f /tmp/kelvarn-mark-$$.png
