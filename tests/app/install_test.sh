#!/usr/bin/env bash
# Installs into a scratch prefix and checks the tree: program, marble,
# desktop entry (valid, starting the program in the share folder) and icon.
# Then starts the installed program the way a desktop menu would and checks
# that it finds its marble.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
source "$(dirname "$0")/viewer.sh"
prefix=$viewer_scratch

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install: $*"; exit 1; }
for file in bin/ovrik-logo share/ovrik-logo/marmor.bmp share/applications/ovrik-logo.desktop \
    share/icons/hicolor/256x256/apps/ovrik-logo.png; do
    [ -f "$prefix/$file" ] || fail "missing $file"
done
[ -x "$prefix/bin/ovrik-logo" ] || fail "bin/ovrik-logo is not executable"

desktop="$prefix/share/applications/ovrik-logo.desktop"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
grep -qx "Path=$prefix/share/ovrik-logo" "$desktop" || fail "desktop entry has the wrong Path"
grep -qx "Exec=$prefix/bin/ovrik-logo" "$desktop" || fail "desktop entry has the wrong Exec"

# PNG signature, then the IHDR width and height as 32-bit big-endian numbers.
icon="$prefix/share/icons/hicolor/256x256/apps/ovrik-logo.png"
header=$(od -An -tx1 -N24 "$icon" | tr -d ' \n')
[ "${header:0:16}" = 89504e470d0a1a0a ] || fail "icon is not a PNG"
[ "${header:32:16}" = 0000010000000100 ] || fail "icon is not 256 x 256"

# As a launcher would: change to Path, run Exec.
folder=$(sed -n 's/^Path=//p' "$desktop")
command=$(sed -n 's/^Exec=//p' "$desktop")
start_viewer "$folder" "$command"
quit_viewer "$folder"
if grep -q "File Not Found" "$folder/stdout.txt"; then
    fail "installed program did not find its marble: $(cat "$folder/stdout.txt")"
fi
echo "install: ok"
