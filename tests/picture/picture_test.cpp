#include "picture/picture.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <vector>

#include "bitmap_writer.h"
#include "marble.h"
#include "picture_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes patched(Bytes bytes, size_t at, std::uint32_t value, size_t length = SIZE_MAX) {
    patchLe32(bytes, at, value);
    bytes.resize(std::min(length, bytes.size()));
    return bytes;
}

const std::filesystem::path folder = std::filesystem::temp_directory_path() / "ovrik-pictures";
const std::string path = (folder / "picture").string(), fallbackPath = (folder / "marble").string();

// Writes the file and the fallback (none for nullopt) and reads them back
// with a side limit of 4096; the name read and the message printed have the
// file's name replaced by '@' and the fallback's by '%'.
struct Load {
    std::string read, printed;
    BitmapImage image;
};
Load load(const std::optional<Bytes>& file, const std::optional<Bytes>& fallback = {},
          const std::string& name = path, int reduceTo = 0) {
    std::filesystem::create_directories(folder);
    std::filesystem::remove(path);
    std::filesystem::remove(fallbackPath);
    EXPECT_TRUE(!file || writeFile(path, *file));
    EXPECT_TRUE(!fallback || writeFile(fallbackPath, *fallback));
    Load l{};
    ::testing::internal::CaptureStdout();
    const PictureRequest request = {+[] { return 4096; }, reduceTo};
    const char* read = loadPicture(name.c_str(), fallbackPath.c_str(), request, &l.image);
    l.printed = ::testing::internal::GetCapturedStdout();
    l.read = read != nullptr ? read : "";
    for (std::string* text : {&l.read, &l.printed}) {
        for (auto [from, to] : {std::pair{fallbackPath, "%"}, {path, "@"}}) {
            if (size_t at = text->find(from); at != std::string::npos) {
                text->replace(at, from.size(), to);
            }
        }
    }
    return l;
}

// Columns and rows cut from a bottom-up RGB picture of the given width.
Bytes cropped(const Bytes& rgb, int fromWidth, int width, int height) {
    Bytes out;
    for (int row = 0; row < height; ++row) {
        auto start = rgb.begin() + row * fromWidth * 3;
        out.insert(out.end(), start, start + width * 3);
    }
    return out;
}

TEST(PictureReader, ReadsEveryFormatAsPackedRgbBottomUp) {
    struct Case {
        Bytes file;
        int width, height;
        Bytes rgb;
        double meanError;        // JPEG is lossy
        bool asFallback = false; // written only as the fallback, read as such
    };
    std::vector<Case> cases;
    // BMP: unpadded and padded rows, a last row without its padding, larger
    // info headers whose offset field moves the pixels, top-down rows; then
    // every offset short of the classic 54 bytes, which is read from 54.
    struct {
        int width, height, infoHeaderSize, offset, missingBytes;
        bool topDown;
    } bitmaps[64] = {{256, 256, 40, 54, 0, false}, {1, 3, 40, 54, 0, false},
                     {2, 3, 40, 54, 0, false},     {6, 2, 40, 54, 0, false},
                     {7, 3, 40, 54, 0, false},     {3, 2, 40, 54, 3, false},
                     {5, 4, 108, 122, 0, false},   {6, 3, 124, 138, 0, false},
                     {4, 5, 40, 54, 0, true},      {3, 5, 40, 54, 0, true}};
    for (int offset = 0; offset < 54; ++offset) {
        bitmaps[10 + offset] = {4, 2, 40, offset, 0, false};
    }
    for (const auto& b : bitmaps) {
        const Bytes rgb = patternPicture(b.width, b.height);
        Bytes file = encodeBitmap(b.width, b.height, rgb, {b.infoHeaderSize, b.topDown});
        cases.push_back(
            {patched(file, 10, b.offset, file.size() - b.missingBytes), b.width, b.height, rgb, 0});
    }
    // PNG, lossless in every layout; alpha and transparency are dropped.
    const Bytes pattern = patternPicture(7, 5), small = patternPicture(4, 3);
    Bytes grey = pattern, blackAndWhite = pattern;
    for (size_t i = 0; i < pattern.size(); ++i) {
        grey[i] = pattern[i - i % 3];
        blackAndWhite[i] = grey[i] & 0x80 ? 255 : 0;
    }
    const std::pair<PngLayout, const Bytes*> pngs[] = {
        {{PngLayout::rgb, 8}, &pattern},
        {{PngLayout::rgbAlpha, 8}, &pattern},
        {{PngLayout::rgb, 16, true, true}, &pattern},
        {{PngLayout::grey, 8, false, true}, &grey},
        {{PngLayout::grey, 1, true}, &blackAndWhite},
        {{PngLayout::greyAlpha, 16}, &grey},
        {{PngLayout::palette, 8, false, true}, &pattern},
        {{PngLayout::palette, 4, true}, &small}};
    for (const auto& [layout, rgb] : pngs) {
        const int width = rgb == &small ? 4 : 7, height = rgb == &small ? 3 : 5;
        cases.push_back({encodePng(width, height, *rgb, layout), width, height, *rgb, 0});
    }
    // JPEG: baseline, progressive and grey, with partial blocks at the edges.
    const Bytes marble = cropped(makeMarble(64), 64, 61, 37);
    Bytes greyMarble = marble;
    for (size_t i = 0; i < marble.size(); ++i) {
        greyMarble[i] = marble[i - i % 3];
    }
    for (const JpegLayout layout :
         {JpegLayout{}, JpegLayout{false, true}, JpegLayout{true, true}}) {
        cases.push_back(
            {encodeJpeg(61, 37, marble, layout), 61, 37, layout.grey ? greyMarble : marble, 4.0});
    }

    // With no file at all, the fallback stands in.
    cases.push_back(
        {encodeBitmap(4, 4, patternPicture(4, 4)), 4, 4, patternPicture(4, 4), 0, true});

    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << ", starting "
                                          << std::string(c.file.begin(), c.file.begin() + 4));
        Load l = c.asFallback ? load(std::nullopt, c.file) : load(c.file);
        EXPECT_EQ(std::tie(l.read, l.printed, l.image.width, l.image.height),
                  std::make_tuple(c.asFallback ? "%" : "@", "", c.width, c.height));
        ASSERT_NE(l.image.pixels, nullptr);
        double error = 0;
        for (size_t i = 0; i < c.rgb.size(); ++i) {
            error += std::abs(l.image.pixels[i] - c.rgb[i]);
        }
        EXPECT_LE(error / c.rgb.size(), c.meanError);
        std::free(l.image.pixels);
    }
}

TEST(PictureReader, RefusesWithOneMessageBeforeTakingMemory) {
    const Bytes file = encodeBitmap(4, 4, patternPicture(4, 4));
    auto cut = [](Bytes bytes, size_t length) {
        bytes.resize(length);
        return bytes;
    };
    auto sized = [&](std::uint32_t width, std::uint32_t height) {
        return patched(patched(file, 18, width), 22, height);
    };
    const Bytes png = encodePng(9, 7, makeMarble(9)), jpeg = encodeJpeg(9, 7, makeMarble(9));
    auto pngSized = [&](unsigned width, unsigned height) {
        Bytes lying = png;
        patchPngSize(lying, width, height);
        return lying;
    };
    auto jpegSized = [&](unsigned width, unsigned height) {
        Bytes lying = jpeg;
        patchJpegSize(lying, width, height);
        return lying;
    };
    Bytes badCrc = png, badScan = encodeJpeg(64, 64, makeMarble(64));
    badCrc[badCrc.size() - 13] ^= 1; // the checksum of the pixel data
    badScan[badScan.size() / 2] = 0xff;
    const std::string reading = "Error reading image data from @.\n",
                      damaged = "Error reading image data from @: ",
                      tooLarge = "Size from @ is too large: ",
                      texture = "Texture from @ is too large for this OpenGL: ";
    // Not regular files are never read or waited for, and the fallback does
    // not stand in for them, nor for a damaged file.
    const std::string fifo = (folder / "fifo").string();
    mkfifo(fifo.c_str(), 0600);
    struct Case {
        std::optional<Bytes> file;
        std::string message, name = path;
        std::optional<Bytes> fallback = {};
    };
    // Byte counts just beyond 2^31 - 1 and far beyond it are too large; just
    // within, the file does not hold them.
    const Case cases[] = {
        {std::nullopt, "File Not Found : @\n"},
        {cut(file, 0), "Header from @ is cut short: 0 of 30 bytes\n"},
        {cut(file, 29), "Header from @ is cut short: 29 of 30 bytes\n"},
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
        {cut(file, 30), reading},
        {cut(file, file.size() - 1), reading},
        {patched(file, 10, static_cast<std::uint32_t>(file.size()) + 1), reading},
        {encodeBitmap(4097, 1, patternPicture(4097, 1)),
         texture + "4097 x 1 pixels, at most 4096 per side\n"},
        {Bytes{'G', 'I', 'F', '8', '9', 'a'}, "Format of @ is not known: BMP, PNG and JPEG are "
                                              "read\n"},
        {cut(png, 20), damaged + "Read Error\n"},
        {cut(png, png.size() - 20), damaged + "Read Error\n"},
        {badCrc, damaged + "IDAT: CRC error\n"},
        {pngSized(30000, 30000), tooLarge + "30000 x 30000 pixels\n"},
        {pngSized(4097, 7), texture + "4097 x 7 pixels, at most 4096 per side\n"},
        {pngSized(4000, 4000), damaged + "too little data for 4000 x 4000 pixels\n"},
        {cut(jpeg, 3), damaged + "Premature end of JPEG file\n"},
        {cut(jpeg, jpeg.size() - 20), damaged + "Premature end of JPEG file\n"},
        {badScan, damaged + "Corrupt JPEG data: premature end of data segment\n"},
        {jpegSized(65500, 65500), tooLarge + "65500 x 65500 pixels\n"},
        {jpegSized(9, 4097), texture + "9 x 4097 pixels, at most 4096 per side\n"},
        {jpegSized(4000, 4000), damaged + "too little data for 4000 x 4000 pixels\n"},
        {Bytes{'B', 'M'}, "Header from @ is cut short: 2 of 30 bytes\n", path, file},
        {std::nullopt, "File " + fifo + " is not a regular file\n", fifo, file},
        {std::nullopt, "File " + folder.string() + " is not a regular file\n", folder, file},
        {std::nullopt, "File /dev/null is not a regular file\n", "/dev/null", file}};
    auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto filesBefore = openFiles();
    for (const Case& c : cases) {
        Load l = load(c.file, c.fallback, c.name);
        EXPECT_EQ(l.printed, c.message);
        EXPECT_TRUE(l.read.empty() && l.image.pixels == nullptr) << c.message;
    }
    EXPECT_EQ(openFiles(), filesBefore); // every file closed again
}

} // namespace
