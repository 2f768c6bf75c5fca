// A model's picture must read back, as the viewer reads it, as the picture
// it was made from: upright, PNG exactly, JPEG closely, each in its format.
#include "picture/write/model_picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "bitmap_writer.h"

namespace {

TEST(ModelPicture, ReadsBackUprightAsTheSourceInItsFormat) {
    const int width = 17, height = 11; // no whole JPEG blocks
    std::vector<unsigned char> source(width * height * 3);
    for (size_t i = 0; i < source.size(); ++i) { // smooth for JPEG; top and bottom far apart
        const size_t x = i / 3 % width, y = i / 3 / width;
        source[i] = static_cast<unsigned char>(i % 3 == 1 ? y * 23 : x * 15 - i % 3 * x * 5);
    }
    const std::string path = std::filesystem::temp_directory_path() / "ovrik-model-picture";
    BitmapImage back; // a PNG read after a JPEG must not pass for one
    for (const auto& [asJpeg, mimeType, extension, tolerance] :
         {std::tuple{true, "image/jpeg", "jpg", 20}, {false, "image/png", "png", 0}}) {
        ModelPicture picture;
        std::string error;
        ASSERT_TRUE(encodeModelPicture({width, height, source.data()}, asJpeg, picture, error))
            << error;
        EXPECT_EQ(std::tie(picture.mimeType, picture.extension), std::tuple(mimeType, extension));
        ASSERT_TRUE(writeFile(path, picture.bytes));
        ASSERT_NE(loadPicture(path.c_str(), nullptr, {}, &back), nullptr);
        ASSERT_EQ(std::tuple(back.lossy, back.width, back.height),
                  std::tuple(asJpeg, width, height));
        int worst = 0;
        for (size_t i = 0; i < source.size(); ++i) {
            worst = std::max(worst, std::abs(back.pixels[i] - source[i]));
        }
        EXPECT_LE(worst, tolerance) << extension;
        std::free(back.pixels);
        back.pixels = nullptr;
    }
    std::filesystem::remove(path);
    // libjpeg's bound, 65500 pixels per side: its refusal comes back, nothing kept.
    std::vector<unsigned char> row(70000 * 3);
    ModelPicture wide{{1}, "image/png", "png"};
    std::string error;
    EXPECT_FALSE(encodeModelPicture({70000, 1, row.data()}, true, wide, error));
    EXPECT_TRUE(wide.bytes.empty() && wide.extension.empty() && !error.empty()) << error;
}

} // namespace
