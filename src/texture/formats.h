// The three format readers behind loadPicture, and the size checks they
// share. Each reads an open regular file from its start, prints one line
// naming the file on failure and returns 1 on success, 0 on failure.
#pragma once

#include <cstdint>
#include <cstdio>

#include "texture/picture.h"

struct PictureFile {
    std::FILE* file;
    const char* name;  // as the user gave it, for the messages
    std::int64_t size; // bytes, from the open file
    SideLimit sideLimit;
};

int loadBitmap(const PictureFile& picture, BitmapImage* image);
int loadPng(const PictureFile& picture, BitmapImage* image);
int loadJpeg(const PictureFile& picture, BitmapImage* image);

// Refuses a side longer than the caller can use, with the texture line.
bool fitsSideLimit(const PictureFile& picture, std::int64_t width, std::int64_t height);

// For the compressed formats, before their pixels are decoded: refuses more
// than 2 GiB of RGB, a side beyond the limit, and a file smaller than
// leastFileBytes, the least the format needs to encode width x height.
bool acceptClaimedSize(const PictureFile& picture, std::uint32_t width, std::uint32_t height,
                       double leastFileBytes);

// Takes the pixel block for width x height RGB and sets the image's size;
// returns pointers to its rows in the order a decoder writes them (top
// first), which places them bottom row first as GL wants them. Returns null
// after the allocation message when memory is short. The caller frees both.
unsigned char** allocateRows(BitmapImage* image, std::uint32_t width, std::uint32_t height);

// The messages the readers and the upload share; each returns 0.
// "Error reading image data from NAME: REASON", for a damaged file.
int refuseDamaged(const PictureFile& picture, const char* reason);
int refuseForLackOfMemory();
int refuseTextureSize(const char* name, long long width, long long height, int largestSide);
