// Writes the viewer's marble texture:
// make-marble OUTPUT[.bmp|.png|.jpg|.gif|.tif|.webp|.heic|.avif] (BMP unless
// the name ends otherwise; WebP lossy, HEIC and AVIF at quality 90; a GIF
// maps the colours to a 252-colour cube; a TIFF is LZW-compressed). With
// WIDTHxHEIGHT after it, a photograph-like picture of that size instead,
// e.g. a phone's 4032x3024, and with an ORIENTATION (1 to 8, as EXIF numbers
// them) after that, the file carries it, as a phone's portrait photo does
// (6): PNG, JPEG and WebP in EXIF, a TIFF in its Orientation tag, HEIC and
// AVIF as rotation and mirror boxes; a GIF cannot.
#include <cstdio>
#include <string>

#include "bitmap_writer.h"
#include "gif_tiff_writer.h"
#include "marble.h"
#include "picture_writer.h"
#include "webp_heif_writer.h"

int main(int argc, char** argv) {
    int width = 256, height = 256, orientation = 0;
    if (argc < 2 || argc > 4 ||
        (argc >= 3 && (std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width < 1 ||
                       height < 1 || width > 16384 || height > 16384)) ||
        (argc == 4 &&
         (std::sscanf(argv[3], "%d", &orientation) != 1 || orientation < 1 || orientation > 8))) {
        std::fprintf(stderr,
                     "usage: make-marble OUTPUT[.bmp|.png|.jpg|.gif|.tif|.webp|.heic|.avif] "
                     "[WIDTHxHEIGHT [ORIENTATION]]\n");
        return 2;
    }
    const std::string output = argv[1];
    auto endsWith = [&](const std::string& suffix) {
        return output.size() >= suffix.size() &&
               output.compare(output.size() - suffix.size(), suffix.size(), suffix) == 0;
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
        : endsWith(".webp")
            ? encodeWebp(width, height, marble, {false, 90, false, false, orientation})
        : endsWith(".heic") || endsWith(".avif")
            ? encodeHeif(width, height, marble, {endsWith(".avif"), 90, 8, orientation})
            : encodeBitmap(width, height, marble);
    if (!writeFile(output, bytes)) {
        std::fprintf(stderr, "make-marble: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
