#!/usr/bin/env bash
# Drives the real viewer hard under X: thousands of key presses, hundreds of
# drags (also beyond the window), resizes down to one pixel and back. After
# every burst the window must show a new picture; at the end the logo must
# still be there, Escape must end the program with status 0, and its resident
# memory must not have grown by more than a few MiB.
#   stress_test.sh VIEWER MARMOR_BMP WINDOW_PROBE
set -euo pipefail
viewer=$1
marble=$2
probe=$3
# "none" skips the memory check, for sanitizer builds whose quarantine of
# freed blocks grows by design.
max_growth_kib=${STRESS_MAX_GROWTH_KIB:-4096}

source "$(dirname "$0")/viewer.sh"
work=$viewer_scratch
cp "$marble" "$work/marmor.bmp"

start_viewer "$work" "$viewer"

rss_kib() { awk '/^VmRSS:/ { print $2 }' "/proc/$viewer_pid/status"; }

last_picture=$("$probe" "$viewer_window")
# Waits until the window shows something other than the last picture.
expect_redraw() {
    local what=$1 picture
    for _ in $(seq 200); do
        picture=$("$probe" "$viewer_window")
        if [ "$picture" != "$last_picture" ]; then
            last_picture=$picture
            return 0
        fi
        kill -0 "$viewer_pid" 2>/dev/null || { echo "viewer died during $what"; exit 1; }
        sleep 0.02
    done
    echo "no redraw after $what (window shows: $picture)"
    exit 1
}

# A first frame, then the memory baseline.
sleep 0.5
rss_start=$(rss_kib)

keys_sent=0
command_keys=(x y z X Y Z r g b R G B)
other_keys=(a q 1 0 space Return Tab comma period F1 Left Home)
for burst in $(seq 40); do
    batch=()
    for _ in 1 2 3 4; do
        batch+=("${command_keys[@]}" "${other_keys[@]}")
    done
    # One net turn per burst, so every burst must change the picture.
    batch+=(y)
    xdotool key --window "$viewer_window" --delay 0 "${batch[@]}" 2>/dev/null
    keys_sent=$((keys_sent + ${#batch[@]}))
    expect_redraw "key burst $burst"
done

drags=0
xdotool mousemove --sync --window "$viewer_window" 200 200
for batch in $(seq 20); do
    moves=()
    for i in $(seq 10); do
        x=$(((batch * 37 + i * 53) % 400))
        y=$(((batch * 71 + i * 29) % 400))
        # Every third drag ends far outside the window.
        far=$((i % 3 == 0 ? 350 : 0))
        moves+=(mousemove --window "$viewer_window" "$x" "$y" mousedown 1
            mousemove --window "$viewer_window" $((x + far)) $((y + far / 2))
            mousemove --window "$viewer_window" $(((x * 7) % 400)) $(((y * 3) % 400)) mouseup 1)
        drags=$((drags + 1))
    done
    # The last drag of a batch ends at a spot of its own, so the light moves.
    moves+=(mousemove --window "$viewer_window" $((batch * 19)) $((400 - batch * 17)) mousedown 1
        mousemove --window "$viewer_window" $((batch * 19 + 1)) $((400 - batch * 17)) mouseup 1)
    drags=$((drags + 1))
    xdotool "${moves[@]}"
    expect_redraw "drag batch $batch"
done

resizes=0
for size in "1 400" "400 1" "1 1" "800 400" "400 800" "2 3" "400 400"; do
    read -r w h <<<"$size"
    xdotool windowsize "$viewer_window" "$w" "$h"
    resizes=$((resizes + 1))
    shown=
    for _ in $(seq 100); do
        read -r shown_w shown_h _ <<<"$("$probe" "$viewer_window")"
        shown="$shown_w x $shown_h"
        [ "$shown" = "$w x $h" ] && break
        sleep 0.02
    done
    [ "$shown" = "$w x $h" ] || { echo "window is $shown after a resize to $w x $h"; exit 1; }
    kill -0 "$viewer_pid" 2>/dev/null || { echo "viewer died after a resize to $w x $h"; exit 1; }
    # Give it time to draw at this size before the next one.
    xdotool key --window "$viewer_window" z 2>/dev/null
    sleep 0.05
done
xdotool key --window "$viewer_window" x 2>/dev/null
expect_redraw "the last resize"

read -r width height _ logo_pixels _ <<<"$last_picture"
[ "$width" = 400 ] && [ "$height" = 400 ] || { echo "window is $width x $height, not 400 x 400"; exit 1; }
[ "$logo_pixels" -gt 5000 ] || { echo "the logo is gone: $logo_pixels logo pixels"; exit 1; }

rss_end=$(rss_kib)
growth=$((rss_end - rss_start))

quit_viewer "$work"

echo "stress: $keys_sent key presses, $drags drags, $resizes resizes, $logo_pixels logo pixels at the end"
echo "stress: resident memory ${rss_start} KiB after start-up, ${rss_end} KiB after the run (growth ${growth} KiB)"
if [ "$max_growth_kib" != none ] && [ "$growth" -gt "$max_growth_kib" ]; then
    echo "resident memory grew by more than $max_growth_kib KiB"
    exit 1
fi
