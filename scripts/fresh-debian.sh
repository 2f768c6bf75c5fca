#!/usr/bin/env bash
# Tries the README's commands where a newcomer would: in a bare Debian 12
# (debootstrap --variant=minbase: no compiler, no CMake, no X) made in a
# scratch folder. There it builds the viewer with the first command (without
# a display it stops there), runs the test command (--quick unless other
# arguments are given) and builds the package. A second bare Debian 12 then
# installs that package with apt and starts the installed viewer on Xvfb in
# the home folder: alone it must find the marble it was installed with, given
# a PNG, a JPEG or a 12-megapixel portrait photo (EXIF orientation 6) it must
# read them, all without a message, and a FIFO named marmor.bmp must cost
# one line. Needs root and Debian's package mirror.
#   scripts/fresh-debian.sh [TEST_ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "fresh-debian: needs root (debootstrap, chroot)" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y -qq debootstrap
mirror=$(sed -n 's/^URIs: //p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1)
work=$(mktemp -d /tmp/fresh-debian.XXXXXX)
trap 'umount "$work"/*/proc 2>/dev/null || true; rm -rf "$work"' EXIT
in_chroot() { # in_chroot ROOT SCRIPT [ARGUMENTS...]
    local root=$1
    shift
    mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        bash -euo pipefail -c "$@"
}

echo "fresh-debian: debootstrap into $work"
debootstrap --variant=minbase bookworm "$work/build" "${mirror:-http://deb.debian.org/debian}" >/dev/null
cp -a "$work/build" "$work/install"
git clone -q . "$work/build/ovrik-logo"
[ $# -gt 0 ] || set -- --quick
in_chroot "$work/build" '
    cd /ovrik-logo
    ! DISPLAY= bash scripts/run-viewer.sh && test -x build-release/ovrik-logo
    bash scripts/run-tests.sh "$@"
    bash scripts/package.sh >/dev/null
    build-release/make-marble /marble.png && build-release/make-marble /marble.jpg
    build-release/make-marble /portrait.jpg 4032x3024 6' fresh-debian "$@"

cp "$work"/build/ovrik-logo/build-release/ovrik-logo_*.deb "$work/install/"
cp "$work"/build/marble.{png,jpg} "$work"/build/portrait.jpg "$work/install/root/"
cp -r scripts/lib "$work/install/xvfb"
in_chroot "$work/install" '
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq && apt-get install -y -qq /ovrik-logo_*.deb >/dev/null
    DISPLAY= ovrik-logo --version
    apt-get install -y -qq xvfb >/dev/null
    cd ~
    usage=$(printf "%s\n%s" "Use x/y/z/X/Y/Z-keys to rotate." \
        "Move mouse while pressing button to change light position.")
    for picture in "" marble.png marble.jpg portrait.jpg; do
        /xvfb/xvfb-run.sh bash -c "ovrik-logo $picture >/tmp/out & sleep 3; kill \$!"
        echo "ovrik-logo $picture:" && cat /tmp/out && [ "$(cat /tmp/out)" = "$usage" ]
    done
    mkfifo marmor.bmp
    /xvfb/xvfb-run.sh bash -c "ovrik-logo >/tmp/out & sleep 3; kill \$!"
    echo "ovrik-logo with a FIFO:" && cat /tmp/out && grep -qx "File marmor.bmp is not a regular file" /tmp/out'
echo "fresh-debian: the README commands and the package work on a bare Debian 12"
