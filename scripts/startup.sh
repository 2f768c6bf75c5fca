#!/usr/bin/env bash
# Start-up on a private Xvfb display, medians of RUNS starts each (default 7):
# time from start to the first drawn frame, peak resident memory and the CPU
# time used until then, for
#   - the viewer with its marble, against Mesa's glxgears demo;
#   - the viewer with a 12-megapixel JPEG (4032 x 3024, as a phone takes
#     them) named on the command line, against the marble (goal: peak memory
#     at most 1.15 times) and against djpeg decoding that file at the DCT
#     scale the viewer uses (goal: the CPU time the photograph adds at most
#     1.25 times djpeg's);
#   - the viewer with the same photograph as HEIC, against the marble and
#     heif-convert decoding that file to raw YUV (goals: the CPU time the
#     photograph adds at most 1.3 times heif-convert's, the peak memory it
#     adds at most 1.2 times heif-convert's peak).
# The marble's start against glxgears has goals of its own: peak memory at
# most 1.025 times, first frame at most 1.05 times. With --compare PROGRAM,
# another build of the viewer (an earlier version, say) starts its marble in
# the same run.
#   scripts/startup.sh [RUNS] [--compare PROGRAM]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
runs=7 other=
while [ $# -gt 0 ]; do
    case $1 in
    --compare) other=$(realpath "$2") && shift 2 ;;
    *) runs=$1 && shift ;;
    esac
done

scripts/deps.sh test
tools="mesa-utils x11-apps libjpeg-turbo-progs libheif-examples time"
command -v glxgears >/dev/null && command -v xwd >/dev/null && command -v djpeg >/dev/null &&
    command -v heif-convert >/dev/null && [ -x /usr/bin/time ] || {
    if [ "$(id -u)" -eq 0 ]; then apt-get install -y -qq $tools; else
        echo "glxgears, xwd, djpeg, heif-convert or time missing: apt-get install $tools" >&2
        exit 1
    fi
}
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-logo make-marble >/dev/null
use_private_display
photo=$(mktemp --suffix=.jpg) heic=$(mktemp --suffix=.heic) yuv=$(mktemp --suffix=.y4m)
trap 'rm -f "$photo" "$heic" "$yuv"; kill "$ovrik_xvfb_pid" 2>/dev/null || true' EXIT
build-release/make-marble "$photo" 4032x3024
build-release/make-marble "$heic" 4032x3024

# Whether a 400 x 400 window shows anything but black, as it does once drawn.
drawn() {
    [ -n "$(xwd -silent -id "$1" 2>/dev/null | tail -c $((400 * 400 * 4)) | tr -d '\000' | head -c 1)" ]
}

# CPU time of a process and all its threads so far, in microseconds: each
# live thread's from its schedstat, to the nanosecond, and the threads that
# have ended (libheif decodes in threads of its own) from what the process's
# utime and stime, in clock ticks, hold beyond the live threads' own.
tick_us=$((1000000 / $(getconf CLK_TCK)))
cpu_us() {
    local live ended
    live=$(cat /proc/"$1"/task/*/schedstat | awk '{ ns += $1 } END { printf "%d", ns / 1000 }')
    ended=$({ sed 's/.*) //' /proc/"$1"/stat && sed 's/.*) //' /proc/"$1"/task/*/stat; } |
        awk -v tick="$tick_us" 'NR == 1 { all = $12 + $13; next } { live += $12 + $13 }
            END { printf "%d", (all > live ? all - live : 0) * tick }')
    echo $((live + ended))
}

# One start: prints "MILLISECONDS_TO_FIRST_FRAME PEAK_RSS_KIB CPU_MICROSECONDS".
measure() {
    local name=$1
    shift
    local start pid window stop
    start=$(date +%s%N)
    (cd build-release && exec "$@" >/dev/null 2>&1) &
    pid=$!
    # A tight loop: xdotool's own --sync waits in half-second steps.
    window=
    while [ -z "$window" ]; do
        window=$(xdotool search --onlyvisible --pid "$pid" --name "$name" 2>/dev/null | head -n1 || true)
    done
    until drawn "$window"; do :; done
    stop=$(date +%s%N)
    sleep 1
    local peak cpu
    peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    cpu=$(cpu_us "$pid")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "$(((stop - start) / 1000000)) $peak $cpu"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# report LABEL WINDOW_NAME COMMAND...: prints the medians; sets first, kib
# and cpu.
report() {
    local label=$1
    shift
    local results=()
    for _ in $(seq "$runs"); do
        results+=("$(measure "$@")")
    done
    local ms
    ms=$(printf '%s\n' "${results[@]}" | cut -d' ' -f1 | median)
    first=$ms
    kib=$(printf '%s\n' "${results[@]}" | cut -d' ' -f2 | median)
    cpu=$(printf '%s\n' "${results[@]}" | cut -d' ' -f3 | median)
    echo "$label: first frame after $ms ms, peak resident memory $kib KiB, CPU $((cpu / 1000)) ms (median of $runs)"
}

report "ovrik-logo           " '^Ovrik-Logo$' ./ovrik-logo
marble_kib=$kib marble_cpu=$cpu marble_first=$first
report "glxgears             " '^glxgears$' glxgears -geometry 400x400+0+0
awk -v kib="$marble_kib" -v gears="$kib" -v first="$marble_first" -v gears_first="$first" 'BEGIN {
    printf "peak memory, marble / glxgears: %.3f (goal: at most 1.025)\n", kib / gears
    printf "first frame, marble / glxgears: %.3f (goal: at most 1.05)\n", first / gears_first }'
if [ -n "$other" ]; then
    report "$other" '^Ovrik-Logo$' "$other"
fi
report "ovrik-logo photo.jpg " '^Ovrik-Logo$' ./ovrik-logo "$photo"
photo_kib=$kib photo_cpu=$cpu
report "ovrik-logo photo.heic" '^Ovrik-Logo$' ./ovrik-logo "$heic"
heic_kib=$kib heic_cpu=$cpu

# The viewer's DCT scale: the smallest n/8 that leaves the longer side at
# least 1024 pixels.
scale=$(((1024 * 8 + 4031) / 4032))/8
djpeg_runs=()
for _ in $(seq "$runs"); do
    djpeg_runs+=("$( { TIMEFORMAT='%3U %3S'; time djpeg -scale "$scale" -outfile /dev/null "$photo"; } 2>&1 |
        awk '{ printf "%d", ($1 + $2) * 1000000 }')")
done
djpeg_cpu=$(printf '%s\n' "${djpeg_runs[@]}" | median)
echo "djpeg -scale $scale         : CPU $((djpeg_cpu / 1000)) ms (median of $runs)"
awk -v photo="$photo_kib" -v marble="$marble_kib" -v added=$((photo_cpu - marble_cpu)) \
    -v djpeg="$djpeg_cpu" 'BEGIN {
        printf "peak memory, photo.jpg / marble: %.2f (goal: at most 1.15)\n", photo / marble
        printf "CPU added by photo.jpg / djpeg: %.2f (goal: at most 1.25)\n", added / djpeg }'

# heif-convert's CPU time (user and system, all threads) and peak memory.
convert_runs=()
for _ in $(seq "$runs"); do
    convert_runs+=("$(/usr/bin/time -f '%U %S %M' heif-convert --quiet "$heic" "$yuv" 2>&1 >/dev/null |
        tail -n1 | awk '{ printf "%d %d", ($1 + $2) * 1000000, $3 }')")
done
convert_cpu=$(printf '%s\n' "${convert_runs[@]}" | cut -d' ' -f1 | median)
convert_kib=$(printf '%s\n' "${convert_runs[@]}" | cut -d' ' -f2 | median)
echo "heif-convert to y4m    : peak resident memory $convert_kib KiB, CPU $((convert_cpu / 1000)) ms (median of $runs)"
awk -v added_kib=$((heic_kib - marble_kib)) -v added_cpu=$((heic_cpu - marble_cpu)) \
    -v kib="$convert_kib" -v cpu="$convert_cpu" 'BEGIN {
        printf "CPU added by photo.heic / heif-convert: %.2f (goal: at most 1.3)\n", added_cpu / cpu
        printf "peak memory added by photo.heic / heif-convert: %.2f (goal: at most 1.2)\n", added_kib / kib }'
