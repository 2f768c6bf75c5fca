#include <algorithm>
#include <cstdint>
#include <cstdlib>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "picture/read/bitmap_bytes.h"
#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

namespace {

// The header fields the reader relies on sit in the first 30 bytes.
constexpr long headerBytes = 30;
constexpr long defaultPixelStart = 54;

// Two's complement, as the file stores it.
std::int32_t toSigned(std::uint32_t value) {
    return static_cast<std::int32_t>(value);
}

#if defined(__x86_64__)
// Five pixels per shuffle. Each store also writes the next pixel's first
// byte unchanged; the following store puts the right value there. Returns
// how many bytes it handled.
__attribute__((target("ssse3"))) size_t copySwappedSsse3(const unsigned char* in,
                                                         unsigned char* out, size_t bytes) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t i = 0;
    for (; i + 16 <= bytes; i += 15) {
        __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_shuffle_epi8(pixels, order));
    }
    return i;
}
#endif

// Reads `bytes` bytes of pixels (a whole number of them) into out as R, G,
// B. The file is read in cache-sized pieces, each swapped on its way out.
bool readPixels(std::FILE* file, unsigned char* out, size_t bytes) {
    unsigned char piece[3 * 16 * 1024];
    while (bytes > 0) {
        size_t length = std::min(sizeof piece, bytes);
        if (std::fread(piece, length, 1, file) != 1) {
            return false;
        }
        copySwapped(piece, out, length);
        out += length;
        bytes -= length;
    }
    return true;
}

int failReading(const PictureFile& picture) {
    return refuse(picture, "Error reading image data from %s.\n", picture.name);
}

} // namespace

// BMP stores B, G, R; GL wants R, G, B. This touches every byte of the
// image, hence the shuffle.
void copySwapped(const unsigned char* in, unsigned char* out, size_t bytes) {
    size_t i = 0;
#if defined(__x86_64__)
    static const bool haveSsse3 = __builtin_cpu_supports("ssse3");
    if (haveSsse3) {
        i = copySwappedSsse3(in, out, bytes);
    }
#endif
    for (; i + 3 <= bytes; i += 3) {
        out[i] = in[i + 2];
        out[i + 1] = in[i + 1];
        out[i + 2] = in[i];
    }
}

int loadBitmap(const PictureFile& picture, BitmapImage* image) {
    std::FILE* file = picture.file;
    const char* fileName = picture.name;
    unsigned char header[headerBytes];
    size_t headerRead = std::fread(header, 1, sizeof header, file);
    if (headerRead < sizeof header) {
        return refuse(picture, "Header from %s is cut short: %zu of %ld bytes\n", fileName,
                      headerRead, headerBytes);
    }

    image->width = toSigned(readLe32(header + 18));
    image->height = toSigned(readLe32(header + 22));
    unsigned planes = readLe16(header + 26);
    if (planes != 1) {
        return refuse(picture, "Planes from %s is not 1: %u\n", fileName, planes);
    }
    unsigned bitsPerPixel = readLe16(header + 28);
    if (bitsPerPixel != 24) {
        return refuse(picture, "Bpp from %s is not 24: %u\n", fileName, bitsPerPixel);
    }
    if (image->width < 0) {
        return refuse(picture, "Width from %s is negative: %d\n", fileName, image->width);
    }

    // A negative height marks rows stored top-down. 64-bit arithmetic keeps
    // the INT_MIN case from wrapping; the division keeps the product below
    // the 32-bit limit before it is formed.
    const bool topDown = image->height < 0;
    const std::int64_t rows = topDown ? -static_cast<std::int64_t>(image->height) : image->height;
    const std::int64_t rowBytes = static_cast<std::int64_t>(image->width) * 3;
    if (rowBytes != 0 && rows > INT32_MAX / rowBytes) {
        return refuse(picture, "Size from %s is too large: %d x %d pixels\n", fileName,
                      image->width, image->height);
    }
    const std::int64_t size = rowBytes * rows;
    if (size == 0) {
        return failReading(picture);
    }

    // Writers with larger info headers move the pixels further back; the
    // offset field says where, but never before the classic 54 bytes.
    long pixelStart = static_cast<long>(readLe32(header + 10));
    if (pixelStart < defaultPixelStart) {
        pixelStart = defaultPixelStart;
    }
    const std::int64_t fileLength = picture.size;
    // Rows are padded to 4 bytes; the last row's padding may be missing.
    const std::int64_t stride = (rowBytes + 3) / 4 * 4;
    const std::int64_t needed = stride * (rows - 1) + rowBytes;
    if (fileLength < pixelStart || fileLength - pixelStart < needed ||
        std::fseek(file, pixelStart, SEEK_SET) != 0) {
        return failReading(picture);
    }
    if (!fitsSideLimit(picture, image->width, rows)) {
        return 0;
    }

    // Rows stored bottom first arrive upside down, as EXIF's orientation 4
    // describes.
    const std::uint32_t target = reductionTarget(picture);
    RowLayout layout;
    if (!startLayout(picture, layout, image, static_cast<std::uint32_t>(image->width),
                     static_cast<std::uint32_t>(rows), target, topDown ? 1 : 4)) {
        return 0;
    }
    bool read = true;
    if (target == 0 && !topDown && stride == rowBytes) {
        // The file's rows are the image's, in its order: one block.
        read = readPixels(file, image->pixels, static_cast<size_t>(size));
    } else {
        for (std::int64_t row = 0; read && row < rows; ++row) {
            unsigned char* pixels = nextRowTarget(layout);
            read = readPixels(file, pixels, static_cast<size_t>(rowBytes)) &&
                   (row + 1 == rows || stride == rowBytes ||
                    std::fseek(file, static_cast<long>(stride - rowBytes), SEEK_CUR) == 0);
            addRow(layout, pixels);
        }
    }
    endLayout(layout);
    if (!read) {
        return failReading(picture);
    }
    return 1;
}
