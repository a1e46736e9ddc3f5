#!/usr/bin/env bash
# Draws resources/tessamorvandi.png: a map surface over a dark panel with the name below.
# Needs ImageMagick and the DejaVu fonts (apt-get install imagemagick fonts-dejavu-core).
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/resources/tessamorvandi.png"
draw=()
# A 12 x 8 calibration map drawn as a heat-map in perspective.
for r in $(seq 0 7); do
  for c in $(seq 0 11); do
    v=$(( (c * 9 + r * 13 + (c * r) % 7 * 5) % 100 ))
    red=$(( 40 + v * 2 )); green=$(( 200 - v * 3 / 2 )); blue=$(( 90 - v * 3 / 4 ))
    [ $green -lt 30 ] && green=30; [ $blue -lt 20 ] && blue=20
    x0=$(( 150 + c * 26 + r * 14 )); y0=$(( 70 + r * 18 - v / 4 ))
    draw+=(-fill "rgb($red,$green,$blue)" -stroke "rgb(20,26,34)" -draw "rectangle $x0,$y0 $((x0+24)),$((y0+16))")
  done
done
convert -size 600x400 gradient:'#10161e-#1d2a3a' \
  "${draw[@]}" \
  -stroke '#5ac8ff' -strokewidth 3 -fill none \
  -draw "polyline 40,300 110,290 170,250 240,262 310,220 380,232 450,190 520,205 560,180" \
  -stroke none -fill '#e8eef5' -font DejaVu-Sans-Bold -pointsize 44 \
  -gravity south -annotate +0+70 'Tessamorvandi' \
  -fill '#8fa3b8' -font DejaVu-Sans -pointsize 16 -annotate +0+48 'ECU firmware editor' \
  "$out"
echo "wrote $out"
