#include "texture/bitmap.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "bitmap_writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// A picture whose every byte differs from its neighbours, so any shift,
// swap or flip shows.
Bytes testPicture(int width, int height) {
    Bytes rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < rgb.size(); ++i) {
        rgb[i] = static_cast<unsigned char>(i * 7 + i / 3);
    }
    return rgb;
}

class BitmapReader : public ::testing::Test {
  protected:
    fs::path folder;

    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("ovrik-bmp-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                  "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder);
    }
    void TearDown() override {
        std::free(image.pixels);
        fs::remove_all(folder);
    }

    BitmapImage image;
    std::string output; // what the reader printed

    // Writes the bytes to a file and reads it back; returns the reader's result.
    int load(const Bytes& bytes, const std::string& name = "image.bmp") {
        std::string path = (folder / name).string();
        EXPECT_TRUE(writeFile(path, bytes));
        ::testing::internal::CaptureStdout();
        int result = loadBitmap(path.c_str(), &image);
        output = ::testing::internal::GetCapturedStdout();
        if (result == 1) {
            EXPECT_EQ(output, "");
        }
        return result;
    }

    std::string pathOf(const std::string& name) const { return (folder / name).string(); }

    void expectPixels(const Bytes& rgb) {
        ASSERT_NE(image.pixels, nullptr);
        EXPECT_EQ(Bytes(image.pixels, image.pixels + rgb.size()), rgb);
    }

    // Loads a file of the given picture and expects that picture back,
    // bottom-up; leaves the record empty for the next load.
    void expectLoads(const Bytes& file, int width, int height, const Bytes& rgb) {
        ASSERT_EQ(load(file), 1) << output;
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, height);
        expectPixels(rgb);
        std::free(image.pixels);
        image = BitmapImage{};
    }
};

TEST_F(BitmapReader, Reads256SquareAsPackedRgb) {
    Bytes rgb = testPicture(256, 256);
    Bytes file = encodeBitmap(256, 256, rgb);
    ASSERT_EQ(load(file), 1);
    EXPECT_EQ(image.width, 256);
    EXPECT_EQ(image.height, 256);
    EXPECT_EQ(image.pixels[0], file[56]);
    EXPECT_EQ(image.pixels[1], file[55]);
    EXPECT_EQ(image.pixels[2], file[54]);
    expectPixels(rgb);
}

TEST_F(BitmapReader, MissingFileIsReported) {
    std::string path = pathOf("absent.bmp");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(loadBitmap(path.c_str(), &image), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "File Not Found : " + path + "\n");
}

TEST_F(BitmapReader, RefusesOtherBitDepthsAndPlaneCounts) {
    Bytes file = encodeBitmap(4, 4, testPicture(4, 4));
    for (unsigned bits : {8u, 32u}) {
        file[28] = static_cast<unsigned char>(bits);
        EXPECT_EQ(load(file, "deep.bmp"), 0);
        EXPECT_EQ(output,
                  "Bpp from " + pathOf("deep.bmp") + " is not 24: " + std::to_string(bits) + "\n");
    }
    file[28] = 24;
    file[26] = 2;
    EXPECT_EQ(load(file, "planes.bmp"), 0);
    EXPECT_EQ(output, "Planes from " + pathOf("planes.bmp") + " is not 1: 2\n");
}

TEST_F(BitmapReader, ShortPixelDataIsAReadingError) {
    Bytes file = encodeBitmap(8, 8, testPicture(8, 8));
    file.resize(file.size() - 1);
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(output, "Error reading image data from " + pathOf("image.bmp") + ".\n");
}

TEST_F(BitmapReader, ZeroSizeIsAReadingError) {
    Bytes file = encodeBitmap(4, 4, testPicture(4, 4));
    for (size_t field : {18u, 22u}) {
        Bytes zero = file;
        patchLe32(zero, field, 0);
        EXPECT_EQ(load(zero), 0);
        EXPECT_EQ(output, "Error reading image data from " + pathOf("image.bmp") + ".\n");
    }
}

// A header that claims a huge picture must be refused before any
// allocation: the reader then leaves no pixel block behind.
TEST_F(BitmapReader, OverflowingSizesAreRefusedBeforeAllocating) {
    Bytes file = encodeBitmap(4, 4, testPicture(4, 4));
    const std::pair<std::uint32_t, std::uint32_t> sizes[] = {
        {65536, 21846}, {0x55555556, 1}, {1, 0x80000000u}, {0x7fffffff, 0x7fffffff}};
    for (auto [width, height] : sizes) {
        SCOPED_TRACE(::testing::Message() << width << " x " << height);
        patchLe32(file, 18, width);
        patchLe32(file, 22, height);
        EXPECT_EQ(load(file), 0);
        EXPECT_EQ(output.rfind("Size from " + pathOf("image.bmp") + " is too large", 0), 0u)
            << output;
        EXPECT_EQ(image.pixels, nullptr);
    }
}

TEST_F(BitmapReader, ClaimsBeyondTheFileAreRefusedBeforeAllocating) {
    Bytes file = encodeBitmap(4, 2, testPicture(4, 2));
    ASSERT_EQ(file.size(), 78u);
    patchLe32(file, 18, 16385);
    patchLe32(file, 22, 16385);
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(output, "Error reading image data from " + pathOf("image.bmp") + ".\n");
    EXPECT_EQ(image.pixels, nullptr);
}

TEST_F(BitmapReader, DropsRowPaddingOfOddWidths) {
    for (int width : {1, 2, 3, 5, 7}) {
        SCOPED_TRACE(width);
        Bytes rgb = testPicture(width, 3);
        expectLoads(encodeBitmap(width, 3, rgb), width, 3, rgb);
    }
}

TEST_F(BitmapReader, AcceptsAMissingPaddingAfterTheLastRow) {
    Bytes rgb = testPicture(3, 2);
    Bytes file = encodeBitmap(3, 2, rgb);
    file.resize(file.size() - 3);
    ASSERT_EQ(load(file), 1);
    expectPixels(rgb);
}

TEST_F(BitmapReader, HonoursThePixelOffsetOfLargerInfoHeaders) {
    for (int headerSize : {108, 124}) {
        SCOPED_TRACE(headerSize);
        Bytes rgb = testPicture(5, 4);
        Bytes file = encodeBitmap(5, 4, rgb, {headerSize, false});
        ASSERT_EQ(file[10], 14 + headerSize);
        expectLoads(file, 5, 4, rgb);
    }
}

TEST_F(BitmapReader, OffsetBelow54ReadsFrom54AndPastTheEndIsRefused) {
    Bytes rgb = testPicture(4, 4);
    Bytes file = encodeBitmap(4, 4, rgb);
    patchLe32(file, 10, 0);
    ASSERT_EQ(load(file), 1);
    expectPixels(rgb);

    patchLe32(file, 10, static_cast<std::uint32_t>(file.size() + 1));
    EXPECT_EQ(load(file, "far.bmp"), 0);
    EXPECT_EQ(output, "Error reading image data from " + pathOf("far.bmp") + ".\n");
}

TEST_F(BitmapReader, TopDownImagesComeOutBottomUp) {
    for (int width : {4, 3}) {
        SCOPED_TRACE(width);
        Bytes rgb = testPicture(width, 5);
        expectLoads(encodeBitmap(width, 5, rgb, {40, true}), width, 5, rgb);
    }
}

TEST_F(BitmapReader, NegativeWidthIsRefused) {
    Bytes file = encodeBitmap(4, 4, testPicture(4, 4));
    patchLe32(file, 18, static_cast<std::uint32_t>(-4));
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(output, "Width from " + pathOf("image.bmp") + " is negative: -4\n");
    patchLe32(file, 22, static_cast<std::uint32_t>(-4));
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(image.pixels, nullptr);
}

TEST_F(BitmapReader, MostNegativeHeightDoesNotWrap) {
    Bytes file = encodeBitmap(4, 4, testPicture(4, 4));
    patchLe32(file, 22, 0x80000000u);
    patchLe32(file, 18, 0);
    EXPECT_EQ(load(file), 0);
    EXPECT_EQ(output, "Error reading image data from " + pathOf("image.bmp") + ".\n");
}

TEST_F(BitmapReader, HeaderCutShortNamesTheBytesPresent) {
    Bytes file = encodeBitmap(4, 4, testPicture(4, 4));
    for (size_t length : {0u, 10u, 26u, 28u, 29u}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(load(Bytes(file.begin(), file.begin() + length)), 0);
        EXPECT_EQ(output, "Header from " + pathOf("image.bmp") +
                              " is cut short: " + std::to_string(length) + " of 30 bytes\n");
    }
    // Whole header, nothing after it.
    EXPECT_EQ(load(Bytes(file.begin(), file.begin() + 30)), 0);
    EXPECT_EQ(output, "Error reading image data from " + pathOf("image.bmp") + ".\n");
}

} // namespace
