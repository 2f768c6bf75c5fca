#!/usr/bin/env bash
# The Khronos glTF validator, from npm into the build folder once, on the
# .glb files the unit tests write: no error and no warning.
#   glb_validator_test.sh UNIT_TESTS BUILD_FOLDER
set -euo pipefail
module=$("$(dirname "$0")/../npm_module.sh" "$2/gltf-validator" gltf-validator@2.0.0-dev.3.10)
rm -rf "$2/glb" && mkdir "$2/glb"
# Whether they pass is the unit tests' own report; here only the files count.
OVRIK_GLB_DIR=$2/glb "$1" --gtest_filter='GlbWriter.*' >"$2/glb/unit-tests.log" || true
compgen -G "$2/glb/*.glb" >/dev/null ||
    { echo "glb-validator: the unit tests wrote no files; see $2/glb/unit-tests.log" && exit 1; }
node "$(dirname "$0")/validate_glb.js" "$module" "$2"/glb/*.glb
