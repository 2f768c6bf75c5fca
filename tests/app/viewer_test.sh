#!/usr/bin/env bash
# The real viewer from outside: command line, output (at once, into a file),
# window, exit on Escape, the picture it reads; then its GL calls recorded
# with apitrace, the set-up and first frame call for call, keys, drags and a
# resize in later frames.
#   viewer_test.sh VIEWER MARMOR_BMP VERSION MAKE_MARBLE
set -euo pipefail
viewer=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/viewer.sh"

# Options are handled before any display is opened.
help=$(DISPLAY= "$viewer" --help) && grep -q '^Usage: ovrik-logo' <<<"$help" || fail "--help: $help"
[ "$(DISPLAY= "$viewer" --version)" = "ovrik-logo $3" ] || fail "--version"
error=$(DISPLAY= "$viewer" -sync --colour 2>&1 >/dev/null || echo "status $?")
[ "$error" = $'ovrik-logo: \'--colour\' is not known; see ovrik-logo --help\nstatus 2' ] ||
    fail "--colour: $error"
error=$(DISPLAY= "$viewer" a.png -- b.png 2>&1 >/dev/null || echo "status $?")
[ "$error" = $'ovrik-logo: \'b.png\' is a second picture file; see ovrik-logo --help\nstatus 2' ] ||
    fail "two files: $error"
for option in -display -geometry; do
    error=$(DISPLAY= "$viewer" $option 2>&1 >/dev/null || echo "status $?")
    [ "$error" = "ovrik-logo: '$option' needs a value; see ovrik-logo --help"$'\nstatus 2' ] ||
        fail "$option alone: $error"
done

plain=$viewer_scratch/plain traced=$viewer_scratch/traced
mkdir "$plain" "$traced"
# GLUT's -display takes its value along: the window opens there, and the
# value is not taken for a picture.
start_viewer "$plain" env -u DISPLAY "$viewer" -display "$DISPLAY"
geometry=$(xdotool getwindowgeometry "$viewer_window")
grep -q 'Position: 0,0' <<<"$geometry" && grep -q 'Geometry: 400x400' <<<"$geometry" ||
    fail "window is not 400x400 at 0,0: $geometry"
# Read while the window is open: every line must already be in the file.
[ "$(cat "$plain/stdout.txt")" = "$usage"$'\nFile Not Found : marmor.bmp' ] ||
    fail "stdout without the marble: $(cat "$plain/stdout.txt")"
quit_viewer "$plain"

# A FIFO as marmor.bmp costs one line, not a hang; a picture named on the
# command line is read instead of it, even one named like an option.
odd=$viewer_scratch/odd
mkdir "$odd" && mkfifo "$odd/marmor.bmp" && "$4" "$odd/-odd name.png"
start_viewer "$odd" "$viewer"
quit_viewer "$odd"
[ "$(cat "$odd/stdout.txt")" = "$usage"$'\nFile marmor.bmp is not a regular file' ] ||
    fail "stdout with a FIFO: $(cat "$odd/stdout.txt")"
start_viewer "$odd" apitrace trace --output=named.trace "$viewer" -geometry 300x200+0+0 -- "-odd name.png"
grep -q 'Geometry: 300x200' <<<"$(xdotool getwindowgeometry "$viewer_window")" || fail "-geometry ignored"
quit_viewer "$odd"
[ "$(cat "$odd/stdout.txt")" = "$usage" ] || fail "stdout with a PNG: $(cat "$odd/stdout.txt")"
# A named picture is mipmapped; the marble (traced below) is not.
apitrace dump --color=never "$odd/named.trace" >"$odd/named.txt"
grep -qF 'pname = GL_TEXTURE_MIN_FILTER, param = GL_LINEAR_MIPMAP_LINEAR)' "$odd/named.txt" &&
    grep -qF 'pname = GL_GENERATE_MIPMAP, param = 1)' "$odd/named.txt" ||
    fail "the named picture has no mipmaps"

cp "$2" "$traced/marmor.bmp"
start_viewer "$traced" apitrace trace --output=calls.trace "$viewer"
w=$viewer_window
xdotool sleep 0.5 key --window $w x sleep 0.5 key --window $w G mousemove --window $w 200 200 \
    mousedown 1 mousemove --window $w 300 50 mouseup 1 sleep 0.5 windowsize $w 600 300 sleep 0.5 \
    mousemove --window $w 100 100 mousedown 1 mousemove --window $w 450 75 mouseup 1 sleep 0.5
quit_viewer "$traced"
[ "$(cat "$traced/stdout.txt")" = "$usage" ] || fail "stdout with the marble: $(cat "$traced/stdout.txt")"

apitrace dump --color=never "$traced/calls.trace" | awk -f "$here/gl_calls.awk" >"$traced/calls.txt"
expected=$here/expected_gl_calls.txt
diff -u "$expected" <(head -n "$(wc -l <"$expected")" "$traced/calls.txt") ||
    fail "set-up or first frame differ from $expected"
later=$(tail -n +"$(($(wc -l <"$expected") + 1))" "$traced/calls.txt")
# A key alone brings a frame: turned, with the light still where it started.
grep -qF 'glRotatef(angle = 5, x = 1' <<<"$(grep -A5 -F 'GL_POSITION, params = {0, 0, 2, 0.7}' <<<"$later")" ||
    fail "no frame turned by the x key alone"
for call in 'glMaterialfv(face = GL_FRONT, pname = GL_AMBIENT_AND_DIFFUSE, params = {0.2, 0.65, 0.4, 1})' \
    'glLightfv(light = GL_LIGHT0, pname = GL_POSITION, params = {0.5, 0.75, 2, 0.7})' \
    'glLightfv(light = GL_LIGHT0, pname = GL_SPOT_DIRECTION, params = {-0.5, -0.75, -2})' \
    'glViewport(x = 0, y = 0, width = 600, height = 300)' \
    'glLightfv(light = GL_LIGHT0, pname = GL_POSITION, params = {0.5, 0.5, 2, 0.7})'; do
    grep -qF "$call" <<<"$later" || fail "no later frame calls $call"
done
echo "viewer: ok"
