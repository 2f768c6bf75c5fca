#include "bitmap_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void putLe16(std::vector<unsigned char>& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void putLe32(std::vector<unsigned char>& out, std::uint32_t value) {
    putLe16(out, value & 0xffff);
    putLe16(out, value >> 16);
}

using Bytes = std::vector<unsigned char>;

std::uint32_t colourOf(const unsigned char* p) {
    return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
}

// The picture's colours in the order they first appear, black last.
std::vector<std::uint32_t> paletteOf(const Bytes& rgb) {
    std::vector<std::uint32_t> colours;
    bool black = false;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        const std::uint32_t colour = colourOf(&rgb[i]);
        black = black || colour == 0;
        if (colour != 0 && std::find(colours.begin(), colours.end(), colour) == colours.end()) {
            colours.push_back(colour);
        }
    }
    if (black) {
        colours.push_back(0);
    }
    return colours;
}

// An 8-bit value in a field of `mask`'s bits, rounded.
std::uint32_t toField(unsigned value, std::uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while ((mask >> shift & 1) == 0) {
        ++shift;
    }
    const std::uint64_t largest = mask >> shift;
    return static_cast<std::uint32_t>((value * largest + 127) / 255) << shift;
}

// One row of palette indices, RLE8 or RLE4 (two indices in turn), black
// left unset.
void encodeRleRow(Bytes& out, const std::vector<unsigned>& indices, unsigned black, bool nibbles) {
    const size_t width = indices.size();
    size_t x = 0;
    while (x < width) {
        size_t end = x;
        while (end < width && indices[end] == black) {
            ++end;
        }
        if (end == width) {
            return; // the end of line leaves the rest unset
        }
        for (; x < end; x += std::min<size_t>(end - x, 255)) {
            out.insert(out.end(),
                       {0, 2, static_cast<unsigned char>(std::min<size_t>(end - x, 255)), 0});
        }
        // A run repeats one index, or with RLE4 two in turn.
        auto runAt = [&](size_t from) {
            size_t run = 0;
            while (from + run < width && run < 255 && indices[from + run] != black &&
                   indices[from + run] == indices[from + (run % 2 && nibbles ? 1 : 0)]) {
                ++run;
            }
            return run;
        };
        size_t stretch = 0; // indices written one by one, up to a black pixel or a run
        while (x + stretch < width && stretch < 255 && indices[x + stretch] != black &&
               runAt(x + stretch) < 3) {
            ++stretch;
        }
        if (stretch < 3) {
            const size_t run = std::max<size_t>(runAt(x), 1);
            const unsigned second = nibbles && x + 1 < width ? indices[x + 1] : indices[x];
            out.push_back(static_cast<unsigned char>(run));
            out.push_back(static_cast<unsigned char>(nibbles ? indices[x] << 4 | second : second));
            x += run;
            continue;
        }
        out.insert(out.end(), {0, static_cast<unsigned char>(stretch)});
        const size_t start = out.size();
        for (size_t i = 0; i < stretch; ++i) {
            if (!nibbles) {
                out.push_back(static_cast<unsigned char>(indices[x + i]));
            } else if (i % 2 == 0) {
                out.push_back(static_cast<unsigned char>(indices[x + i] << 4));
            } else {
                out.back() |= static_cast<unsigned char>(indices[x + i]);
            }
        }
        out.resize(out.size() + (out.size() - start) % 2, 0);
        x += stretch;
    }
}

} // namespace

std::vector<unsigned char> encodeBitmap(int width, int height,
                                        const std::vector<unsigned char>& rgb,
                                        const BitmapLayout& layout) {
    const int bits = layout.bitsPerPixel;
    const bool core = layout.infoHeaderSize == 12,
               rle = layout.compression == 1 || layout.compression == 2;
    std::vector<std::uint32_t> palette;
    if (bits <= 8) {
        palette = paletteOf(rgb);
        if (palette.size() > (1u << bits)) {
            return {};
        }
    }
    auto masks = layout.masks;
    if (masks == std::array<std::uint32_t, 4>{}) {
        masks = bits == 16 ? std::array<std::uint32_t, 4>{0x7c00, 0x3e0, 0x1f, 0}
                           : std::array<std::uint32_t, 4>{0xff0000, 0xff00, 0xff, 0};
    }
    const bool fields = layout.compression == 3 || layout.compression == 6;
    const bool black = !palette.empty() && palette.back() == 0;
    const std::uint32_t tableEntries =
        static_cast<std::uint32_t>(palette.size()) - (layout.blackBeyondPalette && black);

    // The pixels, rows bottom first.
    Bytes pixels;
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * bits + 31) / 32 * 4;
    int blankRows = 0;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const int row = layout.topDown ? height - 1 - fileRow : fileRow;
        std::vector<unsigned> indices;
        const size_t rowStart = pixels.size();
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &rgb[(static_cast<size_t>(row) * width + x) * 3];
            if (bits <= 8) {
                const auto at = std::find(palette.begin(), palette.end(), colourOf(p));
                indices.push_back(static_cast<unsigned>(at - palette.begin()));
            } else if (bits == 24) {
                pixels.insert(pixels.end(), {p[2], p[1], p[0]});
            } else {
                const std::uint32_t alpha = (x * 37u + row * 11u) % 256;
                std::uint32_t value = toField(p[0], masks[0]) | toField(p[1], masks[1]) |
                                      toField(p[2], masks[2]) | toField(alpha, masks[3]);
                for (int i = 0; i < bits / 8; ++i, value >>= 8) {
                    pixels.push_back(static_cast<unsigned char>(value));
                }
            }
        }
        if (rle) {
            // Black rows are jumped over by a delta, or by the end of bitmap.
            const unsigned blackIndex = static_cast<unsigned>(palette.size()) - black;
            if (std::all_of(indices.begin(), indices.end(),
                            [&](unsigned index) { return index == blackIndex; })) {
                ++blankRows;
                continue;
            }
            for (; blankRows > 0; blankRows -= std::min(blankRows, 255)) {
                pixels.insert(pixels.end(),
                              {0, 2, 0, static_cast<unsigned char>(std::min(blankRows, 255))});
            }
            encodeRleRow(pixels, indices, blackIndex, layout.compression == 2);
            pixels.insert(pixels.end(), {0, 0});
            continue;
        }
        for (int x = 0; x < width && bits <= 8; ++x) {
            const int bit = x * bits;
            if (bit % 8 == 0) {
                pixels.push_back(0);
            }
            pixels.back() |= static_cast<unsigned char>(indices[x] << (8 - bits - bit % 8));
        }
        pixels.resize(rowStart + stride, 0);
    }
    if (rle) {
        pixels.insert(pixels.end(), {0, 1});
    }

    const std::uint32_t extraMasks =
        layout.infoHeaderSize == 40 && fields ? (layout.compression == 6 ? 16 : 12) : 0;
    const std::uint32_t pixelStart = 14 + static_cast<std::uint32_t>(layout.infoHeaderSize) +
                                     extraMasks + tableEntries * (core ? 3 : 4);
    const auto imageSize = static_cast<std::uint32_t>(pixels.size());

    Bytes out;
    out.reserve(pixelStart + imageSize);
    out.push_back('B');
    out.push_back('M');
    putLe32(out, pixelStart + imageSize);
    putLe32(out, 0);
    putLe32(out, pixelStart);

    const size_t info = out.size();
    putLe32(out, static_cast<std::uint32_t>(layout.infoHeaderSize));
    if (core) {
        putLe16(out, static_cast<std::uint32_t>(width));
        putLe16(out, static_cast<std::uint32_t>(height));
    } else {
        putLe32(out, static_cast<std::uint32_t>(width));
        putLe32(out, static_cast<std::uint32_t>(layout.topDown ? -height : height));
    }
    putLe16(out, 1); // planes
    putLe16(out, static_cast<std::uint32_t>(bits));
    putLe32(out, static_cast<std::uint32_t>(layout.compression));
    putLe32(out, imageSize);
    putLe32(out, 2835); // 72 dpi
    putLe32(out, 2835);
    putLe32(out, bits <= 8 ? tableEntries : 0);
    putLe32(out, 0);
    for (int i = 0; i < 4 && fields; ++i) {
        putLe32(out, masks[i]);
    }
    // The rest of a larger header is 0; a smaller one is cut.
    out.resize(info + static_cast<size_t>(layout.infoHeaderSize), 0);
    for (std::uint32_t i = 0; i < extraMasks / 4; ++i) {
        putLe32(out, masks[i]);
    }
    for (std::uint32_t i = 0; i < tableEntries; ++i) {
        out.insert(out.end(), {static_cast<unsigned char>(palette[i]),
                               static_cast<unsigned char>(palette[i] >> 8),
                               static_cast<unsigned char>(palette[i] >> 16)});
        if (!core) {
            out.push_back(0);
        }
    }
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

std::vector<unsigned char> patternPicture(int width, int height) {
    std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<unsigned char>(i * 7 + i / 3);
    }
    return rgb;
}

void patchLe32(std::vector<unsigned char>& bytes, size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    // An empty vector may have no buffer at all, which fwrite must not see.
    bool complete =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && complete;
}

std::vector<unsigned char> checkerboardPicture(int width, int height) {
    std::vector<unsigned char> rgb;
    for (int i = 0; i < width * height; ++i) {
        rgb.insert(rgb.end(), 3, (i % width + i / width) % 2 ? 255 : 0);
    }
    return rgb;
}

std::vector<unsigned char> fewColourPicture(int width, int height, int colours) {
    std::vector<unsigned char> rgb;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool black = y % 5 == 2 || y >= height - 2 || (x + 2 * y) % 9 >= 7;
            const int k = ((x < width / 2 ? x / 4 : x) * 5 + y * 3) % colours;
            if (black) {
                rgb.insert(rgb.end(), 3, 0);
            } else {
                rgb.insert(rgb.end(), {static_cast<unsigned char>(40 + k * 53 % 200),
                                       static_cast<unsigned char>(255 - k * 31 % 256),
                                       static_cast<unsigned char>(k * 97 % 256)});
            }
        }
    }
    return rgb;
}

std::vector<unsigned char> quantisedPicture(std::vector<unsigned char> rgb,
                                            const std::array<int, 3>& bits) {
    for (size_t i = 0; i < rgb.size(); ++i) {
        const double largest = (1 << bits[i % 3]) - 1;
        rgb[i] = static_cast<unsigned char>(
            std::lround(std::lround(rgb[i] * largest / 255) * 255 / largest));
    }
    return rgb;
}
