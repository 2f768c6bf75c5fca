#!/usr/bin/env bash
# Builds and runs the benchmarks on a private Xvfb display, as the README's
# figures were measured: medians of 5 repetitions, the goal ratios after the
# table. Other Google Benchmark flags may follow, e.g. --benchmark_format=json
# or --benchmark_out=results.json; the survey the PNG writer's settings were
# chosen from runs with --benchmark_filter=BM_PngSettings
# --benchmark_repetitions=1.
#   scripts/bench.sh [BENCHMARK_FLAGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-bench
# From the build folder, where the window finds its marble.
cd build-release
../scripts/lib/xvfb-run.sh ./ovrik-bench --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_filter=-BM_PngSettings "$@"
