#!/usr/bin/env bash
# Tries the README's commands where a newcomer would: in a bare Debian 12
# (debootstrap --variant=minbase, no compiler, no CMake, no X) made in a
# scratch folder. Builds the viewer with the first command (there is no
# display, so it stops there), runs the test command (--quick by default, or
# as given), builds the package and installs it with apt, then checks that
# the installed viewer starts and finds its marble. Needs root and Debian's
# package mirror.
#   scripts/fresh-debian.sh [TEST_ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "fresh-debian: needs root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap
mirror=$(sed -n 's/^URIs: //p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
root=$(mktemp -d /tmp/fresh-debian.XXXXXX)
trap 'umount "$root/proc" 2>/dev/null || true; rm -rf "$root"' EXIT

echo "fresh-debian: debootstrap into $root"
debootstrap --variant=minbase bookworm "$root" "${mirror:-http://deb.debian.org/debian}" >/dev/null
mount -t proc proc "$root/proc"
git clone -q . "$root/ovrik-logo"
[ $# -gt 0 ] || set -- --quick
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root bash -euo pipefail -c '
    cd /ovrik-logo
    ! DISPLAY= bash scripts/run-viewer.sh && test -x build/ovrik-logo
    bash scripts/run-tests.sh "$@"
    bash scripts/package.sh >/dev/null
    apt-get install -y -qq ./build/ovrik-logo_*.deb >/dev/null
    cd /usr/share/ovrik-logo
    DISPLAY= ovrik-logo --version
    /ovrik-logo/scripts/lib/xvfb-run.sh bash -c "ovrik-logo & sleep 2; kill \$!" | tee /tmp/out
    ! grep -q "File Not Found" /tmp/out
' fresh-debian "$@"
echo "fresh-debian: the README commands and the package work on a bare Debian 12"
