// A model's picture must read back, as the viewer reads it, as the picture
// it was made from: upright, PNG exactly, JPEG closely, each in its format,
// JPEG for a lossy source.
#include "picture/write/model_picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "bitmap_writer.h"
#include "jxl_writer.h"
#include "picture_writer.h"
#include "webp_heif_writer.h"

namespace {

TEST(ModelPicture, ReadsBackUprightAsTheSourceInItsFormat) {
    const int width = 17, height = 11; // no whole JPEG blocks
    std::vector<unsigned char> source(width * height * 3);
    for (size_t i = 0; i < source.size(); ++i) { // smooth for JPEG; top and bottom far apart
        const size_t x = i / 3 % width, y = i / 3 / width;
        source[i] = static_cast<unsigned char>(i % 3 == 1 ? y * 23 : x * 15 - i % 3 * x * 5);
    }
    const std::string path = std::filesystem::temp_directory_path() / "ovrik-model-picture";
    // A lossy source (JPEG, lossy WebP, HEIC, lossy or recompressed JPEG XL)
    // is stored again as JPEG, a lossless one (PNG, lossless WebP and JPEG
    // XL) as PNG.
    BitmapImage read, back; // a PNG read after a JPEG must not pass for one
    for (const auto& [file, lossy, tolerance] :
         {std::tuple{encodePng(width, height, source), false, 0},
          {encodeJpeg(width, height, source, {false, false, 98}), true, 20},
          {encodeWebp(width, height, source, {true}), false, 0},
          {encodeWebp(width, height, source, {false, 95}), true, 20},
          {encodeHeif(width, height, source, {false, 95}), true, 24},
          {encodeJxl(width, height, source), false, 0},
          {encodeJxl(width, height, source, {0.5}), true, 20},
          {encodeJxl(width, height, source,
                     {0, JxlLayout::uint8, false, false, 1, false, true, true}),
           true, 20}}) {
        const std::string mimeType = lossy ? "image/jpeg" : "image/png",
                          extension = lossy ? "jpg" : "png";
        ASSERT_TRUE(writeFile(path, file));
        ASSERT_NE(loadPicture(path.c_str(), nullptr, {}, &read), nullptr);
        EXPECT_EQ(read.lossy, lossy) << extension;
        ModelPicture picture;
        std::string error;
        ASSERT_TRUE(encodeModelPicture(read, read.lossy, picture, error)) << error;
        std::free(read.pixels);
        EXPECT_EQ(std::tie(picture.mimeType, picture.extension), std::tie(mimeType, extension));
        ASSERT_TRUE(writeFile(path, picture.bytes));
        ASSERT_NE(loadPicture(path.c_str(), nullptr, {}, &back), nullptr);
        ASSERT_EQ(std::tuple(back.lossy, back.width, back.height),
                  std::tuple(lossy, width, height));
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
