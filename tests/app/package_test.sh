#!/usr/bin/env bash
# Builds the Debian package and checks it as a distribution would: fields,
# files, lintian, the man page, the AppStream data and the desktop entry. Then
# starts the packaged viewer the way its desktop entry does, in the marble's
# folder, and expects it to find the marble.
#   package_test.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/viewer.sh"
(cd "$1" && cpack -G DEB -B "$viewer_scratch" >/dev/null)
deb=$(echo "$viewer_scratch"/ovrik-logo_*_"$(dpkg --print-architecture)".deb)
[ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "section is not graphics"
grep -q 'libglut3' <<<"$(dpkg-deb -f "$deb" Depends)" || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
lintian --fail-on error,warning "$deb" >"$viewer_scratch/lintian.txt" 2>&1 ||
    fail "lintian: $(cat "$viewer_scratch/lintian.txt")"

root=$viewer_scratch/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share desktop=$root/usr/share/applications/ovrik-logo.desktop
[ -f "$share/icons/hicolor/256x256/apps/ovrik-logo.png" ] || fail "the package has no icon"
warnings=$(zcat "$share/man/man1/ovrik-logo.1.gz" | groff -man -ww -z 2>&1) && [ -z "$warnings" ] ||
    fail "man page: $warnings"
appstreamcli validate --no-net "$share/metainfo/org.ovrik.logo.metainfo.xml" >"$root.txt" ||
    fail "metainfo: $(cat "$root.txt")"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -qx 'Exec=/usr/bin/ovrik-logo' "$desktop" && grep -qx 'Path=/usr/share/ovrik-logo' "$desktop" ||
    fail "the desktop entry starts $(grep -E '^(Exec|Path)=' "$desktop")"

start_viewer "$share/ovrik-logo" "$root/usr/bin/ovrik-logo"
quit_viewer "$share/ovrik-logo"
[ "$(cat "$share/ovrik-logo/stdout.txt")" = "$usage" ] ||
    fail "the packaged viewer printed: $(cat "$share/ovrik-logo/stdout.txt")"
echo "package: $(basename "$deb"), Depends: $(dpkg-deb -f "$deb" Depends)"
