#!/usr/bin/env bash
# Installs an npm package for the tests into a folder of the build, once; prints its folder.
#   npm_module.sh FOLDER NAME@VERSION
set -euo pipefail
module=$1/node_modules/${2%@*}
# npm trusts what the system trusts, a registry behind a proxy of its own too.
[ -f /etc/ssl/certs/ca-certificates.crt ] && export NODE_EXTRA_CA_CERTS=${NODE_EXTRA_CA_CERTS:-/etc/ssl/certs/ca-certificates.crt}
if ! grep -qs "\"version\": \"${2##*@}\"" "$module/package.json"; then
    mkdir -p "$1" && timeout 180 npm install --prefix "$1" --no-audit --no-fund --fetch-retries=1 --fetch-timeout=60000 \
        "$2" >"$1/npm.log" 2>&1 || { echo "npm could not install $2; see $1/npm.log" >&2 && exit 1; }
fi
realpath "$module"
