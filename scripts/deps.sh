#!/usr/bin/env bash
# Makes sure the Debian packages for a task are installed.
#   scripts/deps.sh run      compiler, CMake, GL/EGL/GLUT, PNG, JPEG, EXIF, WebP, GIF, libimagequant, TIFF, HEIF,
#                            JPEG XL and ffmpeg's library headers (libavcodec brings libx264 and libvpx)
#                            (on Debian 13 with libheif's HEIC and AVIF decoder plugins), Mesa, Google
#                            Benchmark, stb_image (the benchmarks are built by default) and the glTF library
#   scripts/deps.sh package  the above plus what CPack needs for a .deb
#   scripts/deps.sh test     the above plus libheif's HEIC and AVIF encoders (plugins on Debian 13), git, clang-format, cppcheck, GoogleTest, Xvfb,
#                            xdotool, apitrace, the package, man page, AppStream and
#                            desktop-entry checkers, clang's fuzzer runtime, valgrind, admesh
#                            and assimp, which read the model files back, Node.js and npm
#                            for the glTF validator and npm's three.js, and Chromium, three.js
#                            and Python (the page's local server), which draw the glb in a browser, and ffmpeg,
#                            whose ffprobe reads the videos back
#   scripts/deps.sh docs     the build packages plus ImageMagick
# As root it installs what is missing; otherwise it names it and fails.
set -euo pipefail

build_packages=(g++ make cmake pkgconf libglut-dev libgl-dev libegl-dev libglu1-mesa-dev libpng-dev zlib1g-dev
    libjpeg62-turbo-dev libexif-dev libwebp-dev libgif-dev libimagequant-dev libtiff-dev libheif-dev libjxl-dev libx11-dev
    libgl1-mesa-dri libegl-mesa0 libbenchmark-dev libstb-dev libtinygltf-dev libavformat-dev libavcodec-dev
    libswscale-dev libavutil-dev)
package_packages=(dpkg-dev file)
test_packages=(git clang-format cppcheck libgtest-dev xvfb xdotool apitrace lintian appstream groff-base
    desktop-file-utils libglib2.0-bin clang libclang-rt-dev valgrind admesh assimp-utils nodejs
    chromium libjs-three python3 ffmpeg)
# Debian 12's libheif has its codecs built in; from Debian 13 on they are
# plugins that libheif loads at run time, so no linker asks for them.
if [ "$(. /etc/os-release && echo "${VERSION_ID:-0}")" -ge 13 ] 2>/dev/null; then
    build_packages+=(libheif-plugin-libde265 libheif-plugin-dav1d)
    test_packages+=(libheif-plugin-x265 libheif-plugin-aomenc)
fi
# Debian's npm, unless the Node.js installed brings its own.
command -v npm >/dev/null || test_packages+=(npm)
docs_packages=(imagemagick)

case "${1:-}" in
run) wanted=("${build_packages[@]}") ;;
package) wanted=("${build_packages[@]}" "${package_packages[@]}") ;;
test) wanted=("${build_packages[@]}" "${package_packages[@]}" "${test_packages[@]}") ;;
docs) wanted=("${build_packages[@]}" "${docs_packages[@]}") ;;
*)
    echo "usage: $0 run|package|test|docs" >&2
    exit 2
    ;;
esac
missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them as root with: apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "Installing missing Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
