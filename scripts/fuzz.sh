#!/usr/bin/env bash
# Builds fuzz-picture with clang and runs it on a copy of the seed corpus.
#   scripts/fuzz.sh [SECONDS]     (default 120)
# Any crash, sanitizer report or leak fails, and the input is printed in hex.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=build-fuzz/run
rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
cp fuzz/corpus/* "$work/corpus/"
seeds=$(ls "$work/corpus" | wc -l)

status=0
# -close_fd_mask=1 silences the reader's messages on stdout. Leaks in the
# libraries the program cannot free are suppressed as in the sanitized tests.
LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0 build-fuzz/fuzz-picture -max_total_time="$seconds" -close_fd_mask=1 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/fuzz.log" 2>&1 || status=$?

runs=$(sed -n 's/^Done \([0-9]*\) runs.*/\1/p' "$work/fuzz.log")
echo "fuzz-picture: ${runs:-?} executions in ${seconds}s, corpus $seeds seeds -> $(ls "$work/corpus" | wc -l) files"
if [ "$status" -ne 0 ] || [ -n "$(ls "$work/artifacts")" ]; then
    echo "fuzz-picture failed (status $status):"
    grep -v '^#' "$work/fuzz.log" | tail -n 60
    for input in "$work"/artifacts/*; do
        [ -e "$input" ] || continue
        echo "input $(basename "$input") ($(stat -c %s "$input") bytes):"
        od -An -tx1 -v "$input"
    done
    exit 1
fi
