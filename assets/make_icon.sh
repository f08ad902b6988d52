#!/usr/bin/env bash
# Draws Brevalt's 32x32 icon: a log page on a dark tile, with a turning arrow
# for the daily rotation. Writes brevalt.png and brevalt.ico beside itself.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 32x32 xc:none \
  -fill '#1d3557' -draw 'roundrectangle 0,0 31,31 6,6' \
  -fill '#f1faee' -draw 'polygon 6,5 18,5 23,10 23,27 6,27' \
  -fill '#a8dadc' -draw 'polygon 18,5 18,10 23,10' \
  -fill '#457b9d' -draw 'rectangle 9,12 19,13' -draw 'rectangle 9,16 19,17' -draw 'rectangle 9,20 15,21' \
  -fill '#1d3557' -draw 'circle 23,22 23,31' \
  -fill none -stroke '#f4a261' -strokewidth 2.5 -draw 'arc 17,16 29,28 180,450' \
  -stroke none -fill '#f4a261' -draw 'polygon 17,28 22,24 22,31' \
  -strip PNG32:brevalt.png
convert brevalt.png -colors 256 brevalt.ico

# The icon while no sensor runs: the same tile in greys, with a red disc and
# a white bar in the lower right corner, the mark that stays legible at 16 px
# on dark and light panels alike. Drawn at each size the panels ask for, so
# that no panel shrinks the mark into a smudge.
for size in 16 22 32 48; do
  r=$(((size * 5 + 8) / 16))          # the disc's radius
  cx=$((size - r - 1)) cy=$((size - r - 1))
  bar=$((r * 5 / 8)) thick=$(((size + 15) / 16))
  convert brevalt.png -resize "${size}x${size}" -colorspace Gray +level 35%,80% -colorspace sRGB \
    -fill '#ffffff' -draw "circle $cx,$cy $cx,$((cy - r - 1))" \
    -fill '#d62828' -draw "circle $cx,$cy $cx,$((cy - r))" \
    -fill '#ffffff' -draw "rectangle $((cx - bar)),$((cy - thick)) $((cx + bar)),$((cy + thick - 1 + (size < 22 ? 1 : 0)))" \
    -strip PNG32:"brevalt-none-$size.png"
done
# For the Windows program: the two sizes the task bar picks from, in 16
# colours, which keep the grey, the red and the white and cost a kilobyte.
convert brevalt-none-16.png brevalt-none-32.png -colors 16 brevalt-none-tray.ico
