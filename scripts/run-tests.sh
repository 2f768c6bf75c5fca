#!/usr/bin/env bash
# Builds everything and runs every test. The rendering and end-to-end tests
# get a private Xvfb server, started here and stopped on the way out.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake --preset default
cmake --build --preset default

xvfb_pid=
stop_xvfb() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null || true; }
trap stop_xvfb EXIT

# -displayfd lets the server pick a free display and tell us when it is ready.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
done
if ! [ -s "$display_file" ]; then
    echo "Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$display_file")"
rm -f "$display_file"
# Mesa's software renderer, whatever GPU the machine may have.
export LIBGL_ALWAYS_SOFTWARE=1

ctest --preset default "$@"
