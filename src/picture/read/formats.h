// The format readers behind loadPicture, and the size checks they share. Each reads an open regular
// file from its start, prints one line naming the file on failure and returns 1 on success, 0 on
// failure.
#pragma once

#include <cstdint>
#include <cstdio>

#include "picture/picture.h"

struct PictureFile {
    std::FILE* file;
    const char* name;  // as the user gave it, for the messages
    std::int64_t size; // bytes, from the open file
    PictureRequest request;
};

int loadBitmap(const PictureFile& picture, BitmapImage* image);
int loadPng(const PictureFile& picture, BitmapImage* image);
int loadJpeg(const PictureFile& picture, BitmapImage* image);
// Every BMP a named picture may be: 1, 4 and 8-bit palettes, RLE4 and RLE8,
// 16 and 32 bits with bit fields, OS/2 and v2 to v5 headers, top-down.
int loadAnyBitmap(const PictureFile& picture, BitmapImage* image);
int loadWebp(const PictureFile& picture, BitmapImage* image);
int loadGif(const PictureFile& picture, BitmapImage* image);
int loadTiff(const PictureFile& picture, BitmapImage* image);
// HEIC, HEIF and AVIF, all through libheif.
int loadHeif(const PictureFile& picture, BitmapImage* image);

// The side a picture is reduced to at most, never beyond the caller's
// largest side; 0 when it keeps its size.
std::uint32_t reductionTarget(const PictureFile& picture);

// Refuses a side longer than the caller can use, with the texture line; a
// picture that is reduced always fits.
bool fitsSideLimit(const PictureFile& picture, std::int64_t width, std::int64_t height);

// For the compressed formats, before their pixels are decoded: refuses more
// than 2 GiB of RGB, a side beyond the limit, and a file smaller than
// leastFileBytes, the least the format needs to encode width x height.
bool acceptClaimedSize(const PictureFile& picture, std::uint32_t width, std::uint32_t height,
                       double leastFileBytes);

// The orientation, 1 to 8, of an EXIF block as JPEG's APP1 segment holds it
// (from "Exif\0\0" on) or as PNG's eXIf chunk does (from the TIFF header
// on). 1, as stored, when there is none or it cannot be read.
int exifOrientation(const unsigned char* data, size_t size);

// The messages the readers and the upload share; each returns 0.
// "Error reading image data from NAME: REASON", for a damaged file.
int refuseDamaged(const PictureFile& picture, const char* reason);
int refuseForLackOfMemory();
