#!/usr/bin/env bash
# Draws the wizard's artwork with ImageMagick and packs the icons and the
# file-copy animation (tools/pack-artwork.py). The results are committed in
# resources/; run this only to change them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../resources"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The 16 colours of the classic Windows palette: icons and animation use them.
convert -size 16x1 xc:black \
  -fill '#800000' -draw 'point 1,0' -fill '#008000' -draw 'point 2,0' \
  -fill '#808000' -draw 'point 3,0' -fill '#000080' -draw 'point 4,0' \
  -fill '#800080' -draw 'point 5,0' -fill '#008080' -draw 'point 6,0' \
  -fill '#c0c0c0' -draw 'point 7,0' -fill '#808080' -draw 'point 8,0' \
  -fill '#ff0000' -draw 'point 9,0' -fill '#00ff00' -draw 'point 10,0' \
  -fill '#ffff00' -draw 'point 11,0' -fill '#0000ff' -draw 'point 12,0' \
  -fill '#ff00ff' -draw 'point 13,0' -fill '#00ffff' -draw 'point 14,0' \
  -fill '#ffffff' -draw 'point 15,0' "$work/palette.png"

# Side panel, 123 x 308: a night-blue field, the V of the product, a disc.
convert -size 123x308 gradient:'#102a66'-'#000000' \
  -fill '#1b4fa8' -draw 'polygon 14,40 38,40 61,118 84,40 108,40 61,168' \
  -fill '#4f8ff0' -draw 'polygon 20,46 34,46 61,140 61,156' \
  -fill '#c9ccd6' -draw 'circle 61,236 61,196' \
  -fill '#e7e9f0' -draw 'path "M 61,236 L 61,196 A 40,40 0 0,1 98,222 Z"' \
  -fill '#8a90a4' -draw 'circle 61,236 61,222' \
  -fill '#000000' -draw 'circle 61,236 61,229' \
  -fill '#d02020' -draw 'rectangle 10,290 112,293' \
  -quality 90 "$out/side.jpg"

# Welcome page, 72 x 92: the boxed product with its disc.
convert -size 72x92 xc:black \
  -fill '#1b4fa8' -draw 'polygon 8,14 52,6 64,12 64,86 20,90 8,84' \
  -fill '#2f6fd8' -draw 'polygon 8,14 52,6 52,80 8,84' \
  -fill '#163f88' -draw 'polygon 52,6 64,12 64,86 52,80' \
  -fill '#ffffff' -draw 'polygon 16,24 22,24 30,48 38,23 44,22 31,60' \
  -fill '#d02020' -draw 'rectangle 12,66 48,69' \
  -fill '#c9ccd6' -draw 'circle 34,78 34,70' -fill '#000000' -draw 'circle 34,78 34,76' \
  -quality 92 "$out/welcome.jpg"

# Application icon: a disc with the red V, 32 and 16 pixels.
for size in 32 16; do
  convert -size 32x32 xc:none \
    -fill '#c0c0c0' -stroke '#808080' -draw 'circle 16,16 16,2' -stroke none \
    -fill '#ffffff' -draw 'path "M 16,16 L 16,3 A 13,13 0 0,1 28,12 Z"' \
    -fill '#808080' -draw 'circle 16,16 16,11' -fill none -draw 'circle 16,16 16,14' \
    -fill '#ff0000' -stroke '#800000' -draw 'polygon 5,6 11,6 16,20 21,6 27,6 17,28 15,28' \
    -resize "${size}x${size}" -channel A -threshold 50% +channel \
    "$work/icon$size.png"
done

# Folder button glyph: binoculars, 16 pixels.
convert -size 16x16 xc:none \
  -fill '#000000' -draw 'rectangle 3,2 6,7' -draw 'rectangle 9,2 12,7' -draw 'rectangle 6,4 9,8' \
  -draw 'circle 4,11 4,6' -draw 'circle 11,11 11,6' \
  -fill '#000080' -draw 'circle 4,11 4,8' -draw 'circle 11,11 11,8' \
  -fill '#00ffff' -draw 'point 3,10' -draw 'point 10,10' \
  "$work/glyph.png"
# The same drawing at 24 and 32 pixels, for 150 % and 200 %: the 16-pixel
# grid scaled (pixel n covers n*s to (n+1)*s), edges kept hard.
for size in 24 32; do
  s=$((size / 8))  # half-pixel steps of the 16-pixel grid
  rect() { echo "rectangle $(($1 * s / 2)),$(($2 * s / 2)) $((($3 + 1) * s / 2 - 1)),$((($4 + 1) * s / 2 - 1))"; }
  circle() { echo "circle $(((2 * $1 + 1) * s / 4)),$(((2 * $2 + 1) * s / 4)) $(((2 * $1 + 1) * s / 4)),$(((2 * $2 + 1) * s / 4 - $3 * s / 2))"; }
  convert -size "${size}x${size}" xc:none +antialias \
    -fill '#000000' -draw "$(rect 3 2 6 7)" -draw "$(rect 9 2 12 7)" -draw "$(rect 6 4 9 8)" \
    -draw "$(circle 4 11 5)" -draw "$(circle 11 11 5)" \
    -fill '#000080' -draw "$(circle 4 11 3)" -draw "$(circle 11 11 3)" \
    -fill '#00ffff' -draw "$(rect 3 10 3 10)" -draw "$(rect 10 10 10 10)" \
    "$work/glyph$size.png"
done

# File copy, 272 x 60: a sheet flies from the open folder to the other one.
frames=27
for ((i = 0; i < frames; i++)); do
  x=$(echo "52 + $i * 148 / ($frames - 1)" | bc)
  y=$(echo "30 - 22 * s(3.14159 * $i / ($frames - 1))" | bc -l | cut -d. -f1)
  y=${y:-0}
  convert -size 272x60 xc:black \
    -fill '#808000' -draw 'polygon 16,22 30,22 34,26 66,26 66,52 16,52' \
    -fill '#ffff00' -draw 'polygon 16,30 62,30 70,52 20,52' \
    -fill '#808000' -draw 'polygon 206,22 220,22 224,26 256,26 256,52 206,52' \
    -fill '#ffff00' -draw 'rectangle 206,30 256,52' \
    -fill '#ffffff' -stroke '#808080' -draw "rectangle $x,$((y + 6)) $((x + 16)),$((y + 26))" \
    -stroke '#000080' -draw "line $((x + 3)),$((y + 11)) $((x + 13)),$((y + 11))" \
    -draw "line $((x + 3)),$((y + 15)) $((x + 13)),$((y + 15))" \
    -draw "line $((x + 3)),$((y + 19)) $((x + 10)),$((y + 19))" \
    -dither None -remap "$work/palette.png" -depth 8 "rgb:$work/frame$i.rgb"
done

for name in icon32 icon16 glyph glyph24 glyph32; do
  convert "$work/$name.png" -alpha extract -depth 8 "gray:$work/$name.alpha"
  convert "$work/$name.png" -background black -alpha remove -dither None \
    -remap "$work/palette.png" -depth 8 "rgb:$work/$name.rgb"
done

python3 "$here/pack-artwork.py" "$work" "$out" "$frames"
