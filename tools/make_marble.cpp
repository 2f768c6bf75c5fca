// Writes the viewer's marble texture: make-marble OUTPUT[.bmp|.png|.jpg]
// (BMP unless the name ends in .png or .jpg).
#include <cstdio>
#include <string>

#include "bitmap_writer.h"
#include "marble.h"
#include "picture_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-marble OUTPUT[.bmp|.png|.jpg]\n");
        return 2;
    }
    const int size = 256;
    const std::string output = argv[1];
    auto endsWith = [&](const char* suffix) {
        return output.size() >= 4 && output.compare(output.size() - 4, 4, suffix) == 0;
    };
    const auto marble = makeMarble(size);
    const auto bytes = endsWith(".png")   ? encodePng(size, size, marble)
                       : endsWith(".jpg") ? encodeJpeg(size, size, marble)
                                          : encodeBitmap(size, size, marble);
    if (!writeFile(output, bytes)) {
        std::fprintf(stderr, "make-marble: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
