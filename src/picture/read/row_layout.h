// Lays decoded rows, which arrive top row first as R, G, B bytes, into a
// BitmapImage: reduced by area average, turned and mirrored as an EXIF
// orientation says, rows bottom first as GL wants them. The readers feed it
// one row at a time, so a reduced picture is never held at full size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/picture.h"

struct RowLayout {
    std::uint32_t width = 0, height = 0;       // the rows as they arrive
    std::uint32_t outWidth = 0, outHeight = 0; // reduced, not yet turned
    int orientation = 1;
    BitmapImage* image = nullptr;
    std::uint32_t rowsTaken = 0;
    std::uint32_t rowsPlaced = 0;        // output rows, in arrival order
    std::uint32_t* columnEnds = nullptr; // per output column, its first source column beyond
    std::uint64_t* sums = nullptr;       // per output byte, over the rows taken for it
    // Per output column, the packed colours of indexed rows, where a box is
    // small enough for their fields; null otherwise.
    std::uint64_t* packedSums = nullptr;
    unsigned char* scratch = nullptr;  // a row that cannot be decoded in place
    unsigned char* averaged = nullptr; // one output row, before it is placed
};

struct PictureSize {
    std::uint32_t width, height;
};

// The size after reduction to at most `target` per side (0: none), aspect
// kept, no side below 1.
PictureSize reducedSize(std::uint32_t width, std::uint32_t height, std::uint32_t target);

// The orientation is EXIF's, 1 (as stored) to 8. Takes the image's pixel block (its width and
// height as shown, 5 to 8 swapping them) and the layout's buffers; returns false after the
// allocation refusal. endLayout releases the buffers, not the image.
struct PictureFile;
bool startLayout(const PictureFile& picture, RowLayout& layout, BitmapImage* image,
                 std::uint32_t width, std::uint32_t height, std::uint32_t target, int orientation);
void endLayout(RowLayout& layout);

// Where the decoder should write the next row (width * 3 bytes): its place
// in the image when it lands there unchanged, else a scratch row.
unsigned char* nextRowTarget(const RowLayout& layout);

// Takes the next row, from nextRowTarget or from anywhere else.
void addRow(RowLayout& layout, const unsigned char* row);

// A colour as addIndexedRow's palette holds it: R, G and B in fields of 21
// bits, so that one add sums all three.
std::uint64_t packColour(const unsigned char* rgb);

// Takes the next row as indices into a palette of 256 packed colours,
// width of them: reduced straight from the indices, never painted at full
// size.
void addIndexedRow(RowLayout& layout, const unsigned char* indices, const std::uint64_t* palette);

// A reduced picture whose pixels arrive in passes, rows out of order, as
// interlaced PNG and GIF send them. An area average is a sum, so each pixel
// is added to its output pixel's sum as it arrives: only the reduced size
// is held, never the picture. Once the last pass is in, the averages go to
// a row layout at the reduced size, which turns them.
struct PassSums {
    std::uint32_t width = 0, height = 0; // the picture as stored
    RowLayout layout;                    // at the reduced size
    std::uint32_t* columnEnds = nullptr; // per output column, its first source column beyond
    std::uint64_t* sums = nullptr;       // per output byte, over the whole picture
};

// Whether a picture of width x height is reduced for `target` (0: none).
bool isReduced(std::uint32_t width, std::uint32_t height, std::uint32_t target);

// As startLayout, for a picture that is reduced; returns false after the
// allocation refusal. endPassSums releases the sums, not the image.
bool startPassSums(const PictureFile& picture, PassSums& passes, BitmapImage* image,
                   std::uint32_t width, std::uint32_t height, std::uint32_t target,
                   int orientation);
void endPassSums(PassSums& passes);

// Adds the pixels first, first + step, ... of stored row y (y = 0 at the
// top); row holds the whole row, width * 3 bytes, pixel x at x * 3.
void addPassPixels(PassSums& passes, std::uint32_t y, const unsigned char* row, std::uint32_t first,
                   std::uint32_t step);

// After the last pass: lays the averages out into the image.
void layOutPassSums(PassSums& passes);
