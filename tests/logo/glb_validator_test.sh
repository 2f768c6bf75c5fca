#!/usr/bin/env bash
# The Khronos glTF validator, from npm into the build folder once, on the
# .glb files the unit tests write: no error and no warning.
#   glb_validator_test.sh UNIT_TESTS BUILD_FOLDER
set -euo pipefail
module=$2/gltf-validator/node_modules/gltf-validator
# npm trusts what the system trusts, a registry behind a proxy of its own too.
[ -f /etc/ssl/certs/ca-certificates.crt ] && export NODE_EXTRA_CA_CERTS=${NODE_EXTRA_CA_CERTS:-/etc/ssl/certs/ca-certificates.crt}
if [ ! -f "$module/package.json" ]; then
    mkdir -p "$2/gltf-validator"
    timeout 180 npm install --prefix "$2/gltf-validator" --no-audit --no-fund --fetch-retries=1 \
        --fetch-timeout=60000 gltf-validator@2.0.0-dev.3.10 >"$2/gltf-validator/npm.log" 2>&1 ||
        { echo "glb-validator: npm could not install gltf-validator; see $2/gltf-validator/npm.log" && exit 1; }
fi
rm -rf "$2/glb" && mkdir "$2/glb"
# Whether they pass is the unit tests' own report; here only the files count.
OVRIK_GLB_DIR=$2/glb "$1" --gtest_filter='GlbWriter.*' >"$2/glb/unit-tests.log" || true
compgen -G "$2/glb/*.glb" >/dev/null ||
    { echo "glb-validator: the unit tests wrote no files; see $2/glb/unit-tests.log" && exit 1; }
node "$(dirname "$0")/validate_glb.js" "$(realpath "$module")" "$2"/glb/*.glb
