#!/usr/bin/env bash
# Renders the pictures of the logo with the real viewer under a private Xvfb:
#   docs/ovrik-logo.png         the window as it opens
#   docs/ovrik-logo-turned.png  after a few keys (turned, recoloured) and a drag
#   data/ovrik-logo.png         the 256 x 256 icon, cut from the first picture
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh

scripts/deps.sh docs
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-logo
use_private_display

(cd build-release && exec ./ovrik-logo >/dev/null) &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; kill "$ovrik_xvfb_pid" 2>/dev/null || true' EXIT
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^Ovrik-Logo$' | head -n1)
sleep 0.5

import -window "$window" docs/ovrik-logo.png
# The logo fills 272 x 112 pixels around the window's centre; the icon keeps
# a margin around it and drops the grey background.
convert docs/ovrik-logo.png -crop 300x300+50+50 +repage -resize 256x256 \
    -fuzz 1% -transparent 'rgb(102,102,102)' data/ovrik-logo.png

xdotool key --window "$window" --delay 30 y y y y y y x x x x Z Z G G G G B B B r 2>/dev/null
xdotool mousemove --window "$window" 200 200 mousedown 1 \
    mousemove --window "$window" 120 90 mousemove --window "$window" 80 60 mouseup 1
sleep 0.5
import -window "$window" docs/ovrik-logo-turned.png

xdotool keydown --window "$window" Escape 2>/dev/null
wait "$pid"
echo "wrote docs/ovrik-logo.png, docs/ovrik-logo-turned.png and data/ovrik-logo.png"
