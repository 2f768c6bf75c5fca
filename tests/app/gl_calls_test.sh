#!/usr/bin/env bash
# Records the real viewer's OpenGL calls with apitrace and checks them: the
# render set-up and the first frame call for call (expected_gl_calls.txt),
# then that the x key and a drag to the top-right corner reach later frames.
#   gl_calls_test.sh VIEWER MARMOR_BMP
set -euo pipefail
viewer=$1
marble=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/viewer.sh"

folder=$viewer_scratch
cp "$marble" "$folder/marmor.bmp"
start_viewer "$folder" apitrace trace --output="$folder/calls.trace" "$viewer"
sleep 0.3
xdotool key --window "$viewer_window" x 2>/dev/null
sleep 0.3
xdotool mousemove --window "$viewer_window" 200 200 mousedown 1 \
    mousemove --window "$viewer_window" 400 0 mouseup 1
sleep 0.3
xdotool keydown --window "$viewer_window" Escape 2>/dev/null
wait "$viewer_pid" || { echo "traced viewer exited with status $?"; exit 1; }
viewer_pid=

apitrace dump --color=never "$folder/calls.trace" | awk -f "$here/gl_calls.awk" >"$folder/calls.txt"

expected=$here/expected_gl_calls.txt
if ! diff -u "$expected" <(head -n "$(wc -l <"$expected")" "$folder/calls.txt"); then
    echo "set-up or first frame differ from $expected"
    exit 1
fi
later=$(tail -n +"$(($(wc -l <"$expected") + 1))" "$folder/calls.txt")
for call in 'glRotatef(angle = 5, x = 1, y = 0, z = 0)' \
    'glLightfv(light = GL_LIGHT0, pname = GL_POSITION, params = {1, 1, 2, 0.7})' \
    'glLightfv(light = GL_LIGHT0, pname = GL_SPOT_DIRECTION, params = {-1, -1, -2})'; do
    grep -qF "$call" <<<"$later" || { echo "no later frame calls $call"; exit 1; }
done
echo "gl-calls: ok"
