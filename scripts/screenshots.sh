#!/usr/bin/env bash
# Renders the pictures of the logo with the viewer's own --output, which
# needs no display:
#   docs/ovrik-logo.png         the window as it opens
#   docs/ovrik-logo-turned.png  turned, recoloured and lit from the upper left,
#                               as the keys y y y y y y x x x x Z Z G G G G B B B r
#                               and a drag to (80, 60) leave it
#   data/ovrik-logo.png         the 256 x 256 icon: the logo on a transparent
#                               background, cut around the logo
#   docs/ovrik-logo-turntable.webp  a looping turntable, 36 frames at 12 a
#                               second
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh docs
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-logo
cd build-release
./ovrik-logo --output ../docs/ovrik-logo.png
./ovrik-logo --output ../docs/ovrik-logo-turned.png --turn 20,30,-10 --colour 0.15,0.8,0.55 \
    --light -0.6,0.7
# The logo fills 272 x 112 pixels around the centre; the icon keeps a margin.
./ovrik-logo --output - --background transparent |
    convert png:- -crop 300x300+50+50 +repage -resize 256x256 ../data/ovrik-logo.png
./ovrik-logo --output ../docs/ovrik-logo-turntable.webp --frames 36 --fps 12 --size 320x200 \
    --turn 15,0,0
echo "wrote docs/ovrik-logo.png, docs/ovrik-logo-turned.png, docs/ovrik-logo-turntable.webp" \
    "and data/ovrik-logo.png"
