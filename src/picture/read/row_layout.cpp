#include "picture/read/row_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "picture/read/formats.h"

namespace {

bool isReducing(const RowLayout& layout) {
    return layout.outWidth != layout.width || layout.outHeight != layout.height;
}

// Rows 1 and 4 keep their pixel order, so they can be copied whole.
bool keepsRowOrder(int orientation) {
    return orientation == 1 || orientation == 4;
}

// Byte offset in the image of pixel (x, y) of a w x h picture as stored,
// y = 0 at the top, once it is shown as the orientation says.
std::ptrdiff_t placedOffset(int orientation, std::uint32_t w, std::uint32_t h, std::uint32_t x,
                            std::uint32_t y) {
    std::uint32_t shownX = x, shownY = y, shownWidth = w, shownHeight = h;
    switch (orientation) {
    case 2:
        shownX = w - 1 - x;
        break;
    case 3:
        shownX = w - 1 - x, shownY = h - 1 - y;
        break;
    case 4:
        shownY = h - 1 - y;
        break;
    case 5:
        shownX = y, shownY = x;
        break;
    case 6:
        shownX = h - 1 - y, shownY = x;
        break;
    case 7:
        shownX = h - 1 - y, shownY = w - 1 - x;
        break;
    case 8:
        shownX = y, shownY = w - 1 - x;
        break;
    default:
        break;
    }
    if (orientation >= 5) {
        std::swap(shownWidth, shownHeight);
    }
    // The image keeps its bottom row first.
    return (static_cast<std::ptrdiff_t>(shownHeight - 1 - shownY) * shownWidth + shownX) * 3;
}

// The first source row (or column) beyond output row (column) `index`.
std::uint32_t boxEnd(std::uint32_t index, std::uint32_t source, std::uint32_t out) {
    return static_cast<std::uint32_t>((std::uint64_t{index} + 1) * source / out);
}

// Puts output row y (outWidth pixels, as stored) where the orientation
// shows it.
void placeRow(const RowLayout& layout, const unsigned char* row, std::uint32_t y) {
    const std::uint32_t w = layout.outWidth, h = layout.outHeight;
    unsigned char* out = layout.image->pixels + placedOffset(layout.orientation, w, h, 0, y);
    if (keepsRowOrder(layout.orientation)) {
        std::memcpy(out, row, size_t{w} * 3);
        return;
    }
    const std::ptrdiff_t step =
        w > 1 ? placedOffset(layout.orientation, w, h, 1, y) - (out - layout.image->pixels) : 0;
    for (std::uint32_t x = 0; x < w; ++x, row += 3, out += step) {
        out[0] = row[0];
        out[1] = row[1];
        out[2] = row[2];
    }
}

// A packed colour's fields hold 21 bits: the sum of this many pixels.
constexpr std::uint32_t packedPixels = ((1u << 21) - 1) / 255;
constexpr std::uint64_t fieldMask = (1u << 21) - 1;

// Once the output row has all its source rows in the sums, places their
// average.
void finishSummedRow(RowLayout& layout) {
    const std::uint32_t y = layout.rowsPlaced;
    const std::uint32_t rowEnd = boxEnd(y, layout.height, layout.outHeight);
    if (layout.rowsTaken + 1 < rowEnd) {
        return;
    }
    if (std::uint64_t* const packed = layout.packedSums) {
        std::uint64_t* sum = layout.sums;
        for (std::uint32_t column = 0; column < layout.outWidth; ++column, sum += 3) {
            sum[0] += packed[column] & fieldMask;
            sum[1] += packed[column] >> 21 & fieldMask;
            sum[2] += packed[column] >> 42;
            packed[column] = 0;
        }
    }
    const std::uint64_t rows =
        rowEnd - (y == 0 ? 0 : boxEnd(y - 1, layout.height, layout.outHeight));
    // Held apart from the layout, which the bytes stored could alias.
    std::uint64_t* const sums = layout.sums;
    unsigned char* const averaged = layout.averaged;
    const std::uint32_t* const columnEnds = layout.columnEnds;
    std::uint32_t columnStart = 0;
    for (std::uint32_t column = 0; column < layout.outWidth; ++column) {
        const std::uint64_t area = rows * (columnEnds[column] - columnStart);
        // Multiplied by the inverse, one division a column: the average is
        // at most 255.5 and a fraction of it at least 1 / area from the
        // next level, far beyond the product's rounding.
        const double inverse = 1.0 / static_cast<double>(area);
        for (std::uint32_t c = column * 3; c < column * 3 + 3; ++c) {
            const std::uint64_t total = sums[c] + area / 2;
            averaged[c] = static_cast<unsigned char>(
                area < (1u << 30)
                    ? static_cast<std::uint32_t>(static_cast<double>(total) * inverse + 0x1p-30)
                    : total / area);
            sums[c] = 0;
        }
        columnStart = columnEnds[column];
    }
    placeRow(layout, averaged, y);
    layout.rowsPlaced = y + 1;
}

// Adds a source row to the sums of its output row.
void reduceRow(RowLayout& layout, const unsigned char* row) {
    std::uint64_t* sum = layout.sums;
    std::uint32_t x = 0;
    for (std::uint32_t column = 0; column < layout.outWidth; ++column, sum += 3) {
        std::uint64_t r = 0, g = 0, b = 0;
        for (const std::uint32_t end = layout.columnEnds[column]; x < end; ++x, row += 3) {
            r += row[0];
            g += row[1];
            b += row[2];
        }
        sum[0] += r;
        sum[1] += g;
        sum[2] += b;
    }
    finishSummedRow(layout);
}

} // namespace

PictureSize reducedSize(std::uint32_t width, std::uint32_t height, std::uint32_t target) {
    const std::uint32_t longer = std::max(width, height);
    if (target == 0 || longer <= target) {
        return {width, height};
    }
    auto scaled = [&](std::uint32_t side) {
        const auto rounded = (std::uint64_t{side} * target + longer / 2) / longer;
        return static_cast<std::uint32_t>(std::max<std::uint64_t>(rounded, 1));
    };
    return {scaled(width), scaled(height)};
}

bool startLayout(const PictureFile& picture, RowLayout& layout, BitmapImage* image,
                 std::uint32_t width, std::uint32_t height, std::uint32_t target, int orientation) {
    const PictureSize out = reducedSize(width, height, target);
    layout = RowLayout{};
    layout.width = width;
    layout.height = height;
    layout.outWidth = out.width;
    layout.outHeight = out.height;
    layout.orientation = orientation;
    layout.image = image;

    const size_t outBytes = size_t{out.width} * out.height * 3;
    image->pixels = static_cast<unsigned char*>(std::malloc(outBytes));
    bool allocated = image->pixels != nullptr;
    if (isReducing(layout)) {
        layout.columnEnds =
            static_cast<std::uint32_t*>(std::malloc(sizeof(std::uint32_t) * out.width));
        layout.sums = static_cast<std::uint64_t*>(std::calloc(size_t{out.width} * 3, 8));
        layout.averaged = static_cast<unsigned char*>(std::malloc(size_t{out.width} * 3));
        allocated = allocated && layout.columnEnds && layout.sums && layout.averaged;
        const std::uint64_t largestBox =
            (std::uint64_t{width} / out.width + 1) * (std::uint64_t{height} / out.height + 1);
        if (largestBox <= packedPixels) {
            layout.packedSums = static_cast<std::uint64_t*>(std::calloc(out.width, 8));
            allocated = allocated && layout.packedSums;
        }
        for (std::uint32_t column = 0; allocated && column < out.width; ++column) {
            layout.columnEnds[column] = boxEnd(column, width, out.width);
        }
    }
    if (isReducing(layout) || !keepsRowOrder(layout.orientation)) {
        layout.scratch = static_cast<unsigned char*>(std::malloc(size_t{width} * 3));
        allocated = allocated && layout.scratch != nullptr;
    }
    if (!allocated) {
        endLayout(layout);
        return refuseForLackOfMemory(picture);
    }
    const bool turned = layout.orientation >= 5;
    image->width = static_cast<std::int32_t>(turned ? out.height : out.width);
    image->height = static_cast<std::int32_t>(turned ? out.width : out.height);
    return true;
}

void endLayout(RowLayout& layout) {
    std::free(layout.columnEnds);
    std::free(layout.sums);
    std::free(layout.packedSums);
    std::free(layout.scratch);
    std::free(layout.averaged);
    layout.columnEnds = nullptr;
    layout.sums = nullptr;
    layout.packedSums = nullptr;
    layout.scratch = nullptr;
    layout.averaged = nullptr;
}

unsigned char* nextRowTarget(const RowLayout& layout) {
    // Without a scratch row every row lands in place unchanged.
    if (layout.scratch != nullptr) {
        return layout.scratch;
    }
    return layout.image->pixels +
           placedOffset(layout.orientation, layout.width, layout.height, 0, layout.rowsTaken);
}

void addRow(RowLayout& layout, const unsigned char* row) {
    if (layout.rowsTaken >= layout.height) {
        return;
    }
    if (isReducing(layout)) {
        reduceRow(layout, row);
    } else if (layout.scratch != nullptr || row != nextRowTarget(layout)) {
        placeRow(layout, row, layout.rowsTaken);
    }
    ++layout.rowsTaken;
}

std::uint64_t packColour(const unsigned char* rgb) {
    return rgb[0] | std::uint64_t{rgb[1]} << 21 | std::uint64_t{rgb[2]} << 42;
}

void addIndexedRow(RowLayout& layout, const unsigned char* indices, const std::uint64_t* palette) {
    if (layout.rowsTaken >= layout.height) {
        return;
    }
    if (!isReducing(layout)) {
        unsigned char* row = nextRowTarget(layout);
        for (std::uint32_t x = 0; x < layout.width; ++x) {
            const std::uint64_t colour = palette[indices[x]];
            row[x * 3] = static_cast<unsigned char>(colour);
            row[x * 3 + 1] = static_cast<unsigned char>(colour >> 21);
            row[x * 3 + 2] = static_cast<unsigned char>(colour >> 42);
        }
        addRow(layout, row);
        return;
    }
    // One add a pixel: the three channels summed at once in their fields,
    // over the whole box where it fits them.
    std::uint32_t x = 0;
    if (std::uint64_t* const packedSums = layout.packedSums) {
        for (std::uint32_t column = 0; column < layout.outWidth; ++column) {
            std::uint64_t packed = 0;
            for (const std::uint32_t end = layout.columnEnds[column]; x < end; ++x) {
                packed += palette[indices[x]];
            }
            packedSums[column] += packed;
        }
        finishSummedRow(layout);
        ++layout.rowsTaken;
        return;
    }
    std::uint64_t* sum = layout.sums;
    for (std::uint32_t column = 0; column < layout.outWidth; ++column, sum += 3) {
        for (const std::uint32_t end = layout.columnEnds[column]; x < end;) {
            const std::uint32_t stop = end - x > packedPixels ? x + packedPixels : end;
            std::uint64_t packed = 0;
            for (; x < stop; ++x) {
                packed += palette[indices[x]];
            }
            sum[0] += packed & fieldMask;
            sum[1] += packed >> 21 & fieldMask;
            sum[2] += packed >> 42;
        }
    }
    finishSummedRow(layout);
    ++layout.rowsTaken;
}

bool isReduced(std::uint32_t width, std::uint32_t height, std::uint32_t target) {
    const PictureSize out = reducedSize(width, height, target);
    return out.width != width || out.height != height;
}

bool startPassSums(const PictureFile& picture, PassSums& passes, BitmapImage* image,
                   std::uint32_t width, std::uint32_t height, std::uint32_t target,
                   int orientation) {
    const PictureSize out = reducedSize(width, height, target);
    passes = PassSums{};
    passes.width = width;
    passes.height = height;
    if (!startLayout(picture, passes.layout, image, out.width, out.height, 0, orientation)) {
        return false;
    }
    // 64 bits: a box of a picture reduced far holds more than 2^32 / 255
    // pixels.
    passes.columnEnds = static_cast<std::uint32_t*>(std::malloc(sizeof(std::uint32_t) * out.width));
    passes.sums = static_cast<std::uint64_t*>(
        std::calloc(size_t{out.width} * out.height * 3, sizeof(std::uint64_t)));
    if (passes.columnEnds == nullptr || passes.sums == nullptr) {
        endPassSums(passes);
        return refuseForLackOfMemory(picture);
    }
    for (std::uint32_t column = 0; column < out.width; ++column) {
        passes.columnEnds[column] = boxEnd(column, width, out.width);
    }
    return true;
}

void endPassSums(PassSums& passes) {
    endLayout(passes.layout);
    std::free(passes.columnEnds);
    std::free(passes.sums);
    passes.columnEnds = nullptr;
    passes.sums = nullptr;
}

void addPassPixels(PassSums& passes, std::uint32_t y, const unsigned char* row, std::uint32_t first,
                   std::uint32_t step) {
    const std::uint32_t outWidth = passes.layout.width, outHeight = passes.layout.height;
    if (y >= passes.height) {
        return;
    }
    // The output row whose box holds source row y: the first whose box ends
    // beyond it.
    const auto outRow =
        static_cast<std::uint32_t>(((std::uint64_t{y} + 1) * outHeight - 1) / passes.height);
    const size_t rowStart = size_t{outRow} * outWidth * 3;
    std::uint32_t column = 0;
    for (std::uint64_t x = first; x < passes.width; x += step) {
        while (x >= passes.columnEnds[column]) {
            ++column;
        }
        const unsigned char* pixel = row + x * 3;
        // cppcheck 2.10 takes the sums for a value this overwrites.
        // cppcheck-suppress redundantInitialization
        std::uint64_t* sum = &passes.sums[rowStart + size_t{column} * 3];
        sum[0] += pixel[0];
        sum[1] += pixel[1];
        sum[2] += pixel[2];
    }
}

void layOutPassSums(PassSums& passes) {
    RowLayout& layout = passes.layout;
    const std::uint64_t* sum = passes.sums;
    for (std::uint32_t y = 0; y < layout.height; ++y) {
        const std::uint64_t rows = boxEnd(y, passes.height, layout.height) -
                                   (y == 0 ? 0 : boxEnd(y - 1, passes.height, layout.height));
        unsigned char* row = nextRowTarget(layout);
        std::uint32_t columnStart = 0;
        for (std::uint32_t column = 0; column < layout.width; ++column) {
            const std::uint64_t area = rows * (passes.columnEnds[column] - columnStart);
            for (int c = 0; c < 3; ++c, ++sum) {
                row[size_t{column} * 3 + c] = static_cast<unsigned char>((*sum + area / 2) / area);
            }
            columnStart = passes.columnEnds[column];
        }
        addRow(layout, row);
    }
}
