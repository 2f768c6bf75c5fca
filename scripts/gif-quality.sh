#!/usr/bin/env bash
# The GIF clip against ffmpeg's two-pass palettegen and paletteuse (its
# default dither) on the same frames, the program's own numbered PNGs:
# PSNR over every frame as the GIF shows it against its PNG, and the size.
#   scripts/gif-quality.sh [BUILD] [FRAMES] [SIZE]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
frames=${2:-36}
size=${3:-400x400}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$build/marmor.bmp" .
"$build/ovrik-logo" --output f-%03d.png --frames "$frames" --size "$size"
"$build/ovrik-logo" --output program.gif --frames "$frames" --size "$size"
ffmpeg -v error -framerate 30 -i f-%03d.png -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse" ffmpeg.gif
psnr() { # the mean over the frames; each GIF frame decoded once, as shown
    mkdir "$1" && ffmpeg -v error -i "$1.gif" -fps_mode passthrough "$1/g-%03d.png"
    [ "$(ls "$1" | wc -l)" = "$frames" ] || { echo "$1.gif has not $frames frames" >&2; exit 1; }
    ffmpeg -i "$1/g-%03d.png" -i f-%03d.png -lavfi "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr" \
        -f null - 2>&1 | sed -n 's/.* average:\([0-9.inf]*\).*/\1/p'
}
printf '| GIF | PSNR (dB) | size (bytes) |\n| --- | --- | --- |\n'
for gif in program ffmpeg; do
    printf '| %s | %s | %s |\n' "$gif" "$(psnr $gif)" "$(stat -c %s $gif.gif)"
done
