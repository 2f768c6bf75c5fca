// Writes GIF files with the system's giflib and TIFF files with its
// libtiff: inputs for the tests, the benchmarks and the fuzz corpus, and
// the marble in these formats too.
#pragma once

#include <cstdint>
#include <vector>

struct GifLayout {
    // The palette lists the picture's colours in the order they first
    // appear, top row first; a picture of more than 256 colours is mapped
    // to a 6 x 7 x 6 colour cube.
    // both: the frame's own table, and a global one with the colours in
    // reverse, which the frame must not show.
    enum Map { global, local, none, both } map = global;
    bool interlaced = false;
    int screenWidth = 0, screenHeight = 0; // 0: the frame's own size
    int left = 0, top = 0;                 // the frame's corner on the screen
    int background = 0;                    // the screen's background, a palette index
    int transparent = -1;                  // a graphics control block marks this index
    bool secondFrame = false;              // an animation: a second frame, the picture upside down
};

// rgb holds width * height pixels, R, G, B, bottom row first, as BitmapImage
// does: the first frame.
std::vector<unsigned char> encodeGif(int width, int height, const std::vector<unsigned char>& rgb,
                                     GifLayout layout = {});

struct TiffLayout {
    // Grey takes the red channel; a palette the picture's own colours (at
    // most 2^bitDepth); CMYK stores ink, K = 255 - max(R, G, B) and C =
    // 255 - R * 255 / max(R, G, B), likewise M and Y; rgbAlpha adds
    // unassociated alpha that varies from pixel to pixel.
    enum Kind { rgb, grey, palette, cmyk, rgbAlpha } kind = rgb;
    // Any depth from 1 to 16 bits; 1, 2, 4 or 8 for a palette; 16, 32 or 64
    // for floating point.
    int bitDepth = 8;
    // JPEG stores YCbCr, subsampled, at quality 90.
    enum Compression { none, lzw, deflate, packBits, jpeg } compression = none;
    bool tiled = false;   // 16 x 16 tiles, else strips of rowsPerStrip rows
    int rowsPerStrip = 3; // JPEG's are 16 at least
    bool separatePlanes = false;
    int orientation = 0; // the Orientation tag, 1 to 8; 0: none
    bool bigEndian = false;
    bool bigTiff = false;
    // A palette's colours as 8-bit values, as some writers wrongly store
    // them, rather than TIFF's 16 bits.
    bool eightBitColourMap = false;
    // IEEE floating point, v / 255, or stretched beyond 0 .. 1 as
    // v * 1.5 / 255 - 0.25.
    bool floating = false;
    bool stretched = false;
    int tileSide = 16;
};

std::vector<unsigned char> encodeTiff(int width, int height, const std::vector<unsigned char>& rgb,
                                      TiffLayout layout = {});

// Rewrite the size a file claims, for files that lie about it: the GIF's
// logical screen and its first frame; the ImageWidth and ImageLength
// entries of a classic little-endian TIFF's first directory.
void patchGifSize(std::vector<unsigned char>& gif, unsigned width, unsigned height);
void patchTiffSize(std::vector<unsigned char>& tiff, std::uint32_t width, std::uint32_t height);
