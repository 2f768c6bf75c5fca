// libFuzzer entry: arbitrary bytes through the same BMP reader the viewer
// uses, via an in-memory stream.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "texture/bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // fmemopen refuses an empty buffer; an empty file is covered by tests.
    if (size == 0) {
        return 0;
    }
    std::FILE* stream = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (stream == nullptr) {
        return 0;
    }
    BitmapImage image;
    if (readBitmap(stream, "fuzz.bmp", &image) == 1) {
        // A success promises width * height * 3 readable bytes, which is
        // what the texture upload consumes; let ASan check every one.
        if (image.width <= 0 || image.height <= 0 || image.pixels == nullptr) {
            std::abort();
        }
        const std::size_t bytes = static_cast<std::size_t>(image.width) * image.height * 3;
        volatile unsigned char sink = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            sink = sink ^ image.pixels[i];
        }
    }
    std::free(image.pixels);
    std::fclose(stream);
    return 0;
}
