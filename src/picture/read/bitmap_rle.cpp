#include "picture/read/bitmap_rle.h"

#include <cstring>

namespace {

// The stream byte by byte, read from the file in pieces.
struct ByteSource {
    std::FILE* file;
    unsigned char piece[4096];
    size_t at = 0, end = 0;

    // The next byte, or -1 past the end of the file.
    int next() {
        if (at == end) {
            at = 0;
            end = std::fread(piece, 1, sizeof piece, file);
            if (end == 0) {
                return -1;
            }
        }
        return piece[at++];
    }
};

// The row being decoded and where the next pixel goes in it. x never
// passes the width: runs that overshoot the row lose their excess, as
// viewers ignore it.
struct RleRows {
    RowLayout& layout;
    const unsigned char* palette;
    unsigned char* row = nullptr;
    std::uint32_t x = 0, y = 0;

    void startRow() {
        x = 0;
        if (y < layout.height) {
            row = nextRowTarget(layout);
            std::memset(row, 0, size_t{layout.width} * 3);
        }
    }
    void endRow() {
        addRow(layout, row);
        ++y;
        startRow();
    }
    void put(unsigned index) {
        if (x < layout.width) {
            std::memcpy(row + size_t{x} * 3, palette + size_t{index} * 3, 3);
            ++x;
        }
    }
};

} // namespace

const char* decodeBitmapRle(std::FILE* file, RowLayout& layout, unsigned bitsPerPixel,
                            const unsigned char* palette) {
    ByteSource source{file, {}};
    RleRows rows{layout, palette};
    rows.startRow();
    const bool nibbles = bitsPerPixel == 4;
    const char* const cutShort = "RLE data cut short";
    while (rows.y < layout.height) {
        const int count = source.next(), code = source.next();
        if (code < 0) {
            return cutShort;
        }
        if (count > 0) {
            // A run: one index, or for RLE4 two in turn.
            for (int i = 0; i < count && rows.x < layout.width; ++i) {
                rows.put(!nibbles ? code : i % 2 == 0 ? code >> 4 : code & 15);
            }
        } else if (code == 0) {
            rows.endRow();
        } else if (code == 1) {
            while (rows.y < layout.height) {
                rows.endRow();
            }
        } else if (code == 2) {
            const int dx = source.next(), dy = source.next();
            if (dy < 0) {
                return cutShort;
            }
            if (rows.x + dx > layout.width || rows.y + dy >= layout.height) {
                return "RLE delta beyond the picture";
            }
            // Rows the delta passes over are left unset.
            const std::uint32_t x = rows.x + static_cast<std::uint32_t>(dx);
            for (int i = 0; i < dy; ++i) {
                rows.endRow();
            }
            rows.x = x;
        } else {
            // An absolute stretch of `code` indices, padded to 16 bits.
            unsigned char indices[256];
            const int bytes = nibbles ? (code + 1) / 2 : code;
            for (int i = 0; i < bytes + bytes % 2; ++i) {
                const int byte = source.next();
                if (byte < 0) {
                    return cutShort;
                }
                indices[i] = static_cast<unsigned char>(byte);
            }
            for (int i = 0; i < code; ++i) {
                rows.put(!nibbles     ? indices[i]
                         : i % 2 == 0 ? indices[i / 2] >> 4
                                      : indices[i / 2] & 15);
            }
        }
    }
    return nullptr;
}
