#!/usr/bin/env bash
# Saving a view, side by side with F3D's --output on the same machine:
# wall time and peak resident memory, medians of RUNS runs (default 7), at
# 400 x 400 and 2048 x 2048. ovrik-logo draws without a display; F3D, which
# cannot, draws on a private Xvfb, with a box of six faces as its model.
# Goals: at most 0.25 times F3D's wall time and 0.5 times its peak memory.
# As root it installs F3D and GNU time (Debian packages f3d and time).
#   scripts/compare-f3d.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
runs=${1:-7}

scripts/deps.sh test
command -v f3d >/dev/null && [ -x /usr/bin/time ] || {
    if [ "$(id -u)" -eq 0 ]; then apt-get install -y -qq --no-install-recommends f3d time; else
        echo "f3d or GNU time missing: apt-get install f3d time" >&2
        exit 1
    fi
}
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-logo >/dev/null
use_private_display
work=$(mktemp -d)
trap 'rm -rf "$work"; kill "$ovrik_xvfb_pid" 2>/dev/null || true' EXIT
printf 'v %s\n' "-1 -1 -1" "1 -1 -1" "1 1 -1" "-1 1 -1" "-1 -1 1" "1 -1 1" "1 1 1" "-1 1 1" >"$work/box.obj"
printf 'f %s\n' "1 4 3 2" "5 6 7 8" "1 2 6 5" "2 3 7 6" "3 4 8 7" "4 1 5 8" >>"$work/box.obj"

# measure COMMAND...: prints "SECONDS KIB", each the median of the runs.
measure() {
    for _ in $(seq "$runs"); do
        /usr/bin/time -f '%e %M' -o "$work/time.txt" "$@" >/dev/null 2>&1
        cat "$work/time.txt"
    done >"$work/runs.txt"
    local middle=$(((runs + 1) / 2))
    echo "$(cut -d' ' -f1 "$work/runs.txt" | sort -n | sed -n "${middle}p")" \
        "$(cut -d' ' -f2 "$work/runs.txt" | sort -n | sed -n "${middle}p")"
}

cd build-release
for side in 400 2048; do
    read -r ourTime ourMemory < <(measure env -u DISPLAY ./ovrik-logo --output "$work/ours.png" \
        --size "${side}x${side}")
    read -r theirTime theirMemory < <(measure f3d --output="$work/theirs.png" \
        --resolution="$side,$side" "$work/box.obj")
    awk -v s="$side" -v ot="$ourTime" -v om="$ourMemory" -v tt="$theirTime" -v tm="$theirMemory" 'BEGIN {
        printf "%s x %s: ovrik-logo %.3f s, %.1f MiB; f3d on Xvfb %.3f s, %.1f MiB\n", s, s, ot, om / 1024, tt, tm / 1024
        printf "%s x %s: wall time %.2f times f3d'"'"'s (goal: at most 0.25), peak memory %.2f times (goal: at most 0.5)\n", s, s, ot / tt, om / tm }'
done
