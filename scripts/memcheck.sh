#!/usr/bin/env bash
# valgrind memcheck over the unit tests, which feed every picture format and
# every damaged file through the system's decoders, and over one run of the
# real viewer: start, keys, a drag, F12, Escape; and over a view saved
# without a window, in tiles, with alpha, and clips. Fails on any invalid access or
# definitely-lost block outside the GL stack and the tests' HEIC encoder
# (tests/sanitizers/valgrind.supp names those libraries only).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh

if [ "${1:-}" != "--no-build" ]; then
    scripts/deps.sh test
    cmake --preset default >/dev/null
    cmake --build --preset default --target ovrik-logo ovrik-unit-tests
fi
valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    --suppressions=tests/sanitizers/valgrind.supp --quiet build/tests/ovrik-unit-tests --gtest_brief=1 >/dev/null ||
    { echo "memcheck: the unit tests failed under valgrind" && exit 1; }
echo "memcheck: unit tests clean"
use_private_display
# softpipe: no JIT code for valgrind to trip over. The driver is loaded up
# front so that its frames keep their names after Mesa unloads it at exit.
driver=$( (find /usr/lib/*/dri /usr/lib/dri -name swrast_dri.so 2>/dev/null || true) | head -n1)

work=$(mktemp -d)
cp build/marmor.bmp "$work/"
log="$work/memcheck.log"
root=$PWD
(cd "$work" && LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=softpipe LD_PRELOAD=$driver \
    exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite --errors-for-leak-kinds=definite --num-callers=30 \
    --suppressions="$root/tests/sanitizers/valgrind.supp" \
    "$root/build/ovrik-logo" >/dev/null 2>"$log") &
pid=$!

window=$(timeout 180 xdotool search --sync --onlyvisible --name '^Ovrik-Logo$' | head -n1)
xdotool key --window "$window" --delay 20 x y z X Y Z r g b R G B a space F12 2>/dev/null
xdotool mousemove --window "$window" 100 100 mousedown 1 \
    mousemove --window "$window" 300 250 mousemove --window "$window" 600 500 mouseup 1
sleep 3
xdotool keydown --window "$window" Escape 2>/dev/null
status=0
wait "$pid" || status=$?

# Saved without a window: a tiled view with alpha, then clips, whose frames
# are compressed on a second thread: a transparent WebP and numbered PNGs;
# then the models.
save_under_memcheck() {
    (cd "$work" && env -u DISPLAY LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=softpipe LD_PRELOAD=$driver \
        valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --show-leak-kinds=definite \
        --errors-for-leak-kinds=definite --num-callers=30 \
        --suppressions="$root/tests/sanitizers/valgrind.supp" "$root/build/ovrik-logo" "$@" \
        >/dev/null 2>>"$log") || status=$?
}
save_under_memcheck --output saved.png --size 1500x300 --background transparent
save_under_memcheck --output clip.webp --frames 3 --size 200x100 --background transparent
save_under_memcheck --output frame-%d.png --frames 2 --size 200x100
# Models, with no GL: a glTF turntable, an OBJ with its picture, an STL.
save_under_memcheck --output model.glb --frames 3
save_under_memcheck --output model.obj
save_under_memcheck --output model.stl

grep -E "Invalid (read|write)|definitely lost|ERROR SUMMARY" "$log" | sed 's/^==[0-9]*== /memcheck: /'
if [ "$status" -ne 0 ] || [ ! -s "$work/saved.png" ] || [ ! -s "$work/ovrik-logo-1.png" ] ||
    [ ! -s "$work/clip.webp" ] || [ ! -s "$work/frame-1.png" ] || [ ! -s "$work/model.glb" ] ||
    [ ! -s "$work/model.png" ] || [ ! -s "$work/model.stl" ]; then
    echo "memcheck: failed with status $status; full log:"
    cat "$log"
    rm -rf "$work"
    exit 1
fi
rm -rf "$work"
echo "memcheck: clean"
