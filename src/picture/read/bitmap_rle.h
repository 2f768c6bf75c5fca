// BMP's run-length encodings, RLE8 and RLE4, decoded row by row into a
// row layout: runs, absolute stretches, end of line, end of bitmap and
// delta. What the stream leaves unset is black, as web browsers show it
// once its transparency is dropped.
#pragma once

#include <cstdint>
#include <cstdio>

#include "picture/read/row_layout.h"

// palette: 256 R, G, B entries, black beyond the file's table. The file
// stands at the first byte of the stream. Feeds every row of the layout
// and returns null, or returns why the stream is damaged.
const char* decodeBitmapRle(std::FILE* file, RowLayout& layout, unsigned bitsPerPixel,
                            const unsigned char* palette);
