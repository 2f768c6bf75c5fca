#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "picture/read/bitmap_bytes.h"
#include "picture/read/bitmap_rle.h"
#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

namespace {

constexpr std::uint32_t fileHeaderBytes = 14;
constexpr std::uint32_t coreHeaderBytes = 12, largestHeaderBytes = 124;
enum Compression : std::uint32_t {
    none = 0,
    rle8 = 1,
    rle4 = 2,
    bitFields = 3,
    alphaBitFields = 6
};

// An encoder's densest RLE run draws 255 pixels with 2 bytes. Twice that
// density still lets a picture leave much of itself unset through deltas and
// an early end of bitmap, while a file of a few bytes cannot make the reader
// lay out millions of rows of nothing.
constexpr double rlePixelsPerByte = 255;

struct BitmapHeader {
    std::uint32_t infoBytes = 0;
    std::int64_t width = 0, height = 0; // a negative height: rows stored top first
    unsigned bitsPerPixel = 0;
    std::uint32_t compression = none;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[3] = {}; // red, green, blue; alpha is never shown
    std::uint32_t pixelOffset = 0;
    // 14 for a bare DIB, as the clipboard saves it: the file header's bytes
    // the file does not hold. Its pixels follow the colour table.
    std::int64_t missingBytes = 0;
};

// OS/2 1.x has its own 12 bytes; OS/2 2.x takes any size from 16 to 64,
// of which Windows uses 40, 52 and 56; then Windows' 108 and 124.
bool isKnownHeaderSize(std::uint32_t bytes) {
    return bytes == coreHeaderBytes || (bytes >= 16 && bytes <= 64) || bytes == 108 ||
           bytes == largestHeaderBytes;
}

bool isWindowsHeader(std::uint32_t bytes) {
    return bytes == 40 || bytes == 52 || bytes == 56 || bytes == 108 || bytes == 124;
}

// Bit fields follow a 40-byte header; larger ones hold them.
std::uint32_t masksAfterHeader(const BitmapHeader& header) {
    if (header.infoBytes != 40) {
        return 0;
    }
    return header.compression == bitFields ? 12 : header.compression == alphaBitFields ? 16 : 0;
}

// "BM", or too short to tell, when the headers' refusal says how short.
bool startsBitmapFile(const PictureFile& picture) {
    unsigned char magic[2] = {};
    const size_t read = std::fread(magic, 1, sizeof magic, picture.file);
    std::rewind(picture.file);
    return read < sizeof magic || (magic[0] == 'B' && magic[1] == 'M');
}

// Reads the file and info headers, and the bit fields behind a 40-byte
// one; false after the message.
bool readHeader(const PictureFile& picture, BitmapHeader& header) {
    unsigned char bytes[fileHeaderBytes + largestHeaderBytes] = {};
    const bool bare = !startsBitmapFile(picture);
    const size_t missing = bare ? fileHeaderBytes : 0;
    header.missingBytes = static_cast<std::int64_t>(missing);
    const size_t read =
        std::fread(bytes + missing, 1, sizeof bytes - missing, picture.file) + missing;
    auto cutShort = [&](std::uint32_t needed) {
        return refuse(picture, "Header from %s is cut short: %zu of %u bytes\n", picture.name,
                      read - missing, needed - static_cast<std::uint32_t>(missing)) != 0;
    };
    if (read < fileHeaderBytes + 4) {
        return cutShort(fileHeaderBytes + 4);
    }
    header.pixelOffset = bare ? 0 : readLe32(bytes + 10);
    header.infoBytes = readLe32(bytes + 14);
    if (!isKnownHeaderSize(header.infoBytes)) {
        char reason[64];
        std::snprintf(reason, sizeof reason, "info header of %u bytes is not known",
                      header.infoBytes);
        return refuseDamaged(picture, reason);
    }
    if (read < fileHeaderBytes + header.infoBytes) {
        return cutShort(fileHeaderBytes + header.infoBytes);
    }
    const unsigned char* info = bytes + fileHeaderBytes;
    if (header.infoBytes == coreHeaderBytes) {
        header.width = readLe16(info + 4);
        header.height = readLe16(info + 6);
        header.bitsPerPixel = readLe16(info + 10);
        return true;
    }
    // OS/2 2.x may end its header early; the fields it leaves out are 0.
    if (!isWindowsHeader(header.infoBytes)) {
        std::memset(bytes + fileHeaderBytes + header.infoBytes, 0,
                    largestHeaderBytes - header.infoBytes);
    }
    header.width = static_cast<std::int32_t>(readLe32(info + 4));
    header.height = static_cast<std::int32_t>(readLe32(info + 8));
    header.bitsPerPixel = readLe16(info + 14);
    header.compression = readLe32(info + 16);
    header.colorsUsed = readLe32(info + 32);
    const std::uint32_t masksEnd = fileHeaderBytes + 40 + masksAfterHeader(header);
    if (read < masksEnd) {
        return cutShort(masksEnd);
    }
    // Other writers may leave anything in the fields when they are not used.
    const bool fields = (header.compression == bitFields || header.compression == alphaBitFields) &&
                        isWindowsHeader(header.infoBytes);
    for (int i = 0; fields && i < 3; ++i) {
        header.masks[i] = readLe32(info + 40 + 4 * i);
    }
    return true;
}

// Refuses what the reader does not read, and a header that contradicts
// itself; false after the message.
bool checkHeader(const PictureFile& picture, BitmapHeader& header) {
    char reason[96];
    const unsigned bits = header.bitsPerPixel;
    const std::uint32_t compression = header.compression;
    const bool palette = bits == 1 || bits == 2 || bits == 4 || bits == 8;
    if (header.width <= 0 || header.height == 0) {
        std::snprintf(reason, sizeof reason, "a picture of %lld x %lld pixels cannot be shown",
                      static_cast<long long>(header.width), static_cast<long long>(header.height));
    } else if ((compression != none && compression != rle8 && compression != rle4 &&
                compression != bitFields && compression != alphaBitFields) ||
               // OS/2 2.x's 3 and 4 are Huffman and RLE24, not bit fields.
               (compression > rle4 && !isWindowsHeader(header.infoBytes))) {
        std::snprintf(reason, sizeof reason, "compression %u is not read", compression);
    } else if (!palette && bits != 16 && bits != 24 && bits != 32) {
        std::snprintf(reason, sizeof reason, "%u bits per pixel are not read", bits);
    } else if ((compression == rle8 && bits != 8) || (compression == rle4 && bits != 4) ||
               (compression >= bitFields && bits != 16 && bits != 32)) {
        std::snprintf(reason, sizeof reason, "compression %u with %u bits per pixel is not read",
                      compression, bits);
    } else if ((compression == rle8 || compression == rle4) && header.height < 0) {
        std::snprintf(reason, sizeof reason, "RLE stored top-down is not read");
    } else {
        // Without bit fields, 16 bits are 5-5-5 and 32 bits 8-8-8.
        static const std::uint32_t fields555[3] = {0x7c00, 0x3e0, 0x1f},
                                   fields888[3] = {0xff0000, 0xff00, 0xff};
        if (compression == none && bits > 8 && bits != 24) {
            std::copy_n(bits == 16 ? fields555 : fields888, 3, header.masks);
        }
        // Each field a single run of bits within the pixel.
        const std::uint32_t* masks = header.masks;
        const bool contiguous = std::all_of(masks, masks + 3, [&](std::uint32_t mask) {
            const std::uint32_t low = mask & (~mask + 1);
            return (bits == 32 || mask >> bits == 0) && ((mask + low) & mask) == 0;
        });
        if (contiguous) {
            return true;
        }
        std::snprintf(reason, sizeof reason,
                      "bit fields 0x%x, 0x%x, 0x%x are not runs of bits within %u bits", masks[0],
                      masks[1], masks[2], bits);
    }
    return refuseDamaged(picture, reason);
}

// A bit field's value scaled to 8 bits, rounded: 5 bits' 31 becomes 255.
unsigned char toEightBits(std::uint64_t value, std::uint64_t largest) {
    return largest == 0 ? 0 : static_cast<unsigned char>((value * 255 + largest / 2) / largest);
}

// Fields of up to 12 bits, all that writers use but rarely, are scaled
// through a table.
constexpr std::uint32_t tabledValues = 4096;
struct Channel {
    unsigned shift = 0;
    std::uint64_t largest = 0; // 0 for a missing field, which reads as 0
    unsigned char table[tabledValues] = {};
};

void setChannel(Channel& channel, std::uint32_t mask) {
    if (mask != 0) {
        while ((mask >> channel.shift & 1) == 0) {
            ++channel.shift;
        }
        channel.largest = mask >> channel.shift;
    }
    for (std::uint64_t value = 0; value <= channel.largest && value < tabledValues; ++value) {
        channel.table[value] = toEightBits(value, channel.largest);
    }
}

// The pixels of one stored row as R, G, B.
struct RowFormat {
    unsigned bits;
    const unsigned char* palette; // 256 entries
    std::uint32_t masks[3];
    Channel channels[3];
};

void convertRow(const RowFormat& format, const unsigned char* in, unsigned char* out,
                std::uint32_t width) {
    const unsigned bits = format.bits;
    if (bits <= 8) {
        const unsigned perByte = 8 / bits, lowest = (1u << bits) - 1;
        for (std::uint32_t x = 0; x < width; ++x, out += 3) {
            const unsigned shift = 8 - bits * (x % perByte + 1);
            std::memcpy(out, format.palette + (in[x / perByte] >> shift & lowest) * 3, 3);
        }
    } else if (bits == 24) {
        copySwapped(in, out, size_t{width} * 3);
    } else {
        // Alpha is dropped: each pixel shows its own colour, as stored.
        for (std::uint32_t x = 0; x < width; ++x, in += bits / 8) {
            const std::uint32_t pixel = bits == 16 ? readLe16(in) : readLe32(in);
            for (int c = 0; c < 3; ++c, ++out) {
                const Channel& channel = format.channels[c];
                const std::uint64_t value = (pixel & format.masks[c]) >> channel.shift;
                *out = channel.largest < tabledValues ? channel.table[value]
                                                      : toEightBits(value, channel.largest);
            }
        }
    }
}

// Rows as stored, each padded to 4 bytes but perhaps the last; null or
// why they could not be read.
const char* readRows(const PictureFile& picture, RowLayout& layout, const RowFormat& format) {
    const std::int64_t rowBytes = (std::int64_t{layout.width} * format.bits + 7) / 8;
    const std::int64_t stride = (rowBytes + 3) / 4 * 4;
    auto* stored = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(stride)));
    if (stored == nullptr) {
        refuseForLackOfMemory(picture);
        return "";
    }
    const char* failure = nullptr;
    for (std::uint32_t row = 0; failure == nullptr && row < layout.height; ++row) {
        const size_t bytes = static_cast<size_t>(row + 1 < layout.height ? stride : rowBytes);
        if (std::fread(stored, bytes, 1, picture.file) != 1) {
            failure = "pixel data cut short";
        } else {
            unsigned char* out = nextRowTarget(layout);
            convertRow(format, stored, out, layout.width);
            addRow(layout, out);
        }
    }
    std::free(stored);
    return failure;
}

} // namespace

int loadAnyBitmap(const PictureFile& picture, BitmapImage* image) {
    BitmapHeader header;
    if (!readHeader(picture, header) || !checkHeader(picture, header)) {
        return 0;
    }
    const unsigned bits = header.bitsPerPixel;
    const bool rle = header.compression == rle8 || header.compression == rle4;
    const bool topDown = header.height < 0;
    const std::int64_t rows = topDown ? -header.height : header.height;

    // The colour table follows the headers; the pixels follow it, where
    // the offset field says, unless it points into the headers. A table
    // longer than the room before the pixels is cut there.
    const std::int64_t tableStart = fileHeaderBytes + header.infoBytes + masksAfterHeader(header);
    const std::int64_t entryBytes = header.infoBytes == coreHeaderBytes ? 3 : 4;
    const std::int64_t fullTable = bits <= 8 ? std::int64_t{1} << bits : 0;
    const std::int64_t tableEntries = bits > 8 || header.colorsUsed == 0
                                          ? fullTable
                                          : std::min<std::int64_t>(header.colorsUsed, fullTable);
    const std::int64_t pixelStart = header.pixelOffset >= tableStart
                                        ? header.pixelOffset
                                        : tableStart + tableEntries * entryBytes;
    const std::int64_t entries = std::min(tableEntries, (pixelStart - tableStart) / entryBytes);

    const std::int64_t rowBytes = (header.width * bits + 7) / 8;
    const double area = static_cast<double>(header.width) * static_cast<double>(rows);
    const double pixelBytes = rle ? area / rlePixelsPerByte
                                  : static_cast<double>((rowBytes + 3) / 4 * 4) * (rows - 1) +
                                        static_cast<double>(rowBytes);
    if (!acceptClaimedSize(picture, static_cast<std::uint32_t>(header.width),
                           static_cast<std::uint32_t>(rows),
                           static_cast<double>(pixelStart - header.missingBytes) + pixelBytes)) {
        return 0;
    }

    // Indices beyond the table show black, as web browsers show them.
    unsigned char palette[256 * 3] = {};
    unsigned char stored[256 * 4];
    const std::int64_t missing = header.missingBytes;
    if (std::fseek(picture.file, static_cast<long>(tableStart - missing), SEEK_SET) != 0 ||
        std::fread(stored, static_cast<size_t>(entryBytes), static_cast<size_t>(entries),
                   picture.file) != static_cast<size_t>(entries) ||
        std::fseek(picture.file, static_cast<long>(pixelStart - missing), SEEK_SET) != 0) {
        return refuseDamaged(picture, "colour table cut short");
    }
    for (std::int64_t i = 0; i < entries; ++i) {
        const unsigned char* entry = stored + i * entryBytes;
        palette[i * 3] = entry[2];
        palette[i * 3 + 1] = entry[1];
        palette[i * 3 + 2] = entry[0];
    }

    // Rows stored bottom first arrive upside down, as EXIF's orientation 4
    // describes.
    RowLayout layout;
    if (!startLayout(picture, layout, image, static_cast<std::uint32_t>(header.width),
                     static_cast<std::uint32_t>(rows), reductionTarget(picture), topDown ? 1 : 4)) {
        return 0;
    }
    RowFormat format{bits, palette, {header.masks[0], header.masks[1], header.masks[2]}, {}};
    for (int c = 0; c < 3; ++c) {
        setChannel(format.channels[c], header.masks[c]);
    }
    const char* failure = rle ? decodeBitmapRle(picture.file, layout, bits, palette)
                              : readRows(picture, layout, format);
    endLayout(layout);
    if (failure != nullptr) {
        // Whatever was laid out is freed by the caller.
        return *failure == '\0' ? 0 : refuseDamaged(picture, failure);
    }
    return 1;
}
