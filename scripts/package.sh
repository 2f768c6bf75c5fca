#!/usr/bin/env bash
# Builds the viewer and its Debian package: build/ovrik-logo_VERSION_ARCH.deb.
# Install it with: sudo apt install ./build/ovrik-logo_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
# The viewer alone needs no test framework.
cmake --preset default -DBUILD_TESTING=OFF >/dev/null
cmake --build --preset default --target ovrik-logo marble documents
(cd build && cpack -G DEB)
