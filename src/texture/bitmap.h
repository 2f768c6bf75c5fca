// Reader for uncompressed 24-bit BMP files. No GL here.
#pragma once

#include <cstdint>
#include <cstdio>

struct BitmapImage {
    std::int32_t width = 0;
    std::int32_t height = 0; // rows; always bottom-up after a successful read
    // width * height * 3 bytes, R, G, B per pixel, no row padding, the first
    // row at the bottom of the picture. Allocated with malloc; the caller
    // frees it, also after a failed read.
    unsigned char* pixels = nullptr;
};

// Returns 1 on success and 0 on failure, after printing one message to
// standard output that names fileName. The file is always closed.
int loadBitmap(const char* fileName, BitmapImage* image);

// The same reader on an open, seekable stream, which it does not close;
// fileName is only used in the messages.
int readBitmap(std::FILE* file, const char* fileName, BitmapImage* image);
