// Writes BMP files: the marble generator's 24-bit output, and the test,
// benchmark and fuzzing inputs in every layout the reader takes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct BitmapLayout {
    // 12 OS/2 1.x (16-bit sizes, 3-byte palette entries); 16 to 64 OS/2
    // 2.x, cut to that size; 40, 52, 56, 108 and 124 Windows.
    int infoHeaderSize = 40;
    bool topDown = false; // store rows top first, marked by a negative height
    // 1, 2, 4 and 8 index a palette of the picture's own colours, black
    // last; 16, 24 and 32 hold the colour.
    int bitsPerPixel = 24;
    // 0 none; 1 RLE8 and 2 RLE4, which skip black pixels with deltas, end
    // of line and end of bitmap; 3 and 6 bit fields, 6 with alpha.
    int compression = 0;
    // Red, green, blue, alpha for 16 and 32 bits; all 0: 5-5-5 and 8-8-8.
    // An alpha field is filled with a pattern of its own.
    std::array<std::uint32_t, 4> masks = {};
    bool blackBeyondPalette = false; // the table stops short of black
};

// rgb holds width * height pixels, R, G, B, bottom row first. Empty when a
// palette cannot hold the picture's colours.
std::vector<unsigned char> encodeBitmap(int width, int height,
                                        const std::vector<unsigned char>& rgb,
                                        const BitmapLayout& layout = {});

// A picture whose every byte differs from its neighbours, so that any shift,
// swap or flip of its pixels shows.
std::vector<unsigned char> patternPicture(int width, int height);

// Black and white pixels in turn: the finest pattern a picture can hold.
std::vector<unsigned char> checkerboardPicture(int width, int height);

// `colours` colours, none black, in runs and in stretches of neighbours that
// differ, broken by black in short spans, in whole rows and in the two top
// rows: what palettes and RLE's runs, stretches and skips are for.
std::vector<unsigned char> fewColourPicture(int width, int height, int colours);

// Each of R, G and B brought to the nearest value a field of that many bits
// holds, as 8 bits show it.
std::vector<unsigned char> quantisedPicture(std::vector<unsigned char> rgb,
                                            const std::array<int, 3>& bits);

// Overwrites the 32-bit little-endian field at byte offset `at`, for files
// with damaged headers.
void patchLe32(std::vector<unsigned char>& bytes, size_t at, std::uint32_t value);

// Returns false when the file cannot be written completely.
bool writeFile(const std::string& path, const std::vector<unsigned char>& bytes);
