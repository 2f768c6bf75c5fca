#!/usr/bin/env bash
# Tries the README's commands where a newcomer would: in a bare Debian
# (debootstrap --variant=minbase: no compiler, no CMake, no X) made in a
# scratch folder. There it builds the viewer with the first command (without
# a display it stops there), runs the test command with TEST_ARGUMENTS (the
# whole of it when none are given) and builds the package. A second bare root
# of the same release then installs that package with apt (no recommends)
# and starts the installed viewer on Xvfb in the home folder: alone it must
# find the marble it was installed with, given a PNG, a JPEG, a
# 12-megapixel portrait photo (EXIF orientation 6), a HEIC or an AVIF (whose
# decoders are plugins on Debian 13, which only the package's Depends bring
# in) it must read them, all without a message, and a FIFO named marmor.bmp must cost one line. Before
# Xvfb is there, it must save the view of the photo as a 2048 x 2048 PNG
# with alpha, a 24-frame transparent WebP turntable, a glTF turntable model
# (which the glTF validator must accept) and an STL (which admesh must find
# closed), with no display.
#   scripts/fresh-debian.sh [bookworm|trixie] [TEST_ARGUMENTS...]
# Without a release, Debian 12 (bookworm) and then Debian 13 (trixie). Needs
# root and Debian's package mirror; when the mirror cannot be reached it
# says so in one line and exits with status 75.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "fresh-debian: needs root (debootstrap, chroot)" >&2; exit 1; }
case "${1:-}" in
bookworm | trixie) releases=("$1") && shift ;;
-* | "") releases=(bookworm trixie) ;;
*) echo "fresh-debian: unknown release '$1': bookworm or trixie" >&2 && exit 2 ;;
esac
source scripts/lib/debian-mirror.sh
unreachable() {
    echo "fresh-debian: the package mirror $mirror cannot be reached; no fresh Debian was tried"
    exit 75
}
command -v debootstrap >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null 2>&1 || unreachable
for release in "${releases[@]}"; do
    mirror_has "$release" || unreachable
done

work=$(mktemp -d /tmp/fresh-debian.XXXXXX)
# Each release's roots lie in $work/RELEASE/{build,install}.
trap 'umount "$work"/*/*/proc "$work"/*/*/dev/pts 2>/dev/null || true; rm -rf "$work"' EXIT
in_chroot() { # in_chroot ROOT SCRIPT [ARGUMENTS...]
    local root=$1
    shift
    mountpoint -q "$root/proc" || mount -t proc proc "$root/proc"
    # Terminals, as a booted system has them: the viewer test runs one.
    mountpoint -q "$root/dev/pts" || mount --bind /dev/pts "$root/dev/pts"
    # The machine's own certificate authorities, for npm behind its proxy.
    local certificates=()
    [ -f "$root/etc/machine-certificates.crt" ] &&
        certificates=(NODE_EXTRA_CA_CERTS=/etc/machine-certificates.crt)
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "${certificates[@]}" \
        bash -euo pipefail -c "$@"
}

try_release() { # try_release RELEASE [TEST_ARGUMENTS...]
    local release=$1 root=$work/$1
    shift
    echo "fresh-debian: debootstrap $release into $root"
    debootstrap --variant=minbase "$release" "$root/build" "$mirror" >/dev/null
    cp -a "$root/build" "$root/install"
    # The tests install the glTF validator with npm, which must trust what
    # this machine trusts: a registry behind a proxy of its own, say.
    cp /etc/ssl/certs/ca-certificates.crt "$root/build/etc/machine-certificates.crt" 2>/dev/null || true
    git clone -q . "$root/build/ovrik-logo"
    in_chroot "$root/build" '
        cd /ovrik-logo
        ! DISPLAY= bash scripts/run-viewer.sh && test -x build-release/ovrik-logo
        bash scripts/run-tests.sh "$@"
        bash scripts/package.sh >/dev/null
        build-release/make-marble /marble.png && build-release/make-marble /marble.jpg
        build-release/make-marble /portrait.jpg 4032x3024 6
        build-release/make-marble /photo.heic 1024x768 && build-release/make-marble /photo.avif 1024x768' \
        fresh-debian "$@"

    cp "$root"/build/ovrik-logo/build-release/ovrik-logo_*.deb "$root/install/"
    cp "$root"/build/marble.{png,jpg} "$root"/build/{portrait.jpg,photo.heic,photo.avif} "$root/install/root/"
    cp -r scripts/lib "$root/install/xvfb"
    in_chroot "$root/install" '
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq && apt-get install -y -qq --no-install-recommends /ovrik-logo_*.deb >/dev/null
        echo "Depends: $(dpkg-query -W -f="\${Depends}" ovrik-logo)"
        DISPLAY= ovrik-logo --version
        cd ~
        # No X display yet: the view of a photo, 2048 x 2048 with alpha.
        env -u DISPLAY ovrik-logo --output logo.png --size 2048x2048 --background transparent portrait.jpg
        [ "$(od -An -tx1 -j16 -N10 logo.png | tr -d " \n")" = 00000800000008000806 ]
        # And a looping, transparent turntable of it: 24 frames with alpha.
        env -u DISPLAY ovrik-logo --output spin.webp --frames 24 --background transparent portrait.jpg
        [ "$(grep -aoc ANMF spin.webp)" = 24 ] && [ "$(grep -aoc ALPH spin.webp)" = 24 ]
        # The model: a glTF turntable of the photo, and a solid to print; both
        # are checked in the build root, which has the tools.
        env -u DISPLAY ovrik-logo --output logo.glb --frames 72 portrait.jpg
        env -u DISPLAY ovrik-logo --output logo.stl
        apt-get install -y -qq xvfb >/dev/null
        usage=$(printf "%s\n%s" "Use x/y/z/X/Y/Z-keys to rotate." \
            "Move mouse while pressing button to change light position.")
        for picture in "" marble.png marble.jpg portrait.jpg photo.heic photo.avif; do
            /xvfb/xvfb-run.sh bash -c "ovrik-logo $picture >/tmp/out & sleep 3; kill \$!"
            echo "ovrik-logo $picture:" && cat /tmp/out && [ "$(cat /tmp/out)" = "$usage" ]
        done
        mkfifo marmor.bmp
        /xvfb/xvfb-run.sh bash -c "ovrik-logo >/tmp/out & sleep 3; kill \$!"
        echo "ovrik-logo with a FIFO:" && cat /tmp/out &&
            grep -qx "File marmor.bmp is not a regular file" /tmp/out'
    # The glTF validator the tests installed, and admesh, on the models.
    cp "$root"/install/root/logo.{glb,stl} "$root/build/"
    in_chroot "$root/build" '
        cd /ovrik-logo
        node tests/logo/validate_glb.js "$(realpath build/tests/gltf-validator/node_modules/gltf-validator)" /logo.glb
        admesh /logo.stl | tee /tmp/admesh.txt | grep -E "parts|fixed"
        grep -Eq "Number of parts +: +1 " /tmp/admesh.txt && ! grep -E "fixed +: +[1-9]" /tmp/admesh.txt'
    umount "$root"/*/proc "$root"/*/dev/pts
    rm -rf "$root"
}

for release in "${releases[@]}"; do
    start=$SECONDS
    try_release "$release" "$@"
    echo "fresh-debian: the README commands and the package work on a bare $release ($((SECONDS - start)) s)"
done
