#!/usr/bin/env bash
# Builds the viewer and its Debian package: build-release/ovrik-logo_VERSION_ARCH.deb.
# Install it with: sudo apt install ./build-release/ovrik-logo_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
# The viewer alone needs no test framework; build/ keeps its tests.
cmake --preset release >/dev/null
cmake --build --preset release --target ovrik-logo marble documents format-documents
(cd build-release && cpack -G DEB)
