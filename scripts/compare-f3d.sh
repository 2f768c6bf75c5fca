#!/usr/bin/env bash
# Saving views, side by side with F3D's --output and with the floor of any
# such program on the same machine: wall time and peak resident memory,
# medians of RUNS runs (default 7).
#   - one view at 400 x 400 and 2048 x 2048, against F3D and against a bare
#     EGL program (built here from a few lines of C) that makes the same
#     kind of context, draws one multisampled triangle and reads it back;
#   - a 72-frame turntable of 400 x 400 PNGs (--frames 72) against 72
#     separate --output calls and 72 F3D calls (goals: at most 0.06 and 0.03
#     times their wall time), and 720 frames against 72 (peak memory at most
#     1.05 times);
#   - the default glTF model against the default view's PNG (goals: at most
#     0.3 times its wall time and 0.6 times its peak memory);
#   - a 72-frame 1920 x 1080 PNG stream read by ffmpeg's PNG demuxer, against
#     the same with version 1.4, built here from its commit (goal: at most 0.4
#     times its wall time).
# ovrik-logo draws without a display; F3D, which cannot, draws on a private
# Xvfb, with a box of six faces as its model. As root it installs F3D, ffmpeg
# and GNU time (Debian packages f3d, ffmpeg and time).
#   scripts/compare-f3d.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
runs=${1:-7}

scripts/deps.sh test
command -v f3d >/dev/null && command -v ffmpeg >/dev/null && [ -x /usr/bin/time ] || {
    if [ "$(id -u)" -eq 0 ]; then apt-get install -y -qq --no-install-recommends f3d ffmpeg time; else
        echo "f3d, ffmpeg or GNU time missing: apt-get install f3d ffmpeg time" >&2
        exit 1
    fi
}
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-logo >/dev/null
use_private_display
work=$(mktemp -d)
trap 'git worktree remove --force "$work/v1.4" 2>/dev/null; rm -rf "$work"; kill "$ovrik_xvfb_pid" 2>/dev/null || true' EXIT
# Version 1.4, the last to write PNGs with libpng's default settings.
git worktree add --detach "$work/v1.4" 331bafd >/dev/null 2>&1
cmake -S "$work/v1.4" -B "$work/v1.4/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build "$work/v1.4/build" --target ovrik-logo marble -j "$(nproc)" >/dev/null
printf 'v %s\n' "-1 -1 -1" "1 -1 -1" "1 1 -1" "-1 1 -1" "-1 -1 1" "1 -1 1" "1 1 1" "-1 1 1" >"$work/box.obj"
printf 'f %s\n' "1 4 3 2" "5 6 7 8" "1 2 6 5" "2 3 7 6" "3 4 8 7" "4 1 5 8" >>"$work/box.obj"

# The floor: an EGL surfaceless compatibility context, a 4-sample
# framebuffer of SIDE x SIDE, one triangle, the resolve and the read-back.
cat >"$work/floor.c" <<'C'
#define GL_GLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <stdlib.h>
int main(int argc, char **argv) {
    int side = atoi(argv[1]);
    PFNEGLGETPLATFORMDISPLAYEXTPROC get = (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    EGLDisplay display = get(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, NULL);
    EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE}, count;
    EGLConfig config;
    if (!eglInitialize(display, NULL, NULL) || !eglBindAPI(EGL_OPENGL_API) ||
        !eglChooseConfig(display, wanted, &config, 1, &count) || count < 1) return 1;
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, NULL);
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) return 1;
    GLuint buffers[3], framebuffers[2];
    glGenRenderbuffers(3, buffers);
    glGenFramebuffers(2, framebuffers);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[0]);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, 4, GL_RGBA8, side, side);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, 4, GL_DEPTH_COMPONENT24, side, side);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[1]);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[2]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, side, side);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[2]);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[0]);
    glViewport(0, 0, side, side);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBegin(GL_TRIANGLES);
    glVertex2f(-1, -1), glVertex2f(1, -1), glVertex2f(0, 1);
    glEnd();
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[1]);
    glBlitFramebuffer(0, 0, side, side, 0, 0, side, side, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[1]);
    unsigned char *pixels = malloc((size_t)side * side * 3);
    glReadPixels(0, 0, side, side, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    return pixels[0] == 7; /* read, so the read-back is not left out */
}
C
cc -O2 -o "$work/floor" "$work/floor.c" -lEGL -lGL

# measure COMMAND...: prints "SECONDS KIB", each the median of the runs.
measure() {
    for _ in $(seq "$runs"); do
        /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>&1
        cat "$work/time.txt"
    done >"$work/runs.txt"
    local middle=$(((runs + 1) / 2))
    echo "$(cut -d' ' -f1 "$work/runs.txt" | sort -n | sed -n "${middle}p")" \
        "$(cut -d' ' -f2 "$work/runs.txt" | sort -n | sed -n "${middle}p")"
}
# With `bash -c "$repeat" N COMMAND...`: N calls one after another, as one
# command to measure.
repeat='for _ in $(seq "$0"); do "$@" || exit 1; done'
# ratio LABEL OURS THEIRS GOAL: one line, the ratio of the first numbers.
ratio() {
    awk -v label="$1" -v ours="$2" -v theirs="$3" -v goal="$4" 'BEGIN {
        printf "%s: %.3f s against %.3f s, %.3f times (goal: %s)\n", label, ours, theirs, ours / theirs, goal }'
}

cd build-release
for side in 400 2048; do
    read -r ourTime ourMemory < <(measure env -u DISPLAY ./ovrik-logo --output "$work/ours.png" \
        --size "${side}x${side}")
    read -r floorTime floorMemory < <(measure env -u DISPLAY "$work/floor" "$side")
    read -r theirTime theirMemory < <(measure f3d --output="$work/theirs.png" \
        --resolution="$side,$side" "$work/box.obj")
    awk -v s="$side" -v ot="$ourTime" -v om="$ourMemory" -v tt="$theirTime" -v tm="$theirMemory" \
        -v ft="$floorTime" -v fm="$floorMemory" 'BEGIN {
        printf "%s x %s: ovrik-logo %.3f s, %.1f MiB; bare EGL floor %.3f s, %.1f MiB; f3d on Xvfb %.3f s, %.1f MiB\n", s, s, ot, om / 1024, ft, fm / 1024, tt, tm / 1024
        printf "%s x %s: wall time %.2f times the floor'"'"'s, %.2f times f3d'"'"'s (goal at 2048: at most 0.35); peak memory %.2f times f3d'"'"'s (goal: at most 0.5)\n", s, s, ot / ft, ot / tt, om / tm }'
done

# A model needs no GL: the default glb against the default view's PNG.
read -r modelTime modelMemory < <(measure env -u DISPLAY ./ovrik-logo --output "$work/logo.glb")
read -r viewTime viewMemory < <(measure env -u DISPLAY ./ovrik-logo --output "$work/view.png")
awk -v mt="$modelTime" -v mm="$modelMemory" -v vt="$viewTime" -v vm="$viewMemory" 'BEGIN {
    printf "glb model: %.3f s, %.1f MiB, against the PNG view: %.3f s, %.1f MiB; %.2f times the time (goal: at most 0.3), %.2f times the memory (goal: at most 0.6)\n", mt, mm / 1024, vt, vm / 1024, mt / vt, mm / vm }'

# The turntable: 72 frames from one start, against 72 starts.
read -r clipTime clipMemory < <(measure env -u DISPLAY ./ovrik-logo --output "$work/spin-%02d.png" --frames 72)
read -r longTime longMemory < <(measure env -u DISPLAY ./ovrik-logo --output "$work/long-%03d.png" --frames 720)
runs=$(((runs + 1) / 2)) # a run of 72 calls is long enough to vary little
read -r callsTime _ < <(measure bash -c "$repeat" 72 env -u DISPLAY ./ovrik-logo --output "$work/call.png" --turn 0,5,0)
read -r theirCallsTime _ < <(measure bash -c "$repeat" 72 f3d --output="$work/theirs.png" --resolution=400,400 "$work/box.obj")
ratio "72 frames of 400 x 400, against 72 --output calls" "$clipTime" "$callsTime" "at most 0.06"
ratio "72 frames of 400 x 400, against 72 f3d calls" "$clipTime" "$theirCallsTime" "at most 0.03"
awk -v a="$clipMemory" -v b="$longMemory" 'BEGIN {
    printf "peak memory: %.1f MiB for 72 frames, %.1f MiB for 720, %.3f times (goal: at most 1.05)\n", a / 1024, b / 1024, b / a }'

# A 1920 x 1080 stream into ffmpeg, which reads every PNG and writes nothing.
stream='"$0" --output - --frames 72 --size 1920x1080 | ffmpeg -v error -f png_pipe -i - -f null -'
read -r streamTime _ < <(measure env -u DISPLAY bash -c "$stream" ./ovrik-logo)
read -r oldStreamTime _ < <(cd "$work/v1.4/build" && measure env -u DISPLAY bash -c "$stream" ./ovrik-logo)
ratio "72 frames of 1920 x 1080 streamed to ffmpeg, against 1.4" "$streamTime" "$oldStreamTime" "at most 0.4"
