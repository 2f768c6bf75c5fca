// Writes the fuzzer's seed corpus: make-corpus FOLDER
// Valid files of several layouts, and one file for each refusal.
#include <cstdio>
#include <string>
#include <vector>

#include "bitmap_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes valid(int width, int height, BitmapLayout layout = {}) {
    return encodeBitmap(width, height, patternPicture(width, height), layout);
}

Bytes patched(Bytes bytes, size_t at, std::uint32_t value) {
    patchLe32(bytes, at, value);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-corpus FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    Bytes shortPixels = valid(4, 4);
    shortPixels.resize(shortPixels.size() - 5);
    Bytes planes = valid(4, 4);
    planes[26] = 2;
    Bytes bpp8 = valid(4, 4);
    bpp8[28] = 8;
    Bytes bpp32 = valid(4, 4);
    bpp32[28] = 32;
    Bytes shortHeader = valid(4, 4);
    shortHeader.resize(20);

    const std::vector<std::pair<std::string, Bytes>> files = {
        {"valid-w1.bmp", valid(1, 3)},
        {"valid-w3.bmp", valid(3, 3)},
        {"valid-w4.bmp", valid(4, 2)},
        {"valid-w5.bmp", valid(5, 2)},
        {"valid-top-down.bmp", valid(3, 4, {40, true})},
        {"valid-header108.bmp", valid(5, 2, {108, false})},
        {"valid-header124.bmp", valid(4, 3, {124, false})},
        {"refuse-planes.bmp", planes},
        {"refuse-bpp8.bmp", bpp8},
        {"refuse-bpp32.bmp", bpp32},
        {"refuse-short-header.bmp", shortHeader},
        {"refuse-short-pixels.bmp", shortPixels},
        {"refuse-zero-width.bmp", patched(valid(4, 4), 18, 0)},
        {"refuse-overflow.bmp", patched(patched(valid(4, 2), 18, 65536), 22, 21846)},
        {"refuse-huge-claim.bmp", patched(patched(valid(4, 2), 18, 16385), 22, 16385)},
        {"refuse-negative-width.bmp", patched(valid(4, 4), 18, static_cast<std::uint32_t>(-4))},
        {"refuse-min-height.bmp", patched(valid(4, 4), 22, 0x80000000u)},
        {"refuse-offset-past-end.bmp", patched(valid(4, 4), 10, 4096)},
    };
    for (const auto& [name, bytes] : files) {
        if (!writeFile(folder + "/" + name, bytes)) {
            std::fprintf(stderr, "make-corpus: cannot write %s/%s\n", folder.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
