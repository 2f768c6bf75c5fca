#!/usr/bin/env bash
# Builds the Debian package and checks it as a distribution would: fields,
# files, lintian, the man page, the AppStream data and the desktop entry. Then
# starts the packaged viewer in an empty folder and expects it to find and
# upload the marble it was installed with, without a message, and to save
# the view with it without a display; and opens a PNG through the desktop
# entry as a file manager would.
#   package_test.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/viewer.sh"
(cd "$1" && cpack -G DEB -B "$viewer_scratch" >/dev/null)
deb=$(echo "$viewer_scratch"/ovrik-logo_*_"$(dpkg --print-architecture)".deb)
[ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "section is not graphics"
for library in libglut3 libpng16 libjpeg62-turbo libexif12 libwebp7 libwebpmux3 libegl1 libegl-mesa0 \
    libgl1-mesa-dri; do
    grep -q "$library" <<<"$(dpkg-deb -f "$deb" Depends)" || fail "Depends: $(dpkg-deb -f "$deb" Depends)"
done
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
# Every kind of picture the program reads, offered by Open With.
types=(bmp png jpeg webp gif tiff heic heif avif jxl)
grep -qx 'Exec=/usr/bin/ovrik-logo %f' "$desktop" && ! grep -q '^Path=' "$desktop" &&
    grep -qx "MimeType=$(printf 'image/%s;' "${types[@]}")" "$desktop" ||
    fail "the desktop entry reads $(grep -E '^(Exec|Path|MimeType)=' "$desktop")"
# libjxl by its 0.7 or 0.11 name. The HEIC and AVIF decoders are plugins
# where libheif has a plugin folder: no linker asks for them, so the package
# must.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libgif7 libtiff6 libheif1 libjxl $(ls -d /usr/lib/*/libheif/plugins >/dev/null 2>&1 &&
    echo libheif-plugin-libde265 libheif-plugin-dav1d); do
    [[ $depends == *"$library"* ]] || fail "the package does not depend on $library: $depends"
done
for type in "${types[@]}"; do
    grep -qx "    <mediatype>image/$type</mediatype>" "$share/metainfo/org.ovrik.logo.metainfo.xml" ||
        fail "the metainfo does not name image/$type"
done

empty=$viewer_scratch/empty
mkdir "$empty"
start_viewer "$empty" apitrace trace --output=calls.trace "$root/usr/bin/ovrik-logo"
quit_viewer "$empty"
[ "$(cat "$empty/stdout.txt")" = "$usage" ] || fail "the packaged viewer printed: $(cat "$empty/stdout.txt")"
apitrace dump --color=never "$empty/calls.trace" >"$empty/calls.txt"
grep -q 'glTexImage2D(.*width = 256, height = 256' "$empty/calls.txt" ||
    fail "the packaged viewer did not upload its marble"
(cd "$empty" && env -u DISPLAY "$root/usr/bin/ovrik-logo" --output view.png &&
    env -u DISPLAY "$root/usr/bin/ovrik-logo" --output spin.webp --frames 3) &&
    [ -s "$empty/view.png" ] && [ -s "$empty/spin.webp" ] ||
    fail "the packaged viewer saved no view or clip without a display"
# TIFF, HEIC and JPEG XL through the reader modules the package installed.
for picture in marble.tif marble.heic marble.jxl; do
    "$1/make-marble" "$empty/$picture" 64x64
    (cd "$empty" && env -u DISPLAY "$root/usr/bin/ovrik-logo" --output "$picture.png" "$picture" \
        >"$picture.txt") && [ -s "$empty/$picture.png" ] && [ ! -s "$empty/$picture.txt" ] ||
        fail "the packaged viewer did not read $picture: $(cat "$empty/$picture.txt")"
done
# Open With: a file manager starts the entry on a picture, here with the
# packaged program in place of /usr/bin; the picture's path has a space.
album="$viewer_scratch/photo album"
mkdir "$album" && "$1/make-marble" "$album/marble.png"
sed "s#^Exec=/usr/bin/#Exec=$root/usr/bin/#" "$desktop" >"$viewer_scratch/open-with.desktop"
(cd "$album" && exec gio launch "$viewer_scratch/open-with.desktop" "$album/marble.png" \
    >stdout.txt 2>stderr.txt)
viewer_window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Ovrik-Logo$' | head -n1)
for process in /proc/[0-9]*; do
    [ "$(readlink "$process/exe")" = "$root/usr/bin/ovrik-logo" ] && viewer_pid=${process#/proc/}
done
[ -n "$viewer_pid" ] || fail "Open With started no viewer"
[ "$(tr '\0' '|' <"/proc/$viewer_pid/cmdline")" = "$root/usr/bin/ovrik-logo|$album/marble.png|" ] ||
    fail "Open With started: $(tr '\0' ' ' <"/proc/$viewer_pid/cmdline")"
# A PNG's window loads none of the heavy decoders.
! grep -E 'libheif|libtiff|libjxl' "/proc/$viewer_pid/maps" >"$viewer_scratch/maps.txt" ||
    fail "the viewer of a PNG loaded $(sort -u "$viewer_scratch/maps.txt")"
xdotool keydown --window "$viewer_window" Escape 2>/dev/null
timeout 20 tail --pid="$viewer_pid" -f /dev/null || fail "the viewer opened with a picture did not exit"
viewer_pid=
[ "$(cat "$album/stdout.txt")" = "$usage" ] || fail "the viewer opened with a picture printed: $(cat "$album/stdout.txt")"

echo "package: $(basename "$deb"), Depends: $(dpkg-deb -f "$deb" Depends)"
