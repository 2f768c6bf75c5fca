#!/usr/bin/env bash
# How Blender shows the glb: Debian's Blender, in a bare Debian root, imports
# the program's glTF models with its own importer, in both of its lighting
# modes (Standard: the spot light's intensity read as candela, at 683 lm/W;
# Unitless), and renders each with Cycles from the glb's camera, at the
# view's size with a transparent film, in a world that gives no light. Each
# render is set against the program's own view of the same scene
# (--background transparent): the mean colour over the logo's pixels, its
# saturation and hue, its brightness against the window's, and the overlap
# of the two silhouettes (IoU of the alpha masks). Two views: the default
# one, and --turn 20,30,0 --light 0.5,-0.3. The glbs, the program's views
# and the renders are left in BLENDER_CHECK_OUT (default out/blender-check).
#   scripts/blender-check.sh [bookworm|trixie] [ROOT]
# Debian 13 (trixie) by default. ROOT: a bare Debian root of that release to
# install Blender into and keep (made with debootstrap if the folder does not
# exist yet); without it, one is made in a scratch folder and removed after.
# OVRIK_LOGO names a program already built (its marble beside it), else the
# release preset is built here. BLENDER_SAMPLES (default 32), BLENDER_THREADS
# (default 1) and BLENDER_VIEW_TRANSFORM (default Blender's own) set the
# render. Needs root and Debian's package mirror; when the mirror cannot be
# reached it says so in one line and exits with status 75.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || {
    echo "blender-check: needs root (debootstrap, chroot)" >&2
    exit 1
}
release=trixie
case "${1:-}" in
bookworm | trixie) release=$1 && shift ;;
esac
root=${1:-}
source scripts/lib/debian-mirror.sh
unreachable() {
    echo "blender-check: the package mirror $mirror cannot be reached; Blender was not tried"
    exit 75
}
command -v wget >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wget >/dev/null 2>&1 || unreachable
mirror_has "$release" || unreachable

program=${OVRIK_LOGO:-}
if [ -z "$program" ]; then
    scripts/deps.sh run
    cmake --preset release >/dev/null
    cmake --build --preset release --target ovrik-logo >/dev/null
    program=build-release/ovrik-logo
fi
program=$(realpath "$program")
out=${BLENDER_CHECK_OUT:-out/blender-check}
mkdir -p "$out" && out=$(realpath "$out")
rm -f "$out"/{default,turned}{.glb,.png,-standard.png,-unitless.png,-importer.png}
# A program just built finds its marble in its working folder.
(
    cd "$(dirname "$program")"
    env -u DISPLAY "$program" --output "$out/default.glb"
    env -u DISPLAY "$program" --output "$out/default.png" --background transparent
    # shellcheck disable=SC2054 # the commas are the options' own
    turned=(--turn 20,30,0 --light 0.5,-0.3)
    env -u DISPLAY "$program" --output "$out/turned.glb" "${turned[@]}"
    env -u DISPLAY "$program" --output "$out/turned.png" --background transparent "${turned[@]}"
)

work=$(mktemp -d /tmp/blender-check.XXXXXX)
mounted=
cleanup() {
    [ -z "$mounted" ] || umount "$mounted"
    rm -rf "$work"
}
trap cleanup EXIT
if [ -z "$root" ]; then
    root=$work/root
fi
if ! [ -e "$root" ] || [ "$root" = "$work/root" ]; then
    command -v debootstrap >/dev/null ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null 2>&1 || unreachable
    echo "blender-check: debootstrap $release into $root"
    debootstrap --variant=minbase "$release" "$root" "$mirror" >/dev/null
fi
root=$(realpath "$root")
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A root others share may have its /proc mounted already: it stays so.
if ! mountpoint -q "$root/proc"; then
    mount -t proc proc "$root/proc"
    mounted=$root/proc
fi
in_chroot() { # in_chroot SCRIPT [ARGUMENTS...]
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        bash -euo pipefail -c "$@"
}
# The glTF importer needs numpy, which Debian's Blender neither depends on
# nor recommends.
in_chroot '
    export DEBIAN_FRONTEND=noninteractive
    if ! command -v blender >/dev/null || ! python3 -c "import numpy" 2>/dev/null; then
        apt-get update -qq && apt-get install -y -qq --no-install-recommends blender python3-numpy \
            >/tmp/blender-install.log 2>&1 || { tail -n 20 /tmp/blender-install.log >&2 && exit 1; }
    fi
    blender --version 2>/dev/null | head -n1'
inside=$(mktemp -d "$root/tmp/blender-check.XXXXXX")
cp "$out"/*.glb "$out"/*.png scripts/blender_render.py "$inside/"
options=(--samples "${BLENDER_SAMPLES:-32}" --threads "${BLENDER_THREADS:-1}")
[ -z "${BLENDER_VIEW_TRANSFORM:-}" ] || options+=(--view-transform "$BLENDER_VIEW_TRANSFORM")
status=0
# shellcheck disable=SC2016 # expanded by the chroot's shell
in_chroot 'blender -b --factory-startup --python "$1/blender_render.py" -- "${@:2}" "$1" default turned' \
    blender-check "${inside#"$root"}" "${options[@]}" >"$work/blender.log" 2>&1 || status=$?
sed -n '/^blender-check: Cycles/,/^$/p' "$work/blender.log"
cp "$inside"/*-*.png "$out/" 2>/dev/null || true
rm -rf "$inside"
if [ "$status" -ne 0 ] || ! grep -q '^view' "$work/blender.log"; then
    echo "blender-check: Blender failed (status $status); its last lines:" >&2
    tail -n 20 "$work/blender.log" >&2
    exit 1
fi
echo "blender-check: renders and the program's views in $out"
