#!/usr/bin/env bash
# Starts the real viewer, checks its window and what it prints, and ends it
# with Escape: once in a folder without the marble image, once beside it.
#   end_to_end_test.sh VIEWER MARMOR_BMP
set -euo pipefail
viewer=$1
marble=$2
source "$(dirname "$0")/viewer.sh"

usage=$'Use x/y/z/X/Y/Z-keys to rotate.\nMove mouse while pressing button to change light position.'

check_window() {
    local geometry
    geometry=$(xdotool getwindowgeometry "$viewer_window")
    grep -q 'Position: 0,0' <<<"$geometry" || { echo "window not at the top-left: $geometry"; exit 1; }
    grep -q 'Geometry: 400x400' <<<"$geometry" || { echo "window not 400x400: $geometry"; exit 1; }
}

plain=$viewer_scratch/plain
with_marble=$viewer_scratch/marble
mkdir "$plain" "$with_marble"
cp "$marble" "$with_marble/marmor.bmp"

start_viewer "$plain" "$viewer"
check_window
quit_viewer "$plain"
expected="$usage"$'\nFile Not Found : marmor.bmp'
[ "$(cat "$plain/stdout.txt")" = "$expected" ] ||
    { echo "stdout without marble differs:"; cat "$plain/stdout.txt"; exit 1; }

start_viewer "$with_marble" "$viewer"
check_window
quit_viewer "$with_marble"
[ "$(cat "$with_marble/stdout.txt")" = "$usage" ] ||
    { echo "stdout with marble differs:"; cat "$with_marble/stdout.txt"; exit 1; }

echo "end-to-end: ok"
