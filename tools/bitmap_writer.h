// Writes 24-bit BMP files: the marble generator's output and the test
// and benchmark inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BitmapLayout {
    int infoHeaderSize = 40; // 40 classic; 108 and 124 as newer writers emit
    bool topDown = false;    // store rows top first, marked by a negative height
};

// rgb holds width * height pixels, R, G, B, bottom row first.
std::vector<unsigned char> encodeBitmap(int width, int height,
                                        const std::vector<unsigned char>& rgb,
                                        BitmapLayout layout = {});

// A picture whose every byte differs from its neighbours, so that any shift,
// swap or flip of its pixels shows.
std::vector<unsigned char> patternPicture(int width, int height);

// Black and white pixels in turn: the finest pattern a picture can hold.
std::vector<unsigned char> checkerboardPicture(int width, int height);

// Overwrites the 32-bit little-endian field at byte offset `at`, for files
// with damaged headers.
void patchLe32(std::vector<unsigned char>& bytes, size_t at, std::uint32_t value);

// Returns false when the file cannot be written completely.
bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
