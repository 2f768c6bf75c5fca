// Mipmap levels made here rather than by GL, so that the texture, and so a
// saved view, is the same on every driver.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "picture/picture.h"
#include "picture/read/formats.h"

namespace {

// How much of source pixel `index` lies in output pixel `out`, with a
// source pixel `outSide` units long and an output pixel `side` units long.
std::uint64_t overlap(std::uint32_t index, std::uint32_t out, std::uint32_t side,
                      std::uint32_t outSide) {
    const std::uint64_t indexStart = static_cast<std::uint64_t>(index) * outSide;
    const std::uint64_t outStart = static_cast<std::uint64_t>(out) * side;
    const std::uint64_t start = std::max(indexStart, outStart);
    const std::uint64_t end = std::min(indexStart + outSide, outStart + side);
    return end > start ? end - start : 0;
}

// Adds a row of w pixels, weighed by the share of it that lies in the
// output row, to the sums of the outW output pixels it covers.
void addRow(std::uint64_t* sums, const unsigned char* row, std::uint32_t w, std::uint32_t outW,
            std::uint64_t rowShare) {
    for (std::uint32_t x = 0; x < outW; ++x) {
        for (std::uint32_t column = x * w / outW; column < w && column * outW < (x + 1) * w;
             ++column) {
            const std::uint64_t share = rowShare * overlap(column, x, w, outW);
            for (int c = 0; c < 3; ++c) {
                sums[x * 3 + c] += share * row[column * 3 + c];
            }
        }
    }
}

// The common case, both sides even: each pixel the mean of a 2 x 2 block.
void halveEvenSides(const unsigned char* above, std::uint32_t w, unsigned char* out,
                    std::uint32_t outW, std::uint32_t outH) {
    for (std::uint32_t y = 0; y < outH; ++y) {
        const unsigned char* lower = above + static_cast<size_t>(y) * 2 * w * 3;
        const unsigned char* upper = lower + static_cast<size_t>(w) * 3;
        for (std::uint32_t i = 0; i < outW * 3; ++i, ++out) {
            const std::uint32_t left = (i / 3) * 6 + i % 3;
            *out = static_cast<unsigned char>(
                (lower[left] + lower[left + 3] + upper[left] + upper[left + 3] + 2) / 4);
        }
    }
}

} // namespace

MipmapSize mipmapBelow(std::int32_t width, std::int32_t height) {
    return {std::max(width / 2, 1), std::max(height / 2, 1)};
}

bool halveForMipmap(const BitmapImage& above, BitmapImage* below) {
    const auto w = static_cast<std::uint32_t>(above.width);
    const auto h = static_cast<std::uint32_t>(above.height);
    const MipmapSize size = mipmapBelow(above.width, above.height);
    const auto outW = static_cast<std::uint32_t>(size.width);
    const auto outH = static_cast<std::uint32_t>(size.height);
    const bool evenSides = w == 2 * outW && h == 2 * outH;
    auto* pixels = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(outW) * outH * 3));
    auto* sums = evenSides
                     ? nullptr
                     : static_cast<std::uint64_t*>(std::malloc(static_cast<size_t>(outW) * 3 * 8));
    if (pixels == nullptr || (sums == nullptr && !evenSides)) {
        std::free(sums);
        std::free(pixels);
        return printLackOfMemory();
    }
    if (evenSides) {
        halveEvenSides(above.pixels, w, pixels, outW, outH);
    }
    const std::uint64_t area = static_cast<std::uint64_t>(w) * h;
    unsigned char* out = pixels;
    for (std::uint32_t y = 0; !evenSides && y < outH; ++y) {
        std::fill(sums, sums + static_cast<size_t>(outW) * 3, 0);
        for (std::uint32_t row = y * h / outH; row < h && row * outH < (y + 1) * h; ++row) {
            addRow(sums, above.pixels + static_cast<size_t>(row) * w * 3, w, outW,
                   overlap(row, y, h, outH));
        }
        for (size_t i = 0; i < static_cast<size_t>(outW) * 3; ++i) {
            *out++ = static_cast<unsigned char>((sums[i] + area / 2) / area);
        }
    }
    std::free(sums);
    below->width = size.width;
    below->height = size.height;
    below->pixels = pixels;
    return true;
}

bool makeMipmapLevels(const BitmapImage& image,
                      void (*take)(int level, const BitmapImage& pixels, void* context),
                      void* context) {
    BitmapImage above = image;
    bool made = true;
    for (int level = 1; made && (above.width > 1 || above.height > 1); ++level) {
        BitmapImage below;
        made = halveForMipmap(above, &below);
        if (above.pixels != image.pixels) {
            std::free(above.pixels);
        }
        above = below;
        if (made) {
            take(level, below, context);
        }
    }
    if (above.pixels != image.pixels) {
        std::free(above.pixels);
    }
    return made;
}
