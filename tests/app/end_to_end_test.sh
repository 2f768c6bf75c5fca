#!/usr/bin/env bash
# Starts the real viewer, checks its window and usage lines, ends it with Escape.
set -euo pipefail
viewer=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

"$viewer" >stdout.txt 2>stderr.txt &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Ovrik-Logo$' | head -n1)
geometry=$(xdotool getwindowgeometry "$window")
echo "$geometry"
grep -q 'Position: 0,0' <<<"$geometry" || { echo "window not at the top-left corner"; exit 1; }
grep -q 'Geometry: 400x400' <<<"$geometry" || { echo "window not 400x400"; exit 1; }

# Only the press: the window is gone before a release could be sent.
xdotool keydown --window "$window" Escape
status=0
timeout 20 tail --pid="$pid" -f /dev/null || { echo "viewer did not exit on Escape"; kill "$pid"; exit 1; }
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "exit status $status, expected 0"; exit 1; }

expected=$'Use x/y/z/X/Y/Z-keys to rotate.\nMove mouse while pressing button to change light position.'
if [ "$(head -n2 stdout.txt)" != "$expected" ]; then
    echo "usage lines differ:"; cat stdout.txt; exit 1
fi
if [ -s stderr.txt ]; then
    echo "unexpected output on stderr:"; cat stderr.txt; exit 1
fi
echo "end-to-end: ok"
