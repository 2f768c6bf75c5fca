#include "texture/bitmap.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "bitmap_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes patched(Bytes bytes, size_t at, std::uint32_t value, size_t length = SIZE_MAX) {
    patchLe32(bytes, at, value);
    bytes.resize(std::min(length, bytes.size()));
    return bytes;
}

// Writes the file (none for nullopt) and reads it back; the message printed
// has its file name replaced by '@'.
struct Load {
    int result;
    BitmapImage image;
    std::string printed;
};
Load load(const std::optional<Bytes>& file) {
    const std::string path = (std::filesystem::temp_directory_path() / "ovrik-reader.bmp").string();
    std::filesystem::remove(path);
    EXPECT_TRUE(!file || writeFile(path, *file));
    Load l{};
    ::testing::internal::CaptureStdout();
    l.result = loadBitmap(path.c_str(), &l.image);
    l.printed = ::testing::internal::GetCapturedStdout();
    if (size_t at = l.printed.find(path); at != std::string::npos) {
        l.printed.replace(at, path.size(), "@");
    }
    return l;
}

TEST(BitmapReader, ReadsEveryLayoutAsPackedRgbBottomUp) {
    struct Case {
        int width, height, infoHeaderSize, offset, missingBytes;
        bool topDown;
    };
    // Unpadded and padded rows, a last row without its padding, larger info
    // headers whose offset field moves the pixels, top-down rows; then every
    // offset short of the classic 54 bytes, which is read from 54.
    std::vector<Case> cases = {{256, 256, 40, 54, 0, false}, {1, 3, 40, 54, 0, false},
                               {2, 3, 40, 54, 0, false},     {6, 2, 40, 54, 0, false},
                               {7, 3, 40, 54, 0, false},     {3, 2, 40, 54, 3, false},
                               {5, 4, 108, 122, 0, false},   {6, 3, 124, 138, 0, false},
                               {4, 5, 40, 54, 0, true},      {3, 5, 40, 54, 0, true}};
    for (int offset = 0; offset < 54; ++offset) {
        cases.push_back({4, 2, 40, offset, 0, false});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << " at " << c.offset);
        const Bytes rgb = patternPicture(c.width, c.height);
        Bytes file = encodeBitmap(c.width, c.height, rgb, {c.infoHeaderSize, c.topDown});
        Load l = load(patched(file, 10, c.offset, file.size() - c.missingBytes));
        EXPECT_EQ(std::tie(l.result, l.printed, l.image.width, l.image.height),
                  std::make_tuple(1, "", c.width, c.height));
        EXPECT_TRUE(l.image.pixels != nullptr &&
                    Bytes(l.image.pixels, l.image.pixels + rgb.size()) == rgb);
        std::free(l.image.pixels);
    }
}

TEST(BitmapReader, RefusesWithOneMessageBeforeTakingMemory) {
    const Bytes file = encodeBitmap(4, 4, patternPicture(4, 4));
    auto cut = [&](size_t length) { return Bytes(file.begin(), file.begin() + length); };
    auto sized = [&](std::uint32_t width, std::uint32_t height) {
        return patched(patched(file, 18, width), 22, height);
    };
    const std::string reading = "Error reading image data from @.\n",
                      tooLarge = "Size from @ is too large: ";
    // Byte counts just beyond 2^31 - 1 and far beyond it are too large; just
    // within, the file does not hold them.
    const std::pair<std::optional<Bytes>, std::string> cases[] = {
        {std::nullopt, "File Not Found : @\n"},
        {cut(0), "Header from @ is cut short: 0 of 30 bytes\n"},
        {cut(29), "Header from @ is cut short: 29 of 30 bytes\n"},
        {patched(file, 26, 0 | 24u << 16), "Planes from @ is not 1: 0\n"},
        {patched(file, 26, 257 | 24u << 16), "Planes from @ is not 1: 257\n"},
        {patched(file, 26, 1 | 8u << 16), "Bpp from @ is not 24: 8\n"},
        {patched(file, 26, 1 | 32u << 16), "Bpp from @ is not 24: 32\n"},
        {patched(file, 26, 1 | 280u << 16), "Bpp from @ is not 24: 280\n"},
        {sized(-4, 4), "Width from @ is negative: -4\n"},
        {sized(-4, -4), "Width from @ is negative: -4\n"},
        {sized(65536, 10923), tooLarge + "65536 x 10923 pixels\n"},
        {sized(1, 715827883), tooLarge + "1 x 715827883 pixels\n"},
        {sized(1, 0x80000000u), tooLarge + "1 x -2147483648 pixels\n"},
        {sized(0x7fffffff, 0x7fffffff), tooLarge + "2147483647 x 2147483647 pixels\n"},
        {sized(65536, 10922), reading},
        {sized(715827882, 1), reading},
        {sized(1, -715827882), reading},
        {sized(0, 4), reading},
        {sized(4, 0), reading},
        {sized(0, 0x80000000u), reading},
        {cut(30), reading},
        {cut(file.size() - 1), reading},
        {patched(file, 10, static_cast<std::uint32_t>(file.size()) + 1), reading}};
    auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto filesBefore = openFiles();
    for (const auto& [bytes, message] : cases) {
        Load l = load(bytes);
        EXPECT_EQ(l.printed, message);
        EXPECT_TRUE(l.result == 0 && l.image.pixels == nullptr) << message;
        std::free(l.image.pixels);
    }
    EXPECT_EQ(openFiles(), filesBefore); // every file closed again
}

} // namespace
