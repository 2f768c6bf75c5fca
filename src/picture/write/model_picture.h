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

// The JPEG quality a JPEG picture is stored at again: the source's own is
// not known, and this keeps the marble's veins without visible blocks.
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
