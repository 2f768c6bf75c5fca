#include "bitmap_writer.h"

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

} // namespace

std::vector<unsigned char>
encodeBitmap(int width, int height, const std::vector<unsigned char>& rgb, BitmapLayout layout) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) / 4 * 4;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(height);
    const std::uint32_t pixelStart = 14 + static_cast<std::uint32_t>(layout.infoHeaderSize);

    std::vector<unsigned char> out;
    out.reserve(pixelStart + imageSize);
    out.push_back('B');
    out.push_back('M');
    putLe32(out, pixelStart + imageSize);
    putLe32(out, 0);
    putLe32(out, pixelStart);

    putLe32(out, static_cast<std::uint32_t>(layout.infoHeaderSize));
    putLe32(out, static_cast<std::uint32_t>(width));
    putLe32(out, static_cast<std::uint32_t>(layout.topDown ? -height : height));
    putLe16(out, 1);  // planes
    putLe16(out, 24); // bits per pixel
    putLe32(out, 0);  // no compression
    putLe32(out, imageSize);
    putLe32(out, 2835); // 72 dpi
    putLe32(out, 2835);
    putLe32(out, 0);
    putLe32(out, 0);
    out.resize(pixelStart, 0); // the rest of a larger info header

    for (int fileRow = 0; fileRow < height; ++fileRow) {
        int row = layout.topDown ? height - 1 - fileRow : fileRow;
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &rgb[(static_cast<size_t>(row) * width + x) * 3];
            out.push_back(p[2]);
            out.push_back(p[1]);
            out.push_back(p[0]);
        }
        out.resize(out.size() + (stride - static_cast<std::uint32_t>(width) * 3), 0);
    }
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
