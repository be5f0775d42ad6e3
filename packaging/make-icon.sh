#!/usr/bin/env bash
# Draws the program icon (a rice bowl with chopsticks on the toolbar blue) into icons/ at the
# hicolor sizes. Run again only when the artwork changes; the PNGs are kept in the repository.
set -euo pipefail
cd "$(dirname "$0")"
big=$(mktemp --suffix=.png)
trap 'rm -f "$big"' EXIT
convert -size 1024x1024 xc:none \
    -fill '#4b97c7' -draw 'roundrectangle 48,48 975,975 170,170' \
    -stroke '#e8b765' -strokewidth 44 -draw 'line 560,200 820,470' -draw 'line 470,230 700,520' -stroke none \
    -fill white -draw 'path "M 190,500 L 834,500 A 322,300 0 0 1 190,500 Z"' \
    -fill white -draw 'roundrectangle 380,770 644,840 30,30' \
    -fill '#4b97c7' -draw 'rectangle 190,500 834,540' \
    -fill white -draw 'roundrectangle 160,470 864,515 22,22' \
    "$big"
for size in 256 128 64 48 32 16; do
    convert "$big" -resize ${size}x${size} -depth 8 -strip "icons/cjpos-${size}.png"
done
