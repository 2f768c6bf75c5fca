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
version=$(DISPLAY= "$viewer" --version) && [ "$version" = "ovrik-logo $3" ] || fail "--version: $version"
refused() { # refused "MESSAGE" ARGUMENTS...: one line on stderr, status 2, before any display
    local expected=$1 error
    shift
    error=$(cd "$viewer_scratch" && DISPLAY= "$viewer" "$@" 2>&1 >/dev/null || echo "status $?")
    [ "$error" = "ovrik-logo: $expected; see ovrik-logo --help"$'\nstatus 2' ] || fail "$*: $error"
}
refused "'--tile' is not known" -sync --tile 4
refused "'b.png' is a second picture file" a.png -- b.png
for option in -display -geometry --output --turn; do
    refused "'$option' needs a value" $option
done
refused "'--samples' needs --output" --samples 8
refused "'--frames' needs --output" --frames 3
refused "--output 'spin.png' is not NAME-%03d.png, NAME.webp, NAME.mp4, NAME.webm, NAME.gif, -, mp4:- or gif:-, which hold more than one frame" \
    --output spin.png --frames 2
refused "'--background transparent' means nothing for an MP4, which holds no partial transparency; NAME.webp does" --output spin.mp4 --background transparent
(export OVRIK_EGL_PLATFORM=wayland && refused "OVRIK_EGL_PLATFORM 'wayland' is not surfaceless, device or default" --output a.png)
# Pictures, clips and models are not written to a terminal.
for stream in "-|pictures|view.png" "gif:-|a clip|spin.gif" "mp4:-|a clip|spin.mp4" "glb:-|a model|logo.glb" "stl:-|a model|logo.stl"; do
    IFS='|' read -r out what file <<<"$stream"
    terminal=$(script -qec "$viewer --output $out; echo status \$?" /dev/null | tr -d '\r')
    [ "$terminal" = "ovrik-logo: --output $out would write $what to the terminal; redirect standard output, as in --output $out > $file; see ovrik-logo --help"$'\nstatus 2' ] ||
        fail "--output $out on a terminal: $terminal"
done

# --output draws with no display at all, or with one that cannot be opened,
# and prints nothing but the PNG; what it cannot do costs one line and
# status 1, and leaves no file. (grep reads the whole PNG: stopping at the
# first match would end tr with SIGPIPE, which pipefail counts.)
saved=$viewer_scratch/saved
mkdir "$saved" && cp "$2" "$saved/marmor.bmp"
(cd "$saved" && env -u DISPLAY "$viewer" --output view.png --turn 5,0,0 >out.txt 2>&1) &&
    (cd "$saved" && DISPLAY=:12345 "$viewer" --output - --turn 5,0,0 >stdout.png 2>err.txt) &&
    [ ! -s "$saved/out.txt" ] && [ ! -s "$saved/err.txt" ] && cmp -s "$saved/view.png" "$saved/stdout.png" && tr '\0' ' ' <"$saved/view.png" | grep -aF "Software $version" >/dev/null ||
    fail "--output: $(cat "$saved/out.txt" "$saved/err.txt")"
failed() { # [in=FOLDER] failed "MESSAGE" ARGUMENTS...
    local expected=$1 error
    shift
    error=$(cd "${in:-$saved}" && env -u DISPLAY "$@" 2>&1 >/dev/null || echo "status $?")
    [ "$error" = "$expected"$'\nstatus 1' ] || fail "$*: $error"
}
failed "ovrik-logo: cannot write none/view.png: No such file or directory" "$viewer" --output none/view.png
failed "File Not Found : photo.png" "$viewer" --output photo-view.png photo.png
mkfifo "$saved/fifo.png"
failed "File fifo.png is not a regular file" "$viewer" --output fifo-view.png fifo.png
failed "ovrik-logo: cannot draw without a window: no EGL display on Mesa's surfaceless platform (Debian package libegl-mesa0), nor on an EGL device or the default display" \
    env __EGL_VENDOR_LIBRARY_FILENAMES=/none "$viewer" --output egl-view.png
[ "$(ls -A "$saved" | sort | tr '\n' ' ')" = "err.txt fifo.png marmor.bmp out.txt stdout.png view.png " ] ||
    fail "files left behind: $(ls -A "$saved")"

# Clips: every way to EGL gives the same view; progress shows on a terminal
# only; a WebP holds its frames with alpha, a stream its PNGs; a frame that
# cannot be written is named and the frames before it stay; what is not a
# file is written into; a clip killed part-way leaves nothing under a final
# name.
clips=$viewer_scratch/clips
mkdir "$clips" "$clips/folder" "$clips/folder.webp" "$clips/f-2.png" && cp "$2" "$clips/marmor.bmp"
in_clips() { (cd "$clips" && "$@"); }
for platform in surfaceless device default; do # the default display with X's still there
    in_clips env $([ $platform = default ] || echo -u DISPLAY) OVRIK_EGL_PLATFORM=$platform "$viewer" --output $platform.png --turn 5,0,0 &&
        cmp -s "$saved/view.png" "$clips/$platform.png" || fail "EGL's $platform platform drew another view"
done
in_clips "$viewer" --output quiet-%d.png --frames 3 2>"$clips/quiet.txt"
progress=$(cd "$clips" && script -qec "$viewer --output shown-%d.png --frames 3" /dev/null | od -An -c | tr -s ' \n' ' ')
[ ! -s "$clips/quiet.txt" ] && [ "$progress" = " \r f r a m e 1 o f 3 \r f r a m e 2 o f 3 \r f r a m e 3 o f 3 \r 033 [ K " ] ||
    fail "progress: '$progress', without a terminal: $(cat "$clips/quiet.txt")"
in_clips "$viewer" --output clip.webp --frames 4 --background transparent --fps 8
in_clips "$viewer" --output still.webp
in_clips "$viewer" --output still.gif
[ "$(head -c 6 "$clips/still.gif")$(grep -aoc NETSCAPE2.0 "$clips/still.gif")" = GIF89a0 ] || fail "still.gif is no still GIF"
[ "$(grep -aoc ANMF "$clips/clip.webp")$(grep -aoc ALPH "$clips/clip.webp")" = 44 ] &&
    [ "$(head -c 4 "$clips/still.webp")$(grep -aoc ANMF "$clips/still.webp")" = RIFF0 ] ||
    fail "clip.webp is not 4 frames with alpha, or still.webp no still WebP"
[ "$(in_clips "$viewer" --output - --frames 3 --size 20x10 | grep -aoc IEND)" = 3 ] || fail "the stream holds no 3 PNGs"
[ "$(in_clips "$viewer" --output gif:- --frames 3 --size 20x10 | head -c 6)" = GIF89a ] || fail "gif:- holds no GIF"
# A video as ffprobe reads it: codec, profile, tags, rate and every frame.
in_clips "$viewer" --output mp4:- --frames 5 --fps 8 --size 64x48 >"$clips/piped.mp4"
for video in clip.mp4 clip.webm piped.mp4; do
    [ -e "$clips/$video" ] || in_clips "$viewer" --output $video --frames 5 --fps 8 --size 64x48
    probed=$(ffprobe -v error -count_frames -show_entries stream=codec_name,profile,pix_fmt,color_range,color_space,color_transfer,color_primaries,avg_frame_rate,nb_read_frames -of csv=p=0 "$clips/$video")
    [[ "$probed" =~ ^(h264,High|vp9,Profile\ 0),yuv420p,tv,bt709,bt709,bt709,8/1,5$ ]] || fail "$video: $probed"
done
in=$clips failed "ovrik-logo: cannot write f-2.png: Is a directory (2 of 4 frames written)" \
    "$viewer" --output f-%d.png --frames 4
[ -s "$clips/f-0.png" ] && [ -s "$clips/f-1.png" ] || fail "the frames before the one that failed are gone"
for folder in folder folder.webp; do in=$clips failed "ovrik-logo: cannot write $folder: Is a directory" "$viewer" --output $folder; done
# Killed part-way, a clip leaves no partial file under a final name.
(cd "$clips" && exec env -u DISPLAY "$viewer" --output long.webp --frames 100000) &
long=$!
(cd "$clips" && exec env -u DISPLAY "$viewer" --output long.gif --frames 100000 --size 32x32) &
gif=$!
(cd "$clips" && exec env -u DISPLAY "$viewer" --output k-%d.png --frames 100000 --size 32x32) &
numbered=$!
for _ in $(seq 300); do [ -e "$clips/k-1.png" ] && break || sleep 0.1; done
{ kill -9 $long $gif $numbered && wait $long $gif $numbered; } 2>/dev/null || true
[ ! -e "$clips/long.webp" ] && [ ! -e "$clips/long.gif" ] && [ -s "$clips/k-0.png" ] || fail "a killed clip: $(ls "$clips")"
# Stopped by a signal (SIGTERM here: a script's background job ignores
# Ctrl-C's), it also removes its temporary file and ends by the signal.
rm -f "$clips"/.long.*
for long in long.webp long.gif; do
    (cd "$clips" && exec env -u DISPLAY "$viewer" --output $long --frames 100000) &
    long=$!
    sleep 3 && kill -TERM $long && status=0 && wait $long || status=$?
    [ "$status" = 143 ] && [ -z "$(ls -A "$clips" | grep long)" ] || fail "Ctrl-C: status $status, $(ls -A "$clips")"
done
for frame in "$clips"/k-*.png; do
    [ "$(tail -c 8 "$frame" | head -c 4)" = IEND ] || fail "$frame is not whole"
done
[ -z "$(ls -A "$clips/folder")" ] || fail "files left in a folder named as the output"

# Models need no GL at all. A kind refuses every option that means nothing for it and
# takes the others, each from its least to its largest value and no further, into the
# file; into a pipe, a model stream is the file's very bytes.
models=$viewer_scratch/models
mkdir "$models" "$models/folder.glb" && cp "$2" "$models/marmor.bmp"
in_models() { (cd "$models" && env -u DISPLAY __EGL_VENDOR_LIBRARY_FILENAMES=/none "$viewer" "$@"); }
# model FILE EXPRESSION: EXPRESSION on the file's bytes b, its text t, and a glb's JSON j and binary chunk at o.
model() { node -e 'const b = require("fs").readFileSync(process.argv[1]), t = b.toString(), o = 28 + b.readUInt32LE(12); let j; try { j = JSON.parse(b.subarray(20, o - 8)); } catch {} console.log(eval(process.argv[2]))' "$models/$1" "$2"; }
declare -A name=([glb]="a glTF model" [obj]="an OBJ model" [stl]="an STL model") takes=([glb]="--turn, --colour, --light, --size, --frames, --spin, --fps, --scale and a picture FILE" [obj]="--colour, --scale and a picture FILE" [stl]="--scale alone") \
    half=([glb]='j.accessors[j.meshes[0].primitives[0].attributes.POSITION].max[0] * 1000' [obj]='Math.max(...t.match(/^v \S+/gm).map(v => v.slice(2))) * 1000' [stl]='Math.max(...Array.from({length: b.readUInt32LE(80) * 3}, (_, i) => b.readFloatLE(96 + 50 * (i / 3 | 0) + 12 * (i % 3))))')
options=(--turn 0,30,0 --colour 1,0,0.5 --light 1,1 --size 20x10 --samples 4 --background transparent --frames 3 --spin 0,90,0 --fps 8 --quality 50 --scale 25)
for kind in glb obj stl; do # every option at once, as the half width (1.7 units) in millimetres shows
    taken=()
    for ((i = 0; i < ${#options[@]}; i += 2)); do
        [[ "${takes[$kind]} " == *"${options[i]}"[,\ ]* ]] && taken+=("${options[@]:i:2}") ||
            refused "'${options[i]}' means nothing for ${name[$kind]}, which takes ${takes[$kind]}" --output a.$kind "${options[@]:i:2}"
    done
    in_models --output all.$kind "${taken[@]}" && [ "$(model all.$kind "Math.abs(${half[$kind]} / 42.5 - 1) < 1e-6")" = true ] || fail "--scale 25 did not reach all.$kind"
    [ $kind = obj ] || { in_models --output $kind:- "${taken[@]}" | cat >"$models/piped.$kind" && cmp "$models/piped.$kind" "$models/all.$kind"; } || fail "$kind:- into a pipe"
done
refused "a picture FILE means nothing for an STL model, which takes --scale alone" --output a.stl a.jpg
refused "--output 'obj:-' would put an OBJ on standard output, but its material and picture are files beside it" --output obj:-
refused "'--scale' needs --output NAME.glb, NAME.obj or NAME.stl" --output view.png --scale 10
glb=$(model all.glb 'JSON.stringify([j.asset.generator, j.accessors[j.animations[0].samplers[0].input].max, j.nodes[0].rotation.map(v => +v.toFixed(5)), j.cameras[0].perspective.aspectRatio, j.materials[0].pbrMetallicRoughness.baseColorFactor.map(v => +v.toFixed(4))])') && [ "$glb" = "[\"$version\",[0.375],[0,0.25882,0,0.96593],2,[1,0,0.214,1]]" ] &&
    grep -qx 'Kd 1 0 0.5' "$models/all.mtl" || fail "all.glb or all.mtl: $glb, $(grep Kd "$models/all.mtl")"
while IFS='|' read -r kinds option least largest below beyond message; do
    for kind in $kinds; do
        for value in $least $largest; do
            in_models --output limit.$kind $option $value || fail "$option $value refused for $kind"
            [ $option != --scale ] || [ "$(model limit.$kind "Math.abs(${half[$kind]} / 1.7 / $value - 1) < 1e-6")" = true ] || fail "--scale $value did not reach limit.$kind"
        done
        for value in $below $beyond; do refused "$option '$value' $message" --output a.$kind $option $value; done
    done
done <<'EOF'
glb obj stl|--scale|0.01|100000|0.00999|100000.01|is not a length from 0.01 to 100000 millimetres
glb|--fps|1|120|0.999|120.001|is not a rate from 1 to 120 frames a second
glb|--frames|1|100000|0|100001|is not a whole number of frames from 1 to 100000
glb|--size|1x1|16384x16384|1x0|16385x16384|is not WxH, each side from 1 to 16384
glb obj|--colour|0,0,0|1,1,1|0,0,-0.001|1.001,1,1|is not three values R,G,B from 0 to 1
glb|--turn|-2147483647.9,0,0|0,0,2147483647.9|-2147483648,0,0|0,0,2147483648|is not three angles X,Y,Z in degrees
glb|--light|-3.4e38,0|0,3.4e38|-3.41e38,0|0,3.41e38|is not two finite numbers X,Y
EOF
in=$models failed "ovrik-logo: cannot write folder.glb: Is a directory" "$viewer" --output folder.glb
# The window's picture, upright as the window shows it: PNG from a BMP or PNG, JPEG from a
# JPEG, named by the material, the same bytes in the glb; read back, a PNG's very pixels.
"$4" "$models/turned.jpg" 64x32 6 && "$4" "$models/turned.png" 64x32 6
for source in "|png|256 x 256" "turned.jpg|jpg|32x64" "turned.png|png|32 x 64"; do
    IFS='|' read -r file ext size <<<"$source"
    rm -f "$models"/logo.* && in_models --output logo.obj $file && in_models --output logo.glb $file && grep -qx "map_Kd logo.$ext" "$models/logo.mtl" &&
        [ "$(model logo.glb "require('fs').writeFileSync('$models/glb.$ext', b.subarray(o).subarray(j.bufferViews[j.images[0].bufferView].byteOffset).subarray(0, j.bufferViews[j.images[0].bufferView].byteLength)), j.images[0].mimeType")" = "image/${ext/jpg/jpeg}" ] &&
        [[ "$(file -b "$models/logo.$ext")" == *", $size,"* ]] && cmp "$models/logo.$ext" "$models/glb.$ext" && in_models --output again.obj logo.$ext &&
        { [ $ext = jpg ] || cmp "$models/logo.png" "$models/again.png"; } || fail "the picture from ${file:-the marble}: $(ls "$models")"
done
(cd "$models" && env -u DISPLAY "$viewer" --output seen.png turned.png && env -u DISPLAY "$viewer" --output shown.png logo.png) &&
    cmp "$models/seen.png" "$models/shown.png" || fail "the OBJ's picture is not the photo as the window shows it"
# A failure at any step of the OBJ's three files names the file and leaves the set as it was.
set=$models/set
# A rename fails where a bind mount holds the name, in a mount namespace of
# the test's own; a chroot (as in the fresh-Debian check) cannot make one.
unshare -rm true 2>/dev/null || echo "viewer: no mount namespace here, so OBJ renames are not made to fail"
while IFS='|' read -r file reason setup bound; do
    [ -z "$bound" ] || unshare -rm true 2>/dev/null || continue
    rm -rf "$set" && mkdir "$set" && for f in obj mtl png; do echo older >"$set/logo.$f"; done && (cd "$set" && eval "$setup")
    held=() && [ -z "$bound" ] || held=(unshare -rm sh -c 'mount --bind "$0" "$0"; exec "$@"' "$bound")
    in=$set failed "ovrik-logo: cannot write $file: $reason" "${held[@]}" "$viewer" --output logo.obj ../marmor.bmp
    [ "$(ls -A "$set" | tr '\n' ' ')" = "logo.mtl logo.obj logo.png " ] && [ -z "$(find "$set" -type f -exec grep -Lx older {} +)" ] || fail "$file, $reason: $(ls -Al "$set")"
done <<'EOF'
logo.png|No such file or directory|ln -sf gone/logo.png logo.png|
logo.obj|Is a directory|rm logo.obj && mkdir logo.obj|
logo.mtl|No space left on device|ln -sf /dev/full logo.mtl|
logo.mtl|Device or resource busy|:|logo.mtl
logo.obj|Device or resource busy|:|logo.obj
EOF
# A lossy picture goes into the model as JPEG: a phone's HEIC, turned as it says.
"$4" "$models/photo.heic" 64x48 6 && in_models --output photo.obj photo.heic &&
    file -b "$models/photo.jpg" | grep -q '^JPEG image data.*, 48x64,' || fail "the HEIC in the model: $(ls "$models")"

plain=$viewer_scratch/plain traced=$viewer_scratch/traced

mkdir "$plain" "$traced"
# GLUT's -display takes its value along: the window opens there, and the
# value is not taken for a picture.
# The view options set the view the window opens with.
start_viewer "$plain" env -u DISPLAY "$viewer" -display "$DISPLAY" --turn 0,-365,0 \
    --colour 0.5,1,0.25 --light -1,0.75
geometry=$(xdotool getwindowgeometry "$viewer_window")
grep -q 'Position: 0,0' <<<"$geometry" && grep -q 'Geometry: 400x400' <<<"$geometry" ||
    fail "window is not 400x400 at 0,0: $geometry"
# Read while the window is open: every line must already be in the file.
[ "$(cat "$plain/stdout.txt")" = "$usage"$'\nFile Not Found : marmor.bmp' ] ||
    fail "stdout without the marble: $(cat "$plain/stdout.txt")"
# --light holds until the first drag, which then places the light.
w=$viewer_window
xdotool key --window $w F12 sleep 0.5 mousemove --window $w 200 200 mousedown 1 \
    mousemove --window $w 300 100 mouseup 1 sleep 0.5 key --window $w F12 sleep 0.5
quit_viewer "$plain"
[ "$(tail -n2 "$plain/stdout.txt")" = "Saved ovrik-logo-1.png (--turn 0,-5,0 --colour 0.5,1,0.25 --light -1,0.75)
Saved ovrik-logo-2.png (--turn 0,-5,0 --colour 0.5,1,0.25 --light 0.5,0.5)" ] ||
    fail "the window did not open with the view options: $(tail -n2 "$plain/stdout.txt")"

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
# A named picture is mipmapped, level by level down to 1 x 1; the marble
# (traced below) is not.
apitrace dump --color=never "$odd/named.trace" >"$odd/named.txt"
grep -qF 'pname = GL_TEXTURE_MIN_FILTER, param = GL_LINEAR_MIPMAP_LINEAR)' "$odd/named.txt" &&
    grep -q 'glTexImage2D(target = GL_TEXTURE_2D, level = 8, internalformat = 3, width = 1, height = 1' "$odd/named.txt" &&
    ! grep -q GL_GENERATE_MIPMAP "$odd/named.txt" || fail "the named picture has no mipmaps"

# F12 saves what --output draws for the window's size and the options it
# prints, under the first free name, and asks for no frame.
cp "$2" "$traced/marmor.bmp" && echo kept >"$traced/ovrik-logo-1.png"
start_viewer "$traced" apitrace trace --output=calls.trace "$viewer"
w=$viewer_window
xdotool sleep 0.5 key --window $w x sleep 0.5 key --window $w G mousemove --window $w 200 200 \
    mousedown 1 mousemove --window $w 300 50 mouseup 1 sleep 0.5 windowsize $w 600 300 sleep 0.5 \
    mousemove --window $w 100 100 mousedown 1 mousemove --window $w 450 75 mouseup 1 sleep 0.5 \
    key --window $w F12 sleep 0.5
quit_viewer "$traced"
options="--turn 5,0,0 --colour 0.2,0.65000004,0.4 --light 0.5,0.5"
[ "$(cat "$traced/stdout.txt")" = "$usage"$'\n'"Saved ovrik-logo-2.png ($options)" ] ||
    fail "stdout with the marble: $(cat "$traced/stdout.txt")"
(cd "$traced" && env -u DISPLAY "$viewer" --output again.png --size 600x300 $options) &&
    cmp "$traced/ovrik-logo-2.png" "$traced/again.png" && [ "$(cat "$traced/ovrik-logo-1.png")" = kept ] ||
    fail "F12 saved another view than --output draws"
# A folder that cannot be written to costs one line; the viewer carries on.
gone=$viewer_scratch/gone
mkdir -p "$gone/work"
start_viewer "$gone" bash -c 'cd work && exec "$0"' "$viewer"
rmdir "$gone/work"
xdotool key --window "$viewer_window" F12 sleep 0.5
quit_viewer "$gone"
[ "$(cat "$gone/stdout.txt")" = "$usage"$'\nFile Not Found : marmor.bmp\nCannot save ovrik-logo-1.png: No such file or directory' ] ||
    fail "F12 in a folder that is gone: $(cat "$gone/stdout.txt")"

apitrace dump --color=never "$traced/calls.trace" | awk -f "$here/gl_calls.awk" >"$traced/calls.txt"
expected=$here/expected_gl_calls.txt
diff -u "$expected" <(head -n "$(wc -l <"$expected")" "$traced/calls.txt") ||
    fail "set-up or first frame differ from $expected"
later=$(tail -n +"$(($(wc -l <"$expected") + 1))" "$traced/calls.txt")
# A key alone brings a frame: turned, with the light still where it started.
grep -qF 'glRotatef(angle = 5, x = 1' <<<"$(grep -A5 -F 'GL_POSITION, params = {0, 0, 2, 0.7}' <<<"$later")" ||
    fail "no frame turned by the x key alone"
grep -q glXSwapBuffers <<<"$(sed -n '/glReadPixels/h; /glReadPixels/!H; ${x;p}' <<<"$later")" &&
    fail "F12 brought a frame"
for call in 'glMaterialfv(face = GL_FRONT, pname = GL_AMBIENT_AND_DIFFUSE, params = {0.2, 0.65, 0.4, 1})' \
    'glLightfv(light = GL_LIGHT0, pname = GL_POSITION, params = {0.5, 0.75, 2, 0.7})' \
    'glLightfv(light = GL_LIGHT0, pname = GL_SPOT_DIRECTION, params = {-0.5, -0.75, -2})' \
    'glViewport(x = 0, y = 0, width = 600, height = 300)' \
    'glLightfv(light = GL_LIGHT0, pname = GL_POSITION, params = {0.5, 0.5, 2, 0.7})'; do
    grep -qF "$call" <<<"$later" || fail "no later frame calls $call"
done
echo "viewer: ok"
