// Writes WebP files with the system's libwebp and HEIC and AVIF files with
// libheif's encoders (x265, aom), and reads them back with those libraries
// alone: inputs and references for the tests, the benchmarks, the fuzz
// corpus and the marble in other formats.
#pragma once

#include <string>
#include <vector>

struct WebpLayout {
    bool lossless = false;
    int quality = 90;
    // Alpha that varies from pixel to pixel, some of it 0; the colours under
    // it are kept as they are, as libwebp's "exact" setting does.
    bool alpha = false;
    // Two frames through WebPAnimEncoder: the picture, then the picture with
    // its colours inverted.
    bool animated = false;
    int orientation = 0; // an EXIF chunk with this orientation; 0: none
    // Animated: the first frame lies this many pixels (even) in from the
    // canvas's left and top, as an animation's later frames do, and the
    // canvas reaches as far beyond its other sides; the frames are then
    // put together by WebPMux, as WebPAnimEncoder starts on the whole canvas.
    int border = 0;
};

struct HeifLayout {
    bool av1 = false; // AVIF through aom; otherwise HEIC through x265
    int quality = 90;
    // 8, 10 or 12: samples beyond 8 bits are the 8-bit ones times 2^(n-8),
    // as a camera's 10-bit output of the same picture would be.
    int bitDepth = 8;
    // irot and imir boxes that show the picture as this EXIF orientation
    // would; 0 or 1: none.
    int orientation = 0;
    // A size the codec cannot code exactly is written as a larger picture
    // cropped by a clap box rather than, as libheif 1.15 does by default, a
    // grid of one tile (later versions always crop).
    bool cropBox = false;
};

// rgb holds width * height pixels, R, G, B, bottom row first, as BitmapImage
// does.
std::vector<unsigned char> encodeWebp(int width, int height, const std::vector<unsigned char>& rgb,
                                      const WebpLayout& layout = {});
std::vector<unsigned char> encodeHeif(int width, int height, const std::vector<unsigned char>& rgb,
                                      HeifLayout layout = {});

// The picture as the library itself decodes it, R, G, B, bottom row first:
// WebPDecodeRGB for a still WebP, WebPAnimDecoder's first canvas for an
// animated one with its alpha dropped; heif_decode_image for the primary
// image of a HEIF file, transformations applied, at 8 bits. Empty when the
// library refuses the file.
struct DecodedPicture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};
DecodedPicture decodeWebpWithLibrary(const std::vector<unsigned char>& file);
DecodedPicture decodeHeifWithLibrary(const std::vector<unsigned char>& file);
// libheif's own message for a HEIF file it refuses, as far as its first
// line break; empty when it reads the file.
std::string heifRefusal(const std::vector<unsigned char>& file);

// Rewrite the size a file's header claims, for files that lie about it: a
// WebP's VP8 frame header, VP8L header or VP8X canvas, whichever comes
// first; every ispe property of a HEIF file.
void patchWebpSize(std::vector<unsigned char>& webp, unsigned width, unsigned height);
void patchHeifSize(std::vector<unsigned char>& heif, unsigned width, unsigned height);
