// Writes JPEG XL files with the system's libjxl encoder and reads them back
// with its decoder alone: inputs and references for the tests, the
// benchmarks and the fuzz corpus.
#pragma once

#include <vector>

#include "webp_heif_writer.h" // DecodedPicture

struct JxlLayout {
    float distance = 0; // 0: lossless; otherwise lossy (XYB) at this distance
    // The samples handed to the encoder and stored: 8 or 16 bits (the 8-bit
    // value times 257), or 32-bit float stretched to -0.1 .. 1.15, so that
    // some lie beyond 0 .. 1.
    enum Samples { uint8, uint16, float32 } samples = uint8;
    bool grey = false; // the red channel alone
    // Straight alpha that varies from pixel to pixel, some of it 0. (libjxl
    // 0.7's encoder aborts on premultiplied alpha.)
    bool alpha = false;
    int orientation = 1;   // the codestream's, 1 to 8; the pixels as stored
    bool animated = false; // a second frame after it, its colours inverted
    bool container = false;
    // The JPEG encodeJpeg writes of the picture, recompressed losslessly,
    // with what it takes to rebuild that JPEG; the other fields but
    // container are ignored.
    bool fromJpeg = false;
    int effort = 7;
};

// rgb holds width * height pixels, R, G, B, bottom row first, as BitmapImage
// does.
std::vector<unsigned char> encodeJxl(int width, int height, const std::vector<unsigned char>& rgb,
                                     const JxlLayout& layout = {});

// The first frame as libjxl decodes it into a whole RGBA buffer of 8 bits,
// its orientation applied by libjxl, alpha dropped: R, G, B, bottom row
// first. Empty when libjxl refuses the file.
DecodedPicture decodeJxlWithLibrary(const std::vector<unsigned char>& file);

// Rewrites a bare codestream's size header to claim width x height; the
// bits after it move, so only the header reads right.
void patchJxlSize(std::vector<unsigned char>& jxl, unsigned width, unsigned height);
