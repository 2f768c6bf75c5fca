// TIFF, classic and big, through the system's libtiff: the first page.
// Grey, palette, RGB and CMYK, at any integer depth to 16 bits or as
// floats, are read sample by sample: strips a row at a time, so a picture
// in one strip is never held whole, tiles a row of them at a time. Other
// photometric kinds go through libtiff's RGBA interface in bands of whole
// strips or tiles; it only flips, so rows are asked for as stored. Either
// way the row layout turns them as the Orientation tag says (its values
// are EXIF's, which took them from TIFF).
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
#include <vector>

#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

namespace {

constexpr size_t reasonBytes = 200;

// The first error libtiff reports about the file, through any of its handles.
struct Reason {
    char text[reasonBytes];
};

// The open file, read with pread where libtiff does not map it; each
// handle has its own place in it.
struct Source {
    int descriptor;
    std::int64_t size;
    std::uint64_t offset;
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
    auto* reason = static_cast<Reason*>(user);
    if (reason->text[0] == '\0') {
        std::vsnprintf(reason->text, reasonBytes, format, arguments);
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

// A strip or tile decoded whole beyond this must be backed by the file, a
// byte of it for every unitBytesPerFileByte bytes the unit takes, so that a
// few bytes claiming one huge unit are refused before it is allocated.
constexpr double freeUnitBytes = 64.0 * 1024 * 1024;
constexpr double unitBytesPerFileByte = 128;

bool fileBacksUnit(const PictureFile& picture, double unitBytes, const char* unit,
                   std::uint32_t width, std::uint32_t height) {
    if (unitBytes <= freeUnitBytes || unitBytes <= picture.size * unitBytesPerFileByte) {
        return true;
    }
    char reason[120];
    std::snprintf(reason, sizeof reason, "too little data for a %s of %u x %u pixels", unit, width,
                  height);
    return refuseDamaged(picture, reason);
}

const char* reasonOr(const Reason& reason, const char* otherwise) {
    return reason.text[0] != '\0' ? reason.text : otherwise;
}

int readRgbaPage(const PictureFile& picture, TIFF* tiff, const Reason& reason, BitmapImage* image,
                 std::uint32_t width, std::uint32_t height) {
    char message[1024] = "";
    TIFFRGBAImage rgba = {};
    if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&rgba, tiff, 1, message)) {
        return refuseDamaged(picture, reasonOr(reason, message));
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
    const bool tiled = TIFFIsTiled(tiff);
    const double unit = static_cast<double>(tiled ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff)) +
                        4.0 * width * band;
    RowLayout layout;
    std::uint32_t* raster = nullptr;
    int result = 0;
    if (!fileBacksUnit(picture, unit, tiled ? "tile" : "strip", width, band)) {
    } else if ((raster = static_cast<std::uint32_t*>(std::malloc(size_t{width} * band * 4))) ==
               nullptr) {
        refuseForLackOfMemory(picture);
    } else if (startLayout(picture, layout, image, width, height, reductionTarget(picture),
                           orientation)) {
        result = 1;
        for (std::uint32_t top = 0; result && top < height; top += band) {
            const std::uint32_t rows = std::min(band, height - top);
            rgba.row_offset = static_cast<int>(top);
            if (!TIFFRGBAImageGet(&rgba, raster, width, rows)) {
                result = refuseDamaged(picture, reasonOr(reason, "unreadable pixels"));
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

// The kinds read sample by sample rather than through the RGBA interface,
// which refuses most depths other than 8 and 16 bits and floating point,
// and holds a whole strip and its raster at once.
struct SampleFormat {
    enum Colour { grey, invertedGrey, rgb, cmyk, palette } colour = rgb;
    int channels = 3; // colour samples taken, each to a byte; a palette's index gives 3
    int perPixel = 3; // samples a pixel in a contiguous row, extra ones included
    int bits = 8;
    bool floating = false;
    bool separate = false;
    std::vector<unsigned char> toByte;  // per integer (or half float) sample value
    std::vector<unsigned char> colours; // a palette's, 3 bytes per index
};

unsigned char floatToByte(double value) {
    return !(value > 0) ? 0 : value >= 1 ? 255 : static_cast<unsigned char>(value * 255 + 0.5);
}

double halfToDouble(std::uint16_t half) {
    const int exponent = half >> 10 & 31, fraction = half & 1023;
    const double magnitude = exponent == 0    ? std::ldexp(fraction, -24)
                             : exponent == 31 ? (fraction != 0 ? NAN : INFINITY)
                                              : std::ldexp(fraction + 1024, exponent - 25);
    return half >> 15 ? -magnitude : magnitude;
}

// False for what the RGBA interface is left to read.
bool sampleFormatOf(TIFF* tiff, SampleFormat& format) {
    std::uint16_t photometric = 0, compression = 0, bits = 0, samples = 0, sampleFormat = 0,
                  planar = 0, inkSet = 0;
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) {
        return false; // the interface guesses
    }
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inkSet);
    format.bits = bits;
    format.perPixel = samples;
    format.separate = planar == PLANARCONFIG_SEPARATE;
    format.floating = sampleFormat == SAMPLEFORMAT_IEEEFP;
    if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && bits == 8 &&
        samples == 3 && !format.separate) {
        // libjpeg turns it to RGB row by row.
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    switch (photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        format.colour =
            photometric == PHOTOMETRIC_MINISBLACK ? SampleFormat::grey : SampleFormat::invertedGrey;
        format.channels = 1;
        break;
    case PHOTOMETRIC_RGB:
        format.colour = SampleFormat::rgb;
        format.channels = 3;
        break;
    case PHOTOMETRIC_SEPARATED:
        if (inkSet != INKSET_CMYK) {
            return false;
        }
        format.colour = SampleFormat::cmyk;
        format.channels = 4;
        break;
    case PHOTOMETRIC_PALETTE:
        format.colour = SampleFormat::palette;
        format.channels = 1;
        break;
    default:
        return false;
    }
    if (samples < format.channels) {
        return false;
    }
    if (format.floating) {
        if ((bits != 16 && bits != 32 && bits != 64) || format.colour == SampleFormat::palette) {
            return false;
        }
        if (bits == 16) {
            format.toByte.resize(65536);
            for (unsigned half = 0; half < 65536; ++half) {
                format.toByte[half] = floatToByte(halfToDouble(static_cast<std::uint16_t>(half)));
            }
        }
        return true;
    }
    if (sampleFormat != SAMPLEFORMAT_UINT || bits < 1 || bits > 16) {
        return false;
    }
    const std::uint32_t values = std::uint32_t{1} << bits, largest = values - 1;
    if (format.colour == SampleFormat::palette) {
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue)) {
            return false;
        }
        // Some writers store 8-bit colours; then no entry reaches 256.
        int shift = 0;
        for (std::uint32_t i = 0; i < values; ++i) {
            shift = red[i] >= 256 || green[i] >= 256 || blue[i] >= 256 ? 8 : shift;
        }
        format.colours.resize(size_t{values} * 3);
        for (std::uint32_t i = 0; i < values; ++i) {
            format.colours[i * 3] = static_cast<unsigned char>(red[i] >> shift);
            format.colours[i * 3 + 1] = static_cast<unsigned char>(green[i] >> shift);
            format.colours[i * 3 + 2] = static_cast<unsigned char>(blue[i] >> shift);
        }
        format.channels = 3;
        return true;
    }
    format.toByte.resize(values);
    for (std::uint32_t value = 0; value < values; ++value) {
        format.toByte[value] = static_cast<unsigned char>((value * 255 + largest / 2) / largest);
    }
    return true;
}

// `count` samples of a row, from sample `first` on, one every `stride`, as
// bytes at `out` one every `outStride` (a palette's three).
void samplesToBytes(const SampleFormat& format, const unsigned char* row, size_t first,
                    size_t stride, std::uint32_t count, unsigned char* out, size_t outStride) {
    const unsigned char* toByte = format.toByte.data();
    for (std::uint32_t x = 0; x < count; ++x, out += outStride) {
        const size_t at = first + x * stride;
        std::uint32_t value = 0;
        if (format.floating && format.bits == 32) {
            float f = 0;
            std::memcpy(&f, row + at * 4, 4);
            *out = floatToByte(f);
            continue;
        }
        if (format.floating && format.bits == 64) {
            double d = 0;
            std::memcpy(&d, row + at * 8, 8);
            *out = floatToByte(d);
            continue;
        }
        if (format.bits == 8) {
            value = row[at];
        } else if (format.bits == 16) {
            std::uint16_t wide = 0; // libtiff hands it in the machine's order
            std::memcpy(&wide, row + at * 2, 2);
            value = wide;
        } else { // packed, most significant bit first
            const size_t bit = at * static_cast<size_t>(format.bits),
                         last = bit + static_cast<size_t>(format.bits) - 1;
            for (size_t byte = bit / 8; byte <= last / 8; ++byte) {
                value = value << 8 | row[byte];
            }
            value = value >> (7 - last % 8) & ((1u << format.bits) - 1);
        }
        if (format.colour == SampleFormat::palette) {
            std::memcpy(out, &format.colours[size_t{value} * 3], 3);
        } else {
            *out = toByte[value];
        }
    }
}

// One pixel's colour bytes as R, G, B. CMYK as the RGBA interface turns it.
void channelsToRgb(const SampleFormat& format, const unsigned char* in, unsigned char* rgb,
                   std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x, rgb += 3, in += format.channels) {
        switch (format.colour) {
        case SampleFormat::grey:
            rgb[0] = rgb[1] = rgb[2] = in[0];
            break;
        case SampleFormat::invertedGrey:
            rgb[0] = rgb[1] = rgb[2] = static_cast<unsigned char>(255 - in[0]);
            break;
        case SampleFormat::cmyk: {
            const unsigned light = 255u - in[3];
            for (int c = 0; c < 3; ++c) {
                rgb[c] = static_cast<unsigned char>(light * (255u - in[c]) / 255);
            }
            break;
        }
        default:
            std::memcpy(rgb, in, 3);
        }
    }
}

// The file opened again, for a plane of its own: strips are decoded in
// order, and planes read from one handle in turn would restart each strip
// at every row.
TIFF* openHandle(const PictureFile& picture, Source* source, Reason* reason) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        return nullptr;
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, largestLibraryBuffer);
    TIFFOpenOptionsSetErrorHandlerExtR(options, keepFirstError, reason);
    TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreWarning, nullptr);
    TIFF* tiff = TIFFClientOpenExt(picture.name, "r", source, readSource, refuseWriting, seekSource,
                                   keepOpen, sourceSize, mapSource, unmapSource, options);
    TIFFOpenOptionsFree(options);
    return tiff;
}

constexpr int mostChannels = 4;

// Planes read one by one: a palette's index and each channel of the others.
int planesOf(const SampleFormat& format) {
    return !format.separate ? 1 : format.colour == SampleFormat::palette ? 1 : format.channels;
}

// A row of one plane, `count` pixels of it, into the channel bytes at `out`.
void planeToBytes(const SampleFormat& format, const unsigned char* row, int plane,
                  std::uint32_t count, unsigned char* out) {
    const auto channels = static_cast<size_t>(format.channels);
    const size_t stride = format.separate ? 1 : static_cast<size_t>(format.perPixel);
    if (format.colour == SampleFormat::palette) {
        samplesToBytes(format, row, 0, stride, count, out, channels);
    } else if (format.separate) {
        samplesToBytes(format, row, 0, 1, count, out + plane, channels);
    } else {
        for (size_t c = 0; c < channels; ++c) {
            samplesToBytes(format, row, c, stride, count, out + c, channels);
        }
    }
}

int readSampleStrips(const PictureFile& picture, TIFF* tiff, Reason& reason,
                     const SampleFormat& format, RowLayout& layout, std::uint32_t width,
                     std::uint32_t height) {
    const int planes = planesOf(format);
    Source sources[mostChannels] = {};
    TIFF* handles[mostChannels] = {tiff};
    const tmsize_t rowBytes = TIFFScanlineSize(tiff);
    auto* row = static_cast<unsigned char*>(rowBytes > 0 ? std::malloc(size_t(rowBytes)) : nullptr);
    auto* channels = static_cast<unsigned char*>(std::malloc(size_t{width} * mostChannels));
    int result = row != nullptr && channels != nullptr ? 1
                 : rowBytes <= 0 ? refuseDamaged(picture, reasonOr(reason, "no rows"))
                                 : refuseForLackOfMemory(picture);
    for (int p = 1; result && p < planes; ++p) {
        sources[p] = {fileno(picture.file), picture.size, 0};
        handles[p] = openHandle(picture, &sources[p], &reason);
        if (handles[p] == nullptr) {
            result = refuseDamaged(picture, reasonOr(reason, "not a TIFF file"));
        }
    }
    for (std::uint32_t y = 0; result && y < height; ++y) {
        for (int p = 0; result && p < planes; ++p) {
            if (TIFFReadScanline(handles[p], row, y, static_cast<std::uint16_t>(p)) < 0) {
                result = refuseDamaged(picture, reasonOr(reason, "unreadable pixels"));
            } else {
                planeToBytes(format, row, p, width, channels);
            }
        }
        if (result) {
            unsigned char* target = nextRowTarget(layout);
            channelsToRgb(format, channels, target, width);
            addRow(layout, target);
        }
    }
    for (int p = 1; p < planes; ++p) {
        if (handles[p] != nullptr) {
            TIFFClose(handles[p]);
        }
    }
    std::free(row);
    std::free(channels);
    return result;
}

// A row of tiles at a time, each decoded whole: a tile's bytes and the
// band's channels must be backed by the file.
int readSampleTiles(const PictureFile& picture, TIFF* tiff, const Reason& reason,
                    const SampleFormat& format, RowLayout& layout, std::uint32_t width,
                    std::uint32_t height) {
    std::uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileLength);
    const tmsize_t tileBytes = TIFFTileSize(tiff), tileRowBytes = TIFFTileRowSize(tiff);
    if (tileWidth == 0 || tileLength == 0 || tileBytes <= 0 || tileRowBytes <= 0) {
        return refuseDamaged(picture, reasonOr(reason, "no tiles"));
    }
    const std::uint32_t rowsInBand = std::min(tileLength, height);
    const size_t bandSize = size_t{width} * rowsInBand * static_cast<size_t>(format.channels);
    if (!fileBacksUnit(picture, static_cast<double>(tileBytes) + static_cast<double>(bandSize),
                       "tile", tileWidth, tileLength)) {
        return 0;
    }
    auto* tile = static_cast<unsigned char*>(std::malloc(size_t(tileBytes)));
    auto* band = static_cast<unsigned char*>(std::malloc(bandSize));
    int result = tile != nullptr && band != nullptr ? 1 : refuseForLackOfMemory(picture);
    const int planes = planesOf(format);
    for (std::uint32_t top = 0; result && top < height; top += tileLength) {
        const std::uint32_t rows = std::min(tileLength, height - top);
        for (std::uint32_t left = 0; result && left < width; left += tileWidth) {
            const std::uint32_t columns = std::min(tileWidth, width - left);
            for (int p = 0; result && p < planes; ++p) {
                if (TIFFReadTile(tiff, tile, left, top, 0, static_cast<std::uint16_t>(p)) < 0) {
                    result = refuseDamaged(picture, reasonOr(reason, "unreadable pixels"));
                }
                for (std::uint32_t y = 0; result && y < rows; ++y) {
                    planeToBytes(format, tile + size_t(tileRowBytes) * y, p, columns,
                                 band + (size_t{width} * y + left) * size_t(format.channels));
                }
            }
        }
        for (std::uint32_t y = 0; result && y < rows; ++y) {
            unsigned char* target = nextRowTarget(layout);
            channelsToRgb(format, band + size_t{width} * y * size_t(format.channels), target,
                          width);
            addRow(layout, target);
        }
    }
    std::free(tile);
    std::free(band);
    return result;
}

int readPage(const PictureFile& picture, TIFF* tiff, Reason& reason, BitmapImage* image) {
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0) {
        char text[80];
        std::snprintf(text, sizeof text, "empty picture: %u x %u pixels", width, height);
        return refuseDamaged(picture, text);
    }
    if (!acceptClaimedSize(picture, width, height, leastFileBytes(tiff, width, height))) {
        return 0;
    }
    SampleFormat format;
    if (!sampleFormatOf(tiff, format)) {
        return readRgbaPage(picture, tiff, reason, image, width, height);
    }
    std::uint16_t orientation = 1;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    RowLayout layout;
    int result = 0;
    if (startLayout(picture, layout, image, width, height, reductionTarget(picture),
                    orientation >= 1 && orientation <= 8 ? orientation : 1)) {
        result = TIFFIsTiled(tiff)
                     ? readSampleTiles(picture, tiff, reason, format, layout, width, height)
                     : readSampleStrips(picture, tiff, reason, format, layout, width, height);
    }
    endLayout(layout);
    return result;
}

} // namespace

int loadTiff(const PictureFile& picture, BitmapImage* image) {
    Source source = {fileno(picture.file), picture.size, 0};
    Reason reason = {""};
    TIFF* tiff = openHandle(picture, &source, &reason);
    if (tiff == nullptr) {
        return reason.text[0] != '\0' ? refuseDamaged(picture, reason.text)
                                      : refuseDamaged(picture, "not a TIFF file");
    }
    const int result = readPage(picture, tiff, reason, image);
    TIFFClose(tiff);
    return result;
}
