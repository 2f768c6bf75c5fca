#!/usr/bin/env bash
# Compares the viewer's start-up with Mesa's glxgears demo on the same private
# Xvfb display: time from start to the first drawn frame, and peak resident
# memory. Prints the median of RUNS starts of each (default 7).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
runs=${1:-7}

scripts/deps.sh test
command -v glxgears >/dev/null && command -v xwd >/dev/null || {
    if [ "$(id -u)" -eq 0 ]; then apt-get install -y -qq mesa-utils x11-apps; else
        echo "glxgears or xwd missing: apt-get install mesa-utils x11-apps" >&2
        exit 1
    fi
}
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-logo >/dev/null
use_private_display

# Whether a 400 x 400 window shows anything but black, as it does once drawn.
drawn() {
    [ -n "$(xwd -silent -id "$1" 2>/dev/null | tail -c $((400 * 400 * 4)) | tr -d '\000' | head -c 1)" ]
}

# One start: prints "MILLISECONDS_TO_FIRST_FRAME PEAK_RSS_KIB".
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
    local peak
    peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "$(((stop - start) / 1000000)) $peak"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

report() {
    local label=$1
    shift
    local results=()
    for _ in $(seq "$runs"); do
        results+=("$(measure "$@")")
    done
    local ms kib
    ms=$(printf '%s\n' "${results[@]}" | cut -d' ' -f1 | median)
    kib=$(printf '%s\n' "${results[@]}" | cut -d' ' -f2 | median)
    echo "$label: first frame after $ms ms, peak resident memory $kib KiB (median of $runs)"
}

report "ovrik-logo" '^Ovrik-Logo$' ./ovrik-logo
report "glxgears  " '^glxgears$' glxgears -geometry 400x400+0+0
