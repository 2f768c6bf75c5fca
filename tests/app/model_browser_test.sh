#!/usr/bin/env bash
# The glb as browsers show it: headless Chromium draws each view's model with Debian's
# three.js r111 and npm's current one (into the build folder once, served on the loopback
# address alone) against the program's own picture of that view (model_browser.html
# computes the figures); then the turntable's loop; and the MP4 and WebM clips in <video>.
#   model_browser_test.sh VIEWER MARMOR_BMP MAKE_MARBLE BUILD_FOLDER
# OVRIK_TRY=R:K[:M],... prints each view's figures at other settings instead (see the page).
set -euo pipefail
viewer=$1
three=$("$(dirname "$0")/../npm_module.sh" "$4/three-js" three@0.187.0)
work=$(mktemp -d)
trap 'kill ${server:-} 2>/dev/null; rm -rf "$work"' EXIT
here=$(cd "$(dirname "$0")" && pwd)
ln -s "$here/model_browser.html" "$here/video_browser.html" "$work/" && ln -s "$three" "$work/npm"
ln -s /usr/share/javascript/three "$work/r111" && cp "$2" "$work/marmor.bmp" && cd "$work"
python3 -u -m http.server 0 --bind 127.0.0.1 >server.log 2>&1 & server=$!
"$3" photo.jpg 640x480
views=( # name|options, the same for the model and the picture
    "default|"
    "turned|--turn 20,30,-10 --light -0.6,0.7"
    "colour|--colour 0.8,0.3,0.1 --turn 20,30,0 --light 0.5,-0.3"
    "photo|-- photo.jpg"
    "back|--turn 0,180,0"
)
for row in "${views[@]}"; do
    name=${row%%|*} options=${row#*|}
    "$viewer" --output "$name.glb" --size 400x400 $options
    "$viewer" --output "$name.png" --size 400x400 --background transparent $options
done
"$viewer" --output spin.glb --size 400x400 --frames 12
for video in spin.mp4 spin.webm; do "$viewer" --output $video --size 400x400 --frames 12; done
for video in spin.mp4 spin.webm; do "$viewer" --output $video --size 400x400 --frames 12; done
until port=$(grep -om1 'port [0-9]*' server.log); do kill -0 $server && sleep 0.1; done
query="views=$(IFS=,; names=("${views[@]%%|*}"); echo "${names[*]}")${OVRIK_TRY:+&try=$OVRIK_TRY}"
# Without its background networking Chromium reaches for no one on the closed network.
browse() { # browse PAGE?QUERY: what the page's <pre id="out"> says
    timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync --disable-dev-shm-usage \
        --user-data-dir="$work/profile" --use-angle=swiftshader --enable-unsafe-swiftshader \
        --virtual-time-budget=20000 --dump-dom "http://127.0.0.1:${port#port }/$1" 2>chromium.log |
        awk 'sub(/.*<pre id="out">/, "") { on = 1 } on { print } on && /<\/pre>/ { exit }' | sed 's/<[^>]*>//g' || true
}
browse "model_browser.html?$query" >result.txt
browse video_browser.html >>result.txt
grep -v '^FAIL\|^done' result.txt || true
failure=$(grep '^FAIL' result.txt || true)
[ -z "$failure" ] && [ "$(grep -cx done result.txt)" = 2 ] && exit 0 # both pages finished
echo "${failure:-FAIL: the page did not finish; $(tail -1 chromium.log)}" >&2
exit 1
