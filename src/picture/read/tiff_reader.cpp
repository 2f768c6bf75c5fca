// TIFF, classic and big, through the system's libtiff: the first page, of
// every photometric kind, bit depth, compression and layout libtiff's RGBA
// interface converts. It is read in bands of whole strips or tiles, so a
// reduced picture is never held at full size. The interface only flips,
// so rows are asked for as stored and the row layout turns them as the
// Orientation tag says (its values are EXIF's, which took them from TIFF).
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <tiffio.h>
#include <unistd.h>

#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

namespace {

constexpr size_t reasonBytes = 200;

// The open file, read with pread where libtiff does not map it, and the first error libtiff reports
// about it.
struct Source {
    int descriptor;
    std::int64_t size;
    std::uint64_t offset;
    char reason[reasonBytes];
};

tmsize_t readSource(thandle_t handle, void* bytes, tmsize_t length) {
    auto* source = static_cast<Source*>(handle);
    tmsize_t done = 0;
    while (done < length && source->offset + done < static_cast<std::uint64_t>(source->size)) {
        const ssize_t got =
            pread(source->descriptor, static_cast<char*>(bytes) + done,
                  static_cast<size_t>(length - done), static_cast<off_t>(source->offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += got;
    }
    source->offset += static_cast<std::uint64_t>(done);
    return done;
}

tmsize_t refuseWriting(thandle_t, void*, tmsize_t) {
    return -1;
}

// Offsets are unsigned; one taken back from the current place wraps round.
toff_t seekSource(thandle_t handle, toff_t offset, int whence) {
    auto* source = static_cast<Source*>(handle);
    const std::uint64_t base = whence == SEEK_CUR   ? source->offset
                               : whence == SEEK_END ? static_cast<std::uint64_t>(source->size)
                                                    : 0;
    source->offset = base + offset;
    return source->offset;
}

// loadPicture closes the file it opened.
int keepOpen(thandle_t) {
    return 0;
}

toff_t sourceSize(thandle_t handle) {
    return static_cast<toff_t>(static_cast<Source*>(handle)->size);
}

// Mapped, as libtiff's own opening does: its RGBA interface refuses
// uncompressed tiles of less than 1 KiB read any other way.
int mapSource(thandle_t handle, void** base, toff_t* size) {
    const auto* source = static_cast<Source*>(handle);
    if (source->size <= 0) {
        return 0;
    }
    void* mapped = mmap(nullptr, static_cast<size_t>(source->size), PROT_READ, MAP_PRIVATE,
                        source->descriptor, 0);
    if (mapped == MAP_FAILED) {
        return 0;
    }
    *base = mapped;
    *size = static_cast<toff_t>(source->size);
    return 1;
}

void unmapSource(thandle_t, void* base, toff_t size) {
    munmap(base, static_cast<size_t>(size));
}

int keepFirstError(TIFF*, void* user, const char*, const char* format, va_list arguments) {
    auto* source = static_cast<Source*>(user);
    if (source->reason[0] == '\0') {
        std::vsnprintf(source->reason, reasonBytes, format, arguments);
    }
    return 1; // handled: nothing reaches stderr
}

// Warnings are about tags the picture can do without.
int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// No single buffer of libtiff's beyond this: a strip holding a whole
// picture of some 350 megapixels of RGB. Tags that ask for more are
// refused rather than trusted.
constexpr tmsize_t largestLibraryBuffer = tmsize_t{1} << 30;

// The most each codec packs into one byte of the file: PackBits 128 bytes
// into 2, LZW up to 4096 bytes into a 12-bit code, deflate 1032 bytes into
// one; JPEG takes a bit at least for each 8 x 8 block, CCITT's codes a bit
// for a row that repeats the one above. Other codecs are held to what
// Zstandard packs at most, 128 KiB into a 4-byte block: LZMA or WebP might
// pack a flat picture tighter still, and such a file is refused rather than
// let a few bytes claim gigabytes.
double leastFileBytes(TIFF* tiff, std::uint32_t width, std::uint32_t height) {
    std::uint16_t compression = 0, bits = 0, samples = 0, photometric = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    // Subsampled chroma may store less than a sample a pixel beside luma.
    const int stored = photometric == PHOTOMETRIC_YCBCR ? 1 : samples;
    const double pixels = static_cast<double>(width) * height;
    const double bytes = pixels * bits * stored / 8;
    switch (compression) {
    case COMPRESSION_NONE:
        return bytes;
    case COMPRESSION_PACKBITS:
        return bytes / 64;
    case COMPRESSION_LZW:
        return bytes * 12 / 8 / 4096;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        return bytes / 1032;
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        return std::ceil(width / 8.0) * std::ceil(height / 8.0) / 8;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        return height / 8.0;
    default:
        return bytes / 32768;
    }
}

// Rows per call to the RGBA interface: whole strips or rows of tiles, so
// none is decoded twice, about this many bytes of RGBA when they are
// small, so the band stays in the cache.
constexpr std::uint64_t bandBytes = 256 * 1024;

std::uint32_t bandRows(TIFF* tiff, std::uint32_t width, std::uint32_t height) {
    std::uint32_t unit = 0;
    if (TIFFIsTiled(tiff)) {
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &unit);
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &unit);
    }
    unit = std::clamp<std::uint32_t>(unit, 1, height);
    const std::uint64_t units =
        std::max<std::uint64_t>(bandBytes / (std::uint64_t{unit} * width * 4), 1);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(unit * units, height));
}

void abgrToRgb(const std::uint32_t* abgr, unsigned char* rgb, std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x, rgb += 3) {
        rgb[0] = static_cast<unsigned char>(TIFFGetR(abgr[x]));
        rgb[1] = static_cast<unsigned char>(TIFFGetG(abgr[x]));
        rgb[2] = static_cast<unsigned char>(TIFFGetB(abgr[x]));
    }
}

// The interface multiplies colour by unassociated alpha through this
// table; made the identity, it hands the colours on as stored, and a
// half-transparent pixel keeps its brightness on the opaque logo.
void keepUnassociatedColours(TIFFRGBAImage& rgba) {
    if (rgba.UaToAa == nullptr) {
        return;
    }
    for (unsigned alpha = 0; alpha < 256; ++alpha) {
        for (unsigned value = 0; value < 256; ++value) {
            rgba.UaToAa[alpha << 8 | value] = static_cast<std::uint8_t>(value);
        }
    }
}

// 16-bit grey, each pixel its high byte through the interface's own grey
// map. The interface's routine steps over the cut part of a tile at the
// right edge by one byte a pixel rather than by a whole sample, which
// shifts every later row of the tile.
void putGrey16(TIFFRGBAImage* rgba, std::uint32_t* out, std::uint32_t, std::uint32_t,
               std::uint32_t width, std::uint32_t height, std::int32_t fromSkew,
               std::int32_t toSkew, unsigned char* in) {
    const std::ptrdiff_t pixelBytes = 2 * std::ptrdiff_t{rgba->samplesperpixel};
    for (std::uint32_t y = 0; y < height; ++y, out += toSkew, in += fromSkew * pixelBytes) {
        for (std::uint32_t x = 0; x < width; ++x, in += pixelBytes) {
            std::uint16_t value = 0;
            std::memcpy(&value, in, 2);
            *out++ = rgba->BWmap[value >> 8][0];
        }
    }
}

int readPage(const PictureFile& picture, TIFF* tiff, const Source& source, BitmapImage* image) {
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0) {
        char reason[80];
        std::snprintf(reason, sizeof reason, "empty picture: %u x %u pixels", width, height);
        return refuseDamaged(picture, reason);
    }
    if (!acceptClaimedSize(picture, width, height, leastFileBytes(tiff, width, height))) {
        return 0;
    }
    char message[1024] = "";
    TIFFRGBAImage rgba = {};
    if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&rgba, tiff, 1, message)) {
        return refuseDamaged(picture, source.reason[0] != '\0' ? source.reason : message);
    }
    rgba.req_orientation = rgba.orientation; // no flip
    keepUnassociatedColours(rgba);
    const bool grey =
        rgba.photometric == PHOTOMETRIC_MINISBLACK || rgba.photometric == PHOTOMETRIC_MINISWHITE;
    if (rgba.isContig && grey && rgba.bitspersample == 16 && rgba.BWmap != nullptr) {
        rgba.put.contig = putGrey16;
    }
    const int orientation = rgba.orientation >= 1 && rgba.orientation <= 8 ? rgba.orientation : 1;
    const std::uint32_t band = bandRows(tiff, width, height);
    RowLayout layout;
    auto* raster = static_cast<std::uint32_t*>(std::malloc(size_t{width} * band * 4));
    int result = 0;
    if (raster == nullptr) {
        refuseForLackOfMemory(picture);
    } else if (startLayout(picture, layout, image, width, height, reductionTarget(picture),
                           orientation)) {
        result = 1;
        for (std::uint32_t top = 0; result && top < height; top += band) {
            const std::uint32_t rows = std::min(band, height - top);
            rgba.row_offset = static_cast<int>(top);
            if (!TIFFRGBAImageGet(&rgba, raster, width, rows)) {
                result = refuseDamaged(picture, source.reason[0] != '\0' ? source.reason
                                                                         : "unreadable pixels");
            }
            for (std::uint32_t y = 0; result && y < rows; ++y) {
                unsigned char* row = nextRowTarget(layout);
                abgrToRgb(raster + size_t{y} * width, row, width);
                addRow(layout, row);
            }
        }
    }
    endLayout(layout);
    std::free(raster);
    TIFFRGBAImageEnd(&rgba);
    return result;
}

} // namespace

int loadTiff(const PictureFile& picture, BitmapImage* image) {
    Source source = {fileno(picture.file), picture.size, 0, ""};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        return refuseForLackOfMemory(picture);
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, largestLibraryBuffer);
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepFirstError, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreWarning, nullptr);
    TIFF* tiff =
        TIFFClientOpenExt(picture.name, "r", &source, readSource, refuseWriting, seekSource,
                          keepOpen, sourceSize, mapSource, unmapSource, options);
    TIFFOpenOptionsFree(options);
    if (tiff == nullptr) {
        return refuseDamaged(picture, source.reason[0] != '\0' ? source.reason : "not a TIFF file");
    }
    const int result = readPage(picture, tiff, source, image);
    TIFFClose(tiff);
    return result;
}
