#!/usr/bin/env bash
# Builds the viewer and starts it in the build folder, beside its marble image.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
# The viewer alone needs no test framework; build/ keeps its tests.
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-logo
if [ -z "${DISPLAY:-}" ]; then
    echo "ovrik-logo needs an X display, and DISPLAY is not set." >&2
    exit 1
fi
cd build-release
exec ./ovrik-logo "$@"
