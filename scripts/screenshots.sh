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
#   docs/ovrik-logo-turntable.gif   the same as a GIF, 240 x 240
#   docs/ovrik-logo-model.png   the turned view's glb as three.js draws it in
#                               headless Chromium, beside the program's own view
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh docs
scripts/deps.sh test # Chromium and three.js
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
./ovrik-logo --output ../docs/ovrik-logo-turntable.gif --frames 36 --fps 12 --size 240x240 \
    --turn 15,0,0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
view=(--turn 20,30,-10 --light -0.6,0.7)
./ovrik-logo --output "$work/model.glb" "${view[@]}" && ./ovrik-logo --output "$work/view.png" "${view[@]}"
cat >"$work/page.html" <<'HTML'
<body style="margin:0; background:#666"><img src="view.png" style="position:absolute; left:400px">
<script src="/usr/share/javascript/three/build/three.min.js"></script>
<script src="/usr/share/javascript/three/examples/js/loaders/GLTFLoader.js"></script>
<script>
const renderer = new THREE.WebGLRenderer({antialias: true});
renderer.setPixelRatio(1);
renderer.setSize(400, 400);
renderer.setClearColor(0x666666); // the window's grey
document.body.prepend(renderer.domElement);
new THREE.GLTFLoader().load('model.glb', gltf => renderer.render(gltf.scene, gltf.cameras[0]));
</script>
HTML
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile" --use-angle=swiftshader \
    --enable-unsafe-swiftshader --allow-file-access-from-files --hide-scrollbars --window-size=800,400 \
    --virtual-time-budget=10000 --screenshot="$work/model.png" "file://$work/page.html" 2>/dev/null
cp "$work/model.png" ../docs/ovrik-logo-model.png
echo "wrote docs/ovrik-logo.png, docs/ovrik-logo-turned.png, docs/ovrik-logo-turntable.webp and .gif," \
    "docs/ovrik-logo-model.png and data/ovrik-logo.png"
