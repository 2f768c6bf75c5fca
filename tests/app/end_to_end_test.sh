#!/usr/bin/env bash
# Starts the real viewer, checks its window and what it prints, and ends it
# with Escape: once in a folder without the marble image, once beside it.
#   end_to_end_test.sh VIEWER MARMOR_BMP
set -euo pipefail
viewer=$1
marble=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

usage=$'Use x/y/z/X/Y/Z-keys to rotate.\nMove mouse while pressing button to change light position.'

# Runs the viewer in folder $1 and leaves its stdout in $1/stdout.txt.
run_viewer() {
    local folder=$1
    (cd "$folder" && exec "$viewer" >stdout.txt 2>stderr.txt) &
    local pid=$!
    local window
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^Ovrik-Logo$' | head -n1)
    local geometry
    geometry=$(xdotool getwindowgeometry "$window")
    grep -q 'Position: 0,0' <<<"$geometry" || { echo "window not at the top-left: $geometry"; return 1; }
    grep -q 'Geometry: 400x400' <<<"$geometry" || { echo "window not 400x400: $geometry"; return 1; }

    # Only the press: the window is gone before a release could be sent.
    xdotool keydown --window "$window" Escape 2>/dev/null
    if ! timeout 20 tail --pid="$pid" -f /dev/null; then
        echo "viewer did not exit on Escape"
        kill "$pid"
        return 1
    fi
    local status=0
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ] || [ -s "$folder/stderr.txt" ]; then
        echo "exit status $status (expected 0), stderr:"
        cat "$folder/stderr.txt"
        return 1
    fi
}

mkdir "$work/plain" "$work/marble"
cp "$marble" "$work/marble/marmor.bmp"

run_viewer "$work/plain"
expected="$usage"$'\nFile Not Found : marmor.bmp'
[ "$(cat "$work/plain/stdout.txt")" = "$expected" ] ||
    { echo "stdout without marble differs:"; cat "$work/plain/stdout.txt"; exit 1; }

run_viewer "$work/marble"
[ "$(cat "$work/marble/stdout.txt")" = "$usage" ] ||
    { echo "stdout with marble differs:"; cat "$work/marble/stdout.txt"; exit 1; }

echo "end-to-end: ok"
