// The window's picture encoded in memory for a model file to carry: PNG
// through libpng, JPEG through libjpeg-turbo. No GL here.
#pragma once

#include <string>
#include <vector>

#include "picture/picture.h"

// The window's picture, encoded for a model file: PNG for BMP and PNG
// sources, JPEG for JPEG sources, upright (rows top first), reduced as the
// window reduces it. No bytes: no picture, the colour alone.
struct ModelPicture {
    std::vector<unsigned char> bytes;
    std::string mimeType;  // "image/png" or "image/jpeg"
    std::string extension; // "png" or "jpg"
};

// The JPEG quality a lossy picture (JPEG, lossy WebP, HEIC, AVIF) is stored
// at again; the source's own is not known. Measured on a 1024-pixel
// photograph-like picture and the marble, each decoded from a WebP and a
// HEIC of quality 90: from 80 to 92 each step costs some 6 % more bytes for
// 0.02 less mean error against the decoded picture (1.0 to 1.5 levels for
// the photograph, 0.4 to 0.7 for the marble, 9 to 14 at most, which
// libjpeg's halved chroma keeps at any of these qualities); from 93 on each
// step costs twice as many bytes for the same gain. At 92 the JPEG is 11 to
// 19 % of the PNG.
constexpr int modelJpegQuality = 92;

// Encodes `image` (rows bottom-up, as loadPicture gives them) upright, rows
// top first: an 8-bit RGB PNG or, asJpeg, a baseline JPEG of
// modelJpegQuality. On success `picture` holds the bytes, "image/png" or
// "image/jpeg" and "png" or "jpg". Returns false with `error` saying why
// (an image without pixels or sides, one too large for the format, as
// libjpeg's 65500 pixels per side, a lack of memory); `picture` is then
// empty.
bool encodeModelPicture(const BitmapImage& image, bool asJpeg, ModelPicture& picture,
                        std::string& error);
