#include "texture/bitmap.h"

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

// The header fields the reader relies on sit in the first 30 bytes.
constexpr long headerBytes = 30;
constexpr long defaultPixelStart = 54;

std::uint32_t readLe16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t readLe32(const unsigned char* p) {
    return readLe16(p) | readLe16(p + 2) << 16;
}

// Two's complement, as the file stores it.
std::int32_t toSigned(std::uint32_t value) {
    return static_cast<std::int32_t>(value);
}

int failReading(const char* fileName) {
    std::printf("Error reading image data from %s.\n", fileName);
    return 0;
}

} // namespace

int readBitmap(std::FILE* file, const char* fileName, BitmapImage* image) {
    unsigned char header[headerBytes];
    size_t headerRead = std::fread(header, 1, sizeof header, file);
    if (headerRead < sizeof header) {
        std::printf("Header from %s is cut short: %zu of %ld bytes\n", fileName, headerRead,
                    headerBytes);
        return 0;
    }

    image->width = toSigned(readLe32(header + 18));
    image->height = toSigned(readLe32(header + 22));
    unsigned planes = readLe16(header + 26);
    if (planes != 1) {
        std::printf("Planes from %s is not 1: %u\n", fileName, planes);
        return 0;
    }
    unsigned bitsPerPixel = readLe16(header + 28);
    if (bitsPerPixel != 24) {
        std::printf("Bpp from %s is not 24: %u\n", fileName, bitsPerPixel);
        return 0;
    }
    if (image->width < 0) {
        std::printf("Width from %s is negative: %d\n", fileName, image->width);
        return 0;
    }

    // A negative height marks rows stored top-down. 64-bit arithmetic keeps
    // the INT_MIN case from wrapping; the division keeps the product below
    // the 32-bit limit before it is formed.
    const bool topDown = image->height < 0;
    const std::int64_t rows = topDown ? -static_cast<std::int64_t>(image->height) : image->height;
    const std::int64_t rowBytes = static_cast<std::int64_t>(image->width) * 3;
    if (rowBytes != 0 && rows > INT32_MAX / rowBytes) {
        std::printf("Size from %s is too large: %d x %d pixels\n", fileName, image->width,
                    image->height);
        return 0;
    }
    const std::int64_t size = rowBytes * rows;
    if (size == 0) {
        return failReading(fileName);
    }

    // Writers with larger info headers move the pixels further back; the
    // offset field says where, but never before the classic 54 bytes.
    long pixelStart = static_cast<long>(readLe32(header + 10));
    if (pixelStart < defaultPixelStart) {
        pixelStart = defaultPixelStart;
    }
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return failReading(fileName);
    }
    const long fileLength = std::ftell(file);
    // Rows are padded to 4 bytes; the last row's padding may be missing.
    const std::int64_t stride = (rowBytes + 3) / 4 * 4;
    const std::int64_t needed = stride * (rows - 1) + rowBytes;
    if (fileLength < pixelStart || fileLength - pixelStart < needed ||
        std::fseek(file, pixelStart, SEEK_SET) != 0) {
        return failReading(fileName);
    }

    image->height = static_cast<std::int32_t>(rows);
    image->pixels = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(size)));
    if (image->pixels == nullptr) {
        std::printf("Error allocating memory for color-corrected image data");
        return 0;
    }

    if (stride == rowBytes && !topDown) {
        if (std::fread(image->pixels, static_cast<size_t>(size), 1, file) != 1) {
            return failReading(fileName);
        }
    } else {
        for (std::int64_t row = 0; row < rows; ++row) {
            std::int64_t target = topDown ? rows - 1 - row : row;
            unsigned char* out = image->pixels + target * rowBytes;
            if (std::fread(out, static_cast<size_t>(rowBytes), 1, file) != 1 ||
                (row + 1 < rows && stride != rowBytes &&
                 std::fseek(file, static_cast<long>(stride - rowBytes), SEEK_CUR) != 0)) {
                return failReading(fileName);
            }
        }
    }

    // BMP stores B, G, R; GL wants R, G, B.
    for (std::int64_t i = 0; i < size; i += 3) {
        std::swap(image->pixels[i], image->pixels[i + 2]);
    }
    return 1;
}

int loadBitmap(const char* fileName, BitmapImage* image) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        std::printf("File Not Found : %s\n", fileName);
        return 0;
    }
    int result = readBitmap(file, fileName, image);
    std::fclose(file);
    return result;
}
