// Writes the viewer's marble texture: make-marble
// OUTPUT[.bmp|.png|.jpg|.gif|.tif] (BMP unless the name ends otherwise). With
// WIDTHxHEIGHT after it, a photograph-like picture of that size instead,
// e.g. a phone's 4032x3024, and with an EXIF ORIENTATION (1 to 8) after
// that, a PNG or JPEG carries it, as a phone's portrait photo does (6), and
// a TIFF its Orientation tag. A GIF maps the colours to a 252-colour cube
// and a TIFF is LZW-compressed.
#include <cstdio>
#include <string>

#include "bitmap_writer.h"
#include "gif_tiff_writer.h"
#include "marble.h"
#include "picture_writer.h"

int main(int argc, char** argv) {
    int width = 256, height = 256, orientation = 0;
    if (argc < 2 || argc > 4 ||
        (argc >= 3 && (std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width < 1 ||
                       height < 1 || width > 16384 || height > 16384)) ||
        (argc == 4 &&
         (std::sscanf(argv[3], "%d", &orientation) != 1 || orientation < 1 || orientation > 8))) {
        std::fprintf(stderr, "usage: make-marble OUTPUT[.bmp|.png|.jpg|.gif|.tif] [WIDTHxHEIGHT "
                             "[ORIENTATION]]\n");
        return 2;
    }
    const std::string output = argv[1];
    auto endsWith = [&](const char* suffix) {
        return output.size() >= 4 && output.compare(output.size() - 4, 4, suffix) == 0;
    };
    const auto marble = argc >= 3 ? photoLikePicture(width, height) : makeMarble(width);
    const auto bytes =
        endsWith(".png")
            ? encodePng(width, height, marble, {PngLayout::rgb, 8, false, false, 6, orientation})
        : endsWith(".jpg") ? encodeJpeg(width, height, marble, {false, false, 90, orientation})
        : endsWith(".gif") ? encodeGif(width, height, marble)
        : endsWith(".tif")
            ? encodeTiff(width, height, marble,
                         {TiffLayout::rgb, 8, TiffLayout::lzw, false, 16, false, orientation})
            : encodeBitmap(width, height, marble);
    if (!writeFile(output, bytes)) {
        std::fprintf(stderr, "make-marble: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
