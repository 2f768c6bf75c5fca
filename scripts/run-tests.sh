#!/usr/bin/env bash
# Checks the sources, builds everything and runs every test; the tests that
# open windows start private Xvfb servers of their own:
#   0. layout and cppcheck (scripts/lint.sh)
#   1. unit, rendering, viewer, stress, package and benchmark tests (default build)
#   2. the same suite built with AddressSanitizer and UBSan
#   3. the picture reader (every format) under libFuzzer for FUZZ_SECONDS (default 120)
#   4. valgrind memcheck over one run of the real viewer
# --quick stops after step 1.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
scripts/lint.sh
cmake --workflow --preset default
grep -h '^stress:' build/Testing/Temporary/LastTest.log || true
[ "${1:-}" = "--quick" ] && exit 0

cmake --workflow --preset sanitize
grep -h '^stress:' build-sanitize/Testing/Temporary/LastTest.log || true
scripts/fuzz.sh "${FUZZ_SECONDS:-120}"
scripts/memcheck.sh --no-build
