#!/usr/bin/env bash
# Builds everything and runs every test, on a private Xvfb server that is
# started here and stopped on the way out:
#   1. unit, rendering, end-to-end and stress tests (default build)
#   2. the same suite built with AddressSanitizer and UBSan
#   3. the BMP reader under libFuzzer for FUZZ_SECONDS (default 120)
#   4. valgrind memcheck over one run of the real viewer
# --quick stops after step 1.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh

quick=false
[ "${1:-}" = "--quick" ] && quick=true

scripts/deps.sh test
use_private_display

cmake --workflow --preset default
grep -h '^stress:' build/Testing/Temporary/LastTest.log || true
$quick && exit 0

cmake --workflow --preset sanitize
grep -h '^stress:' build-sanitize/Testing/Temporary/LastTest.log || true
scripts/fuzz.sh "${FUZZ_SECONDS:-120}"
scripts/memcheck.sh --no-build
