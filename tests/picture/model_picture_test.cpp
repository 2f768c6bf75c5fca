// A model's picture must read back, as the viewer reads it, as the picture
// it was made from: upright, PNG exactly, JPEG closely, each in its format.
#include "picture/model_picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "bitmap_writer.h"

namespace {

TEST(ModelPicture, ReadsBackUprightAsTheSourceInItsFormat) {
    const int width = 17, height = 11; // no whole JPEG blocks
    std::vector<unsigned char> source(width * height * 3);
    for (int i = 0; i < width * height; ++i) { // smooth for JPEG; top and bottom far apart
        const int x = i % width, y = i / width;
        source[3 * i] = static_cast<unsigned char>(x * 15);
        source[3 * i + 1] = static_cast<unsigned char>(y * 23);
        source[3 * i + 2] = static_cast<unsigned char>(250 - x * 5 - y * 10);
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "ovrik-model-picture";
    std::filesystem::create_directories(folder);
    BitmapImage back; // a PNG read after a JPEG must not pass for one
    for (const auto& [asJpeg, mimeType, tolerance] :
         {std::tuple{true, "image/jpeg", 20}, {false, "image/png", 0}}) {
        ModelPicture picture;
        std::string error;
        ASSERT_TRUE(encodeModelPicture({width, height, source.data()}, asJpeg, picture, error))
            << error;
        EXPECT_EQ(picture.mimeType, mimeType);
        const std::string path = (folder / ("picture." + picture.extension)).string();
        ASSERT_TRUE(writeFile(path, picture.bytes));
        ASSERT_NE(loadPicture(path.c_str(), nullptr, {}, &back), nullptr) << path;
        EXPECT_EQ(back.fromJpeg, asJpeg);
        ASSERT_EQ(std::pair(back.width, back.height), std::pair(width, height));
        int worst = 0;
        for (size_t i = 0; i < source.size(); ++i) {
            worst = std::max(worst, std::abs(back.pixels[i] - source[i]));
        }
        EXPECT_LE(worst, tolerance) << path;
        std::free(back.pixels);
        back.pixels = nullptr;
    }
    std::filesystem::remove_all(folder);
}

TEST(ModelPicture, RefusesWhatItCannotEncode) {
    std::vector<unsigned char> row(70000 * 3);
    for (const auto& [image, asJpeg] : {std::pair{BitmapImage{0, 1, row.data()}, false},
                                        {BitmapImage{1, 1, nullptr}, true},
                                        {BitmapImage{70000, 1, row.data()}, true}}) {
        ModelPicture picture{{1}, "image/png", "png"};
        std::string error;
        EXPECT_FALSE(encodeModelPicture(image, asJpeg, picture, error));
        EXPECT_TRUE(picture.bytes.empty() && picture.extension.empty()) << error;
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
