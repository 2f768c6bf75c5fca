// The format readers behind loadPicture, and the size checks they share.
// Each reads an open regular file from its start and returns 1 on success;
// on failure it returns 0 with one line naming the file in the record's
// failure, which loadPicture alone prints. No reader writes to a stream.
#pragma once

#include <cstdint>
#include <cstdio>

#include "picture/picture.h"

// The first refusal is kept, so that a reader failing again on its way out
// cannot hide the reason.
struct PictureFailure {
    char line[512] = "";
};

struct PictureFile {
    std::FILE* file;
    const char* name;  // as the user gave it, for the messages
    std::int64_t size; // bytes, from the open file
    PictureRequest request;
    PictureFailure* failure;
};

// Keeps the formatted line (ending in its line break) as the failure;
// returns 0.
int refuse(const PictureFile& picture, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

int loadBitmap(const PictureFile& picture, BitmapImage* image);
int loadPng(const PictureFile& picture, BitmapImage* image);
int loadJpeg(const PictureFile& picture, BitmapImage* image);
// Every BMP a named picture may be: OS/2 1.x and 2.x and Windows v1 to v5
// headers; 1, 2, 4 and 8-bit palettes, an index beyond the table showing
// black; 16, 24 and 32 bits, bit fields scaled exactly to 8 bits, alpha
// dropped; RLE8 and RLE4, what they leave unset black; rows top first. RLE
// may claim at most 255 pixels per byte of the file, so a few bytes cannot
// make it lay out a huge picture of nothing. JPEG and PNG inside a BMP are
// refused.
int loadAnyBitmap(const PictureFile& picture, BitmapImage* image);
int loadWebp(const PictureFile& picture, BitmapImage* image);
int loadGif(const PictureFile& picture, BitmapImage* image);
int loadTiff(const PictureFile& picture, BitmapImage* image) __attribute__((weak));
// HEIC, HEIF and AVIF, all through libheif.
int loadHeif(const PictureFile& picture, BitmapImage* image) __attribute__((weak));
// JPEG XL, a bare codestream or in its container, through libjxl.
int loadJxl(const PictureFile& picture, BitmapImage* image) __attribute__((weak));
// TIFF, HEIF and JPEG XL, whose libraries are heavy, are weak: linked into
// the tests, the fuzzer and the benchmarks, and otherwise null, read through
// these from a module opened on first use.
int readTiff(const PictureFile& picture, BitmapImage* image);
int readHeif(const PictureFile& picture, BitmapImage* image);
int readJxl(const PictureFile& picture, BitmapImage* image);

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

// Decoders that log damaged data to the standard error stream themselves
// are kept off it: the reader's one line says why instead. Returns the
// stream to put back, or -1.
int silenceStandardError();
void restoreStandardError(int saved);

// The refusals the readers share; each returns 0.
// "Format of NAME is not known: ... are read", the formats from the table.
int refuseUnknown(const PictureFile& picture);
// "Error reading image data from NAME: REASON", for a damaged file.
int refuseDamaged(const PictureFile& picture, const char* reason);
// The marble's own words, or for a named picture a line that names it.
int refuseForLackOfMemory(const PictureFile& picture);
// The marble's line for memory short outside any one file (the mipmaps).
int printLackOfMemory();
