// Writes the fuzzer's seed corpus: make-corpus FOLDER
// Valid files of several layouts, and one file for each refusal.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bitmap_writer.h"
#include "gif_tiff_writer.h"
#include "jxl_writer.h"
#include "picture_writer.h"
#include "webp_heif_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes valid(int width, int height, const BitmapLayout& layout = {}) {
    return encodeBitmap(width, height, patternPicture(width, height), layout);
}

Bytes patched(Bytes bytes, size_t at, std::uint32_t value) {
    patchLe32(bytes, at, value);
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-corpus FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    Bytes shortPixels = valid(4, 4);
    shortPixels.resize(shortPixels.size() - 5);
    Bytes planes = valid(4, 4);
    planes[26] = 2;
    Bytes bpp8 = valid(4, 4);
    bpp8[28] = 8;
    Bytes bpp32 = valid(4, 4);
    bpp32[28] = 32;
    Bytes shortHeader = valid(4, 4);
    shortHeader.resize(20);
    const auto picture = patternPicture(9, 7), picture16 = patternPicture(16, 16);
    Bytes cutPng = encodePng(9, 7, picture);
    cutPng.resize(cutPng.size() / 2);
    Bytes cutJpeg = encodeJpeg(9, 7, picture, {false, true});
    cutJpeg.resize(cutJpeg.size() / 2);
    Bytes badCrcPng = encodePng(9, 7, picture);
    badCrcPng[40] ^= 1;
    Bytes lyingPng = encodePng(9, 7, picture);
    patchPngSize(lyingPng, 16000, 7);
    Bytes lyingJpeg = encodeJpeg(9, 7, picture);
    patchJpegSize(lyingJpeg, 9, 16000);
    // Stray bytes after the JFIF segment, before the next marker.
    Bytes strayJpeg = encodeJpeg(9, 7, picture);
    strayJpeg.insert(strayJpeg.begin() + 4 + (strayJpeg[4] << 8 | strayJpeg[5]), {0, 0x42, 0x42});
    // An EXIF block whose directory lies beyond its end.
    Bytes badExifJpeg = encodeJpeg(9, 7, picture, {false, false, 90, 6});
    badExifJpeg[35] = 0xf0;
    // WebP and HEIF: each kind valid, then cut, with a damaged bitstream,
    // and lying about its size.
    const Bytes lossyWebp = encodeWebp(16, 16, picture16), heic = encodeHeif(9, 7, picture),
                avif = encodeHeif(16, 16, picture16, {true});
    Bytes cutWebp = lossyWebp, cutHeic = heic, badWebp = encodeWebp(9, 7, picture, {true}),
          badAvif = avif, lyingWebp = lossyWebp, lyingHeic = heic;
    cutWebp.resize(cutWebp.size() / 2);
    cutHeic.resize(cutHeic.size() - 20);
    badWebp[30] ^= 0x55;
    // The header of the first OBU, where the item's data starts.
    badAvif[std::search(avif.begin(), avif.end(), std::begin("mdat"), std::end("mdat") - 1) -
            avif.begin() + 4] = 0xff;
    patchWebpSize(lyingWebp, 16000, 16);
    patchHeifSize(lyingHeic, 9, 16000);
    Bytes thinHeic = heic;
    patchHeifSize(thinHeic, 27759, 1);
    // JPEG XL: valid in its container, with alpha, orientation and a second
    // frame; damaged in its bitstream, cut, and lying about its size.
    using J = JxlLayout;
    const Bytes jxl = encodeJxl(16, 16, picture16, {1});
    Bytes badJxl = jxl, cutJxl = jxl, lyingJxl = jxl;
    std::fill_n(badJxl.begin() + badJxl.size() / 2, 8, 0x5a);
    cutJxl.resize(cutJxl.size() / 2);
    patchJxlSize(lyingJxl, 16000, 16000);

    // The kinds of BMP only a named picture may be; RLE's skips, a stream
    // cut short, and a claim far beyond what its bytes can draw.
    const auto few = fewColourPicture(13, 5, 12);
    const Bytes rle8 = encodeBitmap(13, 5, few, {40, false, 8, 1});
    const Bytes fields =
        encodeBitmap(9, 7, picture, {56, false, 32, 3, {0xff0000, 0xff00, 0xff, 0}});
    const Bytes bareDib(fields.begin() + 14, fields.end());
    Bytes cutRle = rle8;
    cutRle.resize(cutRle.size() - 7);
    using T = TiffLayout;
    Bytes cutGif = encodeGif(9, 7, picture, {GifLayout::global, true});
    cutGif.resize(cutGif.size() - 10);
    Bytes lyingGif = encodeGif(9, 7, picture);
    patchGifSize(lyingGif, 16000, 16000);
    Bytes badLzwGif = encodeGif(16, 16, picture16);
    std::fill_n(badLzwGif.end() - 40, 6, 0xff);
    Bytes cutTiff = encodeTiff(9, 7, picture, {T::rgb, 8, T::lzw});
    cutTiff.resize(cutTiff.size() - 30);
    Bytes lyingTiff = encodeTiff(9, 7, picture, {T::rgb, 8, T::deflate});
    patchTiffSize(lyingTiff, 16000, 7);
    Bytes badDeflateTiff = encodeTiff(9, 7, picture, {T::grey, 8, T::deflate});
    std::fill_n(badDeflateTiff.begin() + 10, 6, 0xff);

    const std::vector<std::pair<std::string, Bytes>> files = {
        {"valid-lossy.webp", lossyWebp},
        {"valid-lossless.webp", encodeWebp(9, 7, picture, {true})},
        {"valid-lossy-alpha.webp", encodeWebp(9, 7, picture, {false, 90, true})},
        {"valid-lossless-alpha-exif6.webp", encodeWebp(9, 7, picture, {true, 90, true, false, 6})},
        {"valid-animated.webp", encodeWebp(9, 7, picture, {false, 90, true, true})},
        {"valid-animated-offset.webp", encodeWebp(9, 7, picture, {true, 90, true, true, 0, 2})},
        {"valid-grid.heic", heic},
        {"valid-cropped.heic", encodeHeif(9, 7, picture, {false, 90, 8, 0, true})},
        {"valid-10bit-rotated.heic", encodeHeif(16, 16, picture16, {false, 90, 10, 6})},
        {"valid.avif", avif},
        {"valid-12bit-rotated.avif", encodeHeif(9, 7, picture, {true, 90, 12, 8})},
        // libheif 1.15 mirrors only 8-bit pictures, and says so.
        {"refuse-12bit-mirrored.avif", encodeHeif(9, 7, picture, {true, 90, 12, 2})},
        {"refuse-cut.webp", cutWebp},
        {"refuse-bitstream.webp", badWebp},
        {"refuse-lying-width.webp", lyingWebp},
        {"refuse-cut.heic", cutHeic},
        {"refuse-tile.avif", badAvif},
        {"refuse-lying-height.heic", lyingHeic},
        {"refuse-thin-claim.heic", thinHeic},
        {"valid-odd-wide.heic", encodeHeif(1025, 9, patternPicture(1025, 9))},
        {"valid-lossy.jxl", jxl},
        {"valid-container-alpha-orientation6-animated.jxl",
         encodeJxl(9, 7, picture, {0, J::uint16, false, true, 6, true, true})},
        {"refuse-bitstream.jxl", badJxl},
        {"refuse-cut.jxl", cutJxl},
        {"refuse-lying-size.jxl", lyingJxl},
        {"valid-w1.bmp", valid(1, 3)},
        {"valid-w3.bmp", valid(3, 3)},
        {"valid-w4.bmp", valid(4, 2)},
        {"valid-w5.bmp", valid(5, 2)},
        {"valid-top-down.bmp", valid(3, 4, {40, true})},
        {"valid-header108.bmp", valid(5, 2, {108, false})},
        {"valid-header124.bmp", valid(4, 3, {124, false})},
        {"refuse-planes.bmp", planes},
        {"refuse-bpp8.bmp", bpp8},
        {"refuse-bpp32.bmp", bpp32},
        {"refuse-short-header.bmp", shortHeader},
        {"refuse-short-pixels.bmp", shortPixels},
        {"refuse-zero-width.bmp", patched(valid(4, 4), 18, 0)},
        {"refuse-overflow.bmp", patched(patched(valid(4, 2), 18, 65536), 22, 21846)},
        {"refuse-huge-claim.bmp", patched(patched(valid(4, 2), 18, 16385), 22, 16385)},
        {"refuse-negative-width.bmp", patched(valid(4, 4), 18, static_cast<std::uint32_t>(-4))},
        {"refuse-min-height.bmp", patched(valid(4, 4), 22, 0x80000000u)},
        {"refuse-offset-past-end.bmp", patched(valid(4, 4), 10, 4096)},
        {"valid-rgb.png", encodePng(9, 7, picture)},
        {"valid-palette-trns.png",
         encodePng(4, 3, patternPicture(4, 3), {PngLayout::palette, 4, false, true})},
        {"valid-grey1-interlaced.png", encodePng(9, 7, picture, {PngLayout::grey, 1, true})},
        {"valid-grey-alpha16.png", encodePng(3, 5, picture, {PngLayout::greyAlpha, 16})},
        {"valid-rgb16-interlaced-trns.png",
         encodePng(5, 4, picture, {PngLayout::rgb, 16, true, true})},
        {"valid-baseline.jpg", encodeJpeg(9, 7, picture)},
        {"valid-progressive.jpg", encodeJpeg(17, 9, picture, {false, true})},
        {"valid-grey.jpg", encodeJpeg(8, 8, picture, {true, false})},
        {"refuse-cut.png", cutPng},
        {"refuse-crc.png", badCrcPng},
        {"refuse-lying-width.png", lyingPng},
        {"refuse-cut.jpg", cutJpeg},
        {"refuse-lying-height.jpg", lyingJpeg},
        {"refuse-format.txt", Bytes{'O', 'v', 'r', 'i', 'k', '\n'}},
        {"valid-exif6.jpg", encodeJpeg(9, 7, picture, {false, false, 90, 6})},
        {"valid-exif7-progressive.jpg", encodeJpeg(17, 9, picture, {false, true, 90, 7})},
        {"valid-exif8.png", encodePng(9, 7, picture, {PngLayout::rgb, 8, false, false, 6, 8})},
        {"valid-exif5-interlaced.png",
         encodePng(9, 7, picture, {PngLayout::palette, 8, true, false, 6, 5})},
        {"valid-exif-damaged.jpg", badExifJpeg},
        {"valid-cmyk-adobe.jpg",
         encodeJpeg(9, 7, picture, {false, false, 90, 0, JpegLayout::cmykAdobe})},
        {"valid-cmyk-plain.jpg",
         encodeJpeg(9, 7, picture, {false, false, 90, 3, JpegLayout::cmykPlain})},
        {"valid-ycck.jpg",
         encodeJpeg(16, 16, picture16, {false, true, 90, 0, JpegLayout::ycckAdobe})},
        {"valid-stray-bytes.jpg", strayJpeg},
        {"valid-reduced.bmp", valid(40, 3)},
        {"valid-palette8.bmp", encodeBitmap(13, 5, few, {40, false, 8})},
        {"valid-rle8.bmp", rle8},
        {"valid-rle4.bmp", encodeBitmap(13, 5, few, {40, false, 4, 2})},
        {"valid-bitfields16.bmp",
         encodeBitmap(9, 7, picture, {52, false, 16, 3, {0xf800, 0x7e0, 0x1f, 0}})},
        {"valid-os2-core.bmp", encodeBitmap(13, 5, few, {12, false, 4})},
        {"valid-bare-bitfields.dib", bareDib},
        {"valid-v5-alpha.bmp",
         encodeBitmap(9, 7, picture, {124, true, 32, 3, {0xff0000, 0xff00, 0xff, 0xff000000}})},
        {"refuse-rle-cut.bmp", cutRle},
        {"refuse-rle-huge-claim.bmp", patched(patched(rle8, 18, 16384), 22, 16384)},
        {"valid.gif", encodeGif(9, 7, picture)},
        {"valid-interlaced-offset.gif",
         encodeGif(16, 16, picture16, {GifLayout::local, true, 20, 18, 3, 1})},
        {"valid-clipped-transparent-animated.gif",
         encodeGif(9, 7, picture, {GifLayout::global, false, 6, 5, 2, 1, 4, 2, true})},
        {"valid-no-colour-map.gif", encodeGif(9, 7, picture, {GifLayout::none})},
        {"valid-both-maps-interlaced.gif", encodeGif(9, 7, picture, {GifLayout::both, true})},
        {"refuse-cut.gif", cutGif},
        {"refuse-lying-size.gif", lyingGif},
        {"refuse-bad-lzw.gif", badLzwGif},
        {"valid-rgb.tif", encodeTiff(9, 7, picture)},
        {"valid-rgb16-lzw-tiled-big-endian.tif",
         encodeTiff(9, 7, picture, {T::rgb, 16, T::lzw, true, 3, false, 0, true})},
        {"valid-grey16-tiled.tif", encodeTiff(9, 7, picture, {T::grey, 16, T::packBits, true})},
        {"valid-palette4.tif", encodeTiff(4, 3, patternPicture(4, 3), {T::palette, 4, T::lzw})},
        {"valid-cmyk-planes.tif", encodeTiff(9, 7, picture, {T::cmyk, 8, T::none, false, 2, true})},
        {"valid-alpha-orientation6.tif",
         encodeTiff(9, 7, picture, {T::rgbAlpha, 8, T::deflate, false, 3, false, 6})},
        {"valid-jpeg-orientation7-big.tif",
         encodeTiff(16, 16, picture16, {T::rgb, 8, T::jpeg, false, 16, false, 7, false, true})},
        {"valid-cmyk12-planes-tiled.tif",
         encodeTiff(9, 7, picture, {T::cmyk, 12, T::lzw, true, 3, true})},
        {"valid-float16-stretched.tif",
         encodeTiff(9, 7, picture,
                    {T::rgb, 16, T::deflate, false, 2, false, 0, true, false, false, true, true})},
        {"valid-rgb6-planes.tif",
         encodeTiff(9, 7, picture, {T::rgb, 6, T::packBits, false, 3, true})},
        {"refuse-cut.tif", cutTiff},
        {"refuse-lying-width.tif", lyingTiff},
        {"refuse-bad-deflate.tif", badDeflateTiff},
    };
    for (const auto& [name, bytes] : files) {
        if (!writeFile(folder + "/" + name, bytes)) {
            std::fprintf(stderr, "make-corpus: cannot write %s/%s\n", folder.c_str(), name.c_str());
            return 1;
        }
    }
    return 0;
}
