#!/usr/bin/env bash
# The glb as a browser shows it: headless Chromium draws each view's model
# with three.js and holds it against the program's own picture of that view
# (model_browser.html computes the figures); then the turntable's loop.
#   model_browser_test.sh VIEWER MARMOR_BMP MAKE_MARBLE
# OVRIK_ROUGHNESS=0.3,0.5,... prints the figures for those roughnesses instead.
set -euo pipefail
viewer=$1
page=$(cd "$(dirname "$0")" && pwd)/model_browser.html
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$2" "$work/marmor.bmp"
cd "$work"
"$3" photo.jpg 640x480
views=( # name|options, the same for the model and the picture
    "default|"
    "turned|--turn 20,30,-10 --light -0.6,0.7"
    "photo|-- photo.jpg"
    "back|--turn 0,180,0"
)
names=()
for row in "${views[@]}"; do
    name=${row%%|*} options=${row#*|}
    "$viewer" --output "$name.glb" --size 400x400 $options
    "$viewer" --output "$name.png" --size 400x400 --background transparent $options
    names+=("$name")
done
"$viewer" --output spin.glb --size 400x400 --frames 12
# Without its background networking Chromium reaches for no one on the closed network.
query="dir=$work&views=$(IFS=,; echo "${names[*]}")${OVRIK_ROUGHNESS:+&rough=$OVRIK_ROUGHNESS}"
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --disable-dev-shm-usage \
    --user-data-dir="$work/profile" --use-angle=swiftshader --enable-unsafe-swiftshader \
    --allow-file-access-from-files --virtual-time-budget=20000 --dump-dom "file://$page?$query" 2>chromium.log |
    awk '/<pre id="out">/ { on = 1 } on { print } on && /<\/pre>/ { exit }' | sed 's/<[^>]*>//g' >result.txt || true
grep -v '^FAIL\|^done' result.txt || true
failure=$(grep -m1 '^FAIL' result.txt || true)
[ -z "$failure" ] && grep -qx done result.txt && exit 0
echo "${failure:-FAIL: the page did not finish; $(tail -1 chromium.log)}" >&2
exit 1
