// Writes PNG and JPEG files with the system's libpng and libjpeg: inputs
// for the tests, the benchmarks and the fuzz corpus, and the marble in
// other formats.
#pragma once

#include <vector>

struct PngLayout {
    enum Kind { rgb, rgbAlpha, grey, greyAlpha, palette } kind = rgb;
    int bitDepth = 8; // 16 for rgb and grey; 1, 2, 4 for grey and palette
    bool interlaced = false;
    bool transparency = false; // a tRNS chunk (rgb, grey and palette)
    int compression = 6;       // zlib level
    int orientation = 0;       // an eXIf chunk with this EXIF orientation; 0: none
};

struct JpegLayout {
    bool grey = false;
    bool progressive = false;
    int quality = 90;
    int orientation = 0; // an APP1 EXIF block with this orientation; 0: none
    // Ink instead of light, as print work stores it: CMYK inverted and
    // marked by Adobe's APP14 marker, as Adobe's writers do; CMYK plain,
    // without the marker; or inverted and stored as YCCK.
    enum Ink { none, cmykAdobe, cmykPlain, ycckAdobe } ink = none;
};

// An EXIF block (a TIFF header and one directory) that holds only the
// orientation, as PNG's eXIf chunk carries it; JPEG's APP1 puts "Exif\0\0"
// before it.
std::vector<unsigned char> exifBlock(int orientation, bool bigEndian);

// rgb holds width * height pixels, R, G, B, bottom row first, as BitmapImage
// does. Grey files take the red channel, samples narrower than 8 bits its
// top bits; a palette takes the picture's own colours (at most 2^bitDepth).
// Alpha, where there is alpha, varies from pixel to pixel.
std::vector<unsigned char> encodePng(int width, int height, const std::vector<unsigned char>& rgb,
                                     PngLayout layout = {});
// A CMYK file stores inverted ink, K' = max(R, G, B) and C' = R * 255 / K'
// (likewise M' and Y'), so that C' * K' / 255 gives the picture back; the
// plain kind stores 255 minus these.
std::vector<unsigned char> encodeJpeg(int width, int height, const std::vector<unsigned char>& rgb,
                                      JpegLayout layout = {});

// Rewrite the size a file's header claims, for files that lie about it: the
// PNG's IHDR (with its checksum made right again) or the JPEG's frame header.
void patchPngSize(std::vector<unsigned char>& png, unsigned width, unsigned height);
void patchJpegSize(std::vector<unsigned char>& jpeg, unsigned width, unsigned height);
