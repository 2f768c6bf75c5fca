#include "marble.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "bitmap_writer.h"
#include "texture/bitmap.h"

namespace {

TEST(Marble, SameBytesEveryTime) {
    EXPECT_EQ(encodeBitmap(256, 256, makeMarble(256)), encodeBitmap(256, 256, makeMarble(256)));
}

TEST(Marble, ReaderLoadsTheGeneratedFile) {
    auto bytes = encodeBitmap(256, 256, makeMarble(256));
    ASSERT_EQ(bytes.size(), 54u + 256 * 256 * 3);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    auto path = std::filesystem::temp_directory_path() / "ovrik-marble-test.bmp";
    ASSERT_TRUE(writeFile(path.string(), bytes));
    BitmapImage image;
    ASSERT_EQ(loadBitmap(path.string().c_str(), &image), 1);
    std::filesystem::remove(path);
    EXPECT_EQ(image.width, 256);
    EXPECT_EQ(image.height, 256);
    auto rgb = makeMarble(256);
    EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), image.pixels));
    std::free(image.pixels);
}

TEST(Marble, LightStoneWithDarkVeins) {
    auto rgb = makeMarble(256);
    size_t light = 0, dark = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        int brightness = rgb[i] + rgb[i + 1] + rgb[i + 2];
        light += brightness > 3 * 200;
        dark += brightness < 3 * 140;
    }
    const size_t pixels = rgb.size() / 3;
    EXPECT_GT(light, pixels / 2);
    EXPECT_GT(dark, pixels / 100);
    EXPECT_LT(dark, pixels / 5);
}

// The logo repeats the texture, so opposite edges must meet without a seam:
// the jump across an edge is no larger than jumps inside the picture.
TEST(Marble, TilesWithoutASeam) {
    const int n = 256;
    auto rgb = makeMarble(n);
    auto at = [&](int x, int y) { return rgb[(static_cast<size_t>(y) * n + x) * 3 + 1]; };
    long acrossEdge = 0, inside = 0;
    for (int i = 0; i < n; ++i) {
        acrossEdge += std::abs(at(n - 1, i) - at(0, i)) + std::abs(at(i, n - 1) - at(i, 0));
        inside +=
            std::abs(at(n / 2, i) - at(n / 2 + 1, i)) + std::abs(at(i, n / 2) - at(i, n / 2 + 1));
    }
    EXPECT_LT(acrossEdge, 2 * inside + n);
}

} // namespace
