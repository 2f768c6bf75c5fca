#!/usr/bin/env bash
# Thousands of keys, hundreds of drags (also far beyond the window), resizes
# down to one pixel and back: the viewer must take the Escape queued behind it
# all, end with status 0 and grow by no more than STRESS_MAX_GROWTH_KIB ("none"
# for sanitizer builds, whose quarantine of freed blocks grows by design).
#   stress_test.sh VIEWER MARMOR_BMP
set -euo pipefail
source "$(dirname "$0")/viewer.sh"
cp "$2" "$viewer_scratch/marmor.bmp"
start_viewer "$viewer_scratch" "$1"
rss_kib() { sleep 0.5 && awk '/^VmRSS:/ { print $2 }' "/proc/$viewer_pid/status"; }
rss_start=$(rss_kib)

keys=(x y z X Y Z r g b R G B a q 1 0 space Return Tab F1 Left)
for _ in $(seq 40); do
    xdotool key --window "$viewer_window" --delay 0 "${keys[@]}" "${keys[@]}" "${keys[@]}"
done
w=$viewer_window drags=()
for i in $(seq 220); do # every third drag ends far beyond the window
    x=$((i * 53 % 400)) y=$((i * 29 % 400)) far=$((i % 3 ? 0 : 350))
    drags+=(mousemove --window $w $x $y mousedown 1 mousemove --window $w $((x + far)) $((y + far / 2)) mouseup 1)
done
xdotool "${drags[@]}"
for size in "1 400" "400 1" "1 1" "600 300" "300 600" "2 3" "400 400"; do
    xdotool windowsize --sync $w $size key --window $w z
done
growth=$(($(rss_kib) - rss_start))
quit_viewer "$viewer_scratch"
echo "stress: $((40 * 3 * ${#keys[@]})) keys, 220 drags, 7 resizes; resident memory grew by $growth KiB"
[ "${STRESS_MAX_GROWTH_KIB:-4096}" = none ] || [ "$growth" -le "${STRESS_MAX_GROWTH_KIB:-4096}" ] ||
    fail "memory grew by $growth KiB"
