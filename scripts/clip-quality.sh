#!/usr/bin/env bash
# Measures the MP4 and WebM clips against ffmpeg's encoders on the same
# frames (the program's own numbered PNGs), each anchor converting with the
# BT.709 matrix it tags: PSNR against the PNGs (ffmpeg's psnr filter, both
# sides in RGB), size and time. Then the 1080p speed: a 72-frame MP4 against
# the PNG stream piped into ffmpeg, in one run.
#   scripts/clip-quality.sh [VIEWER] [SIZE] [FRAMES]   (default build/ovrik-logo 1280x720 72)
# Goals: PSNR within 0.1 dB of the anchor or above and size at most 1.05x,
# for each; the 1080p MP4 in at most 0.8x the pipe's time.
set -euo pipefail
viewer=$(realpath "${1:-build/ovrik-logo}")
size=${2:-1280x720} frames=${3:-72}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$(dirname "$viewer")/marmor.bmp" "$work/" && cd "$work"
seconds() { # seconds COMMAND...: the wall time of COMMAND
    local start
    start=$(date +%s.%N)
    "$@"
    echo "$(date +%s.%N) - $start" | bc
}
# The mean PSNR over every frame of a video against the PNGs, in RGB.
psnr() {
    ffmpeg -v info -nostats -i "$1" -framerate 30 -i f-%03d.png -lavfi \
        "[0:v]scale=in_color_matrix=bt709:in_range=tv,format=gbrp[a];[1:v]format=gbrp[b];[a][b]psnr" \
        -f null - 2>&1 | sed -n 's/.*PSNR.* average:\([0-9.]*\).*/\1/p'
}
to_bt709=(-vf scale=out_color_matrix=bt709:out_range=tv,format=yuv420p -color_primaries bt709
    -color_trc bt709 -colorspace bt709 -color_range tv)
"$viewer" --output f-%03d.png --frames "$frames" --size "$size"
printf '%-6s %-8s %10s %10s %8s %8s  %s\n' clip who PSNR/dB bytes seconds ratio goal
for row in "mp4|libx264 -crf 23 -preset medium" "webm|libvpx-vp9 -crf 32 -b:v 0"; do
    kind=${row%%|*} anchor=${row#*|}
    ours=$(seconds "$viewer" --output "ours.$kind" --frames "$frames" --size "$size")
    # shellcheck disable=SC2086 # the anchor's options, word by word
    theirs=$(seconds ffmpeg -v error -y -framerate 30 -i f-%03d.png "${to_bt709[@]}" -c:v $anchor "anchor.$kind")
    ours_psnr=$(psnr "ours.$kind") anchor_psnr=$(psnr "anchor.$kind")
    ours_size=$(stat -c %s "ours.$kind") anchor_size=$(stat -c %s "anchor.$kind")
    printf '%-6s %-8s %10s %10s %8.2f\n' "$kind" ffmpeg "$anchor_psnr" "$anchor_size" "$theirs"
    printf '%-6s %-8s %10s %10s %8.2f %8s  %s\n' "$kind" program "$ours_psnr" "$ours_size" "$ours" \
        "$(echo "scale=3; $ours_size / $anchor_size" | bc)" \
        "PSNR $(echo "$ours_psnr - $anchor_psnr" | bc) dB (>= -0.1), size ratio <= 1.05"
done
# The pipe and the direct MP4 at 1080p, one after the other in the same run.
pipe=$(seconds bash -c "'$viewer' --output - --frames 72 --size 1920x1080 |
    ffmpeg -v error -y -f image2pipe -i - -c:v libx264 -pix_fmt yuv420p pipe.mp4")
direct=$(seconds "$viewer" --output direct.mp4 --frames 72 --size 1920x1080)
printf '1080p x 72: pipe %.2f s, MP4 %.2f s, ratio %s (goal <= 0.8)\n' "$pipe" "$direct" \
    "$(echo "scale=3; $direct / $pipe" | bc)"
