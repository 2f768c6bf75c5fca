#include "picture/picture.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "picture/read/formats.h"

namespace {

// The marble's words; a line of its own like every other message.
const char* const lackOfMemoryLine = "Error allocating memory for color-corrected image data\n";
const char* const textureSizeLine =
    "Texture from %s is too large for this OpenGL: %lld x %lld pixels, at most %d per side\n";

// O_NONBLOCK: opening a FIFO without a writer, or some devices, would
// otherwise wait for ever. Reads from a regular file never block anyway.
int openForReading(const char* name) {
    return open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// Each test sees the file's first bytes, as many as it has up to 14.
bool isPng(const unsigned char* head, size_t bytes) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return bytes >= sizeof signature && std::memcmp(head, signature, sizeof signature) == 0;
}

bool isJpeg(const unsigned char* head, size_t bytes) {
    return bytes >= 3 && head[0] == 0xff && head[1] == 0xd8 && head[2] == 0xff;
}

bool isWebp(const unsigned char* head, size_t bytes) {
    return bytes >= 12 && std::memcmp(head, "RIFF", 4) == 0 &&
           std::memcmp(head + 8, "WEBP", 4) == 0;
}

bool isGif(const unsigned char* head, size_t bytes) {
    return bytes >= 6 &&
           (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
}

// Classic TIFF (42) and BigTIFF (43), in either byte order.
bool isTiff(const unsigned char* head, size_t bytes) {
    return bytes >= 4 &&
           ((head[0] == 'I' && head[1] == 'I' && (head[2] == 42 || head[2] == 43) &&
             head[3] == 0) ||
            (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43)));
}

// The brands of an ISO base media file that libheif reads as a still
// picture: HEIC and its variants, the generic HEIF brands, and AVIF.
bool isHeif(const unsigned char* head, size_t bytes) {
    static const char* const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                         "mif1", "msf1", "mif2", "miaf", "avif", "avis"};
    return bytes >= 12 && std::memcmp(head + 4, "ftyp", 4) == 0 &&
           std::any_of(std::begin(brands), std::end(brands),
                       [&](const char* known) { return std::memcmp(head + 8, known, 4) == 0; });
}

// A bare codestream, or the container's signature box.
bool isJxl(const unsigned char* head, size_t bytes) {
    static const unsigned char container[12] = {0,   0,   0,    12,   'J',  'X',
                                                'L', ' ', '\r', '\n', 0x87, '\n'};
    return (bytes >= 2 && head[0] == 0xff && head[1] == 0x0a) ||
           (bytes >= sizeof container && std::memcmp(head, container, sizeof container) == 0);
}

// A DIB starts with its info header: its size, the sizes of the picture and
// one colour plane, at OS/2's 16-bit or Windows' 32-bit places.
bool isBareBitmap(const unsigned char* head, size_t bytes) {
    if (bytes < 14) {
        return false;
    }
    const std::uint32_t infoBytes =
        head[0] | head[1] << 8 | head[2] << 16 | std::uint32_t{head[3]} << 24;
    const unsigned planes = infoBytes == 12 ? head[8] | head[9] << 8 : head[12] | head[13] << 8;
    return (infoBytes == 12 || infoBytes == 40 || infoBytes == 52 || infoBytes == 56 ||
            infoBytes == 64 || infoBytes == 108 || infoBytes == 124) &&
           planes == 1;
}

bool isBitmap(const unsigned char* head, size_t bytes) {
    return (bytes >= 2 && head[0] == 'B' && head[1] == 'M') || isBareBitmap(head, bytes);
}

// A named picture may be any kind of BMP; the marble is the 24-bit one it
// has always been, and a bare DIB is never the marble.
int loadBmp(const PictureFile& picture, BitmapImage* image) {
    unsigned char head[14] = {};
    const size_t bytes = std::fread(head, 1, sizeof head, picture.file);
    std::rewind(picture.file);
    if (picture.request.everyBitmap) {
        return loadAnyBitmap(picture, image);
    }
    return isBareBitmap(head, bytes) && (head[0] != 'B' || head[1] != 'M')
               ? refuseUnknown(picture)
               : loadBitmap(picture, image);
}

} // namespace

const PictureFormat pictureFormats[] = {
    {"BMP", "image/bmp", "`BM`, or a bare DIB's info header", PictureFormat::lossless, isBitmap,
     loadBmp},
    {"PNG", "image/png", "`\\x89PNG`", PictureFormat::lossless, isPng, loadPng},
    {"JPEG", "image/jpeg", "`\\xFF\\xD8\\xFF`", PictureFormat::lossy, isJpeg, loadJpeg},
    {"WebP", "image/webp", "`RIFF`, then `WEBP` at 8", PictureFormat::asTheFileSays, isWebp,
     loadWebp},
    {"GIF", "image/gif", "`GIF87a`, `GIF89a`", PictureFormat::lossless, isGif, loadGif},
    {"TIFF", "image/tiff", "`II*`, `MM*`, BigTIFF's `II+` and `MM+`", PictureFormat::lossless,
     isTiff, readTiff},
    {"HEIC, AVIF", "image/heic;image/heif;image/avif", "`ftyp` at 4 with a HEIF or AVIF brand",
     PictureFormat::lossy, isHeif, readHeif},
    {"JPEG XL", "image/jxl", "`\\xFF\\x0A`, or its container's `JXL ` box",
     PictureFormat::asTheFileSays, isJxl, readJxl},
};
const size_t pictureFormatCount = sizeof pictureFormats / sizeof pictureFormats[0];

std::string pictureFormatNames(const char* lastJoin) {
    std::string names;
    for (size_t i = 0; i < pictureFormatCount; ++i) {
        names += i == 0 ? "" : i + 1 == pictureFormatCount ? lastJoin : ", ";
        names += pictureFormats[i].name;
    }
    return names;
}

int refuseUnknown(const PictureFile& picture) {
    return refuse(picture, "Format of %s is not known: %s are read\n", picture.name,
                  pictureFormatNames(" and ").c_str());
}

namespace {

int loadByFormat(const PictureFile& picture, BitmapImage* image) {
    unsigned char head[14] = {};
    const size_t bytes = std::fread(head, 1, sizeof head, picture.file);
    std::rewind(picture.file);
    const PictureFormat* format =
        std::find_if(std::begin(pictureFormats), std::end(pictureFormats),
                     [&](const PictureFormat& known) { return known.matches(head, bytes); });
    image->lossy = false;
    if (format != std::end(pictureFormats)) {
        image->lossy = format->compression == PictureFormat::lossy;
        return format->read(picture, image);
    }
    // Too short to tell: the BMP reader says how short.
    return bytes < 2 ? loadBmp(picture, image) : refuseUnknown(picture);
}

} // namespace

std::uint32_t reductionTarget(const PictureFile& picture) {
    const PictureRequest& request = picture.request;
    if (request.reduceTo <= 0) {
        return 0;
    }
    const int largestSide = request.largestSide != nullptr ? request.largestSide() : INT32_MAX;
    return static_cast<std::uint32_t>(std::max(1, std::min(request.reduceTo, largestSide)));
}

bool fitsSideLimit(const PictureFile& picture, std::int64_t width, std::int64_t height) {
    if (picture.request.largestSide == nullptr || picture.request.reduceTo > 0) {
        return true;
    }
    const int largestSide = picture.request.largestSide();
    return (width <= largestSide && height <= largestSide) ||
           refuse(picture, textureSizeLine, picture.name, static_cast<long long>(width),
                  static_cast<long long>(height), largestSide);
}

bool acceptClaimedSize(const PictureFile& picture, std::uint32_t width, std::uint32_t height,
                       double leastFileBytes) {
    if (std::uint64_t{width} * height * 3 > INT32_MAX) {
        return refuse(picture, "Size from %s is too large: %u x %u pixels\n", picture.name, width,
                      height);
    }
    if (!fitsSideLimit(picture, width, height)) {
        return false;
    }
    if (static_cast<double>(picture.size) < leastFileBytes) {
        char reason[80];
        std::snprintf(reason, sizeof reason, "too little data for %u x %u pixels", width, height);
        return refuseDamaged(picture, reason);
    }
    return true;
}

int silenceStandardError() {
    std::fflush(stderr);
    const int saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) {
        dup2(null, STDERR_FILENO);
    }
    if (null >= 0) {
        close(null);
    }
    return saved;
}

void restoreStandardError(int saved) {
    if (saved >= 0) {
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
}

int refuse(const PictureFile& picture, const char* format, ...) {
    if (picture.failure->line[0] == '\0') {
        std::va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(picture.failure->line, sizeof picture.failure->line, format, arguments);
        va_end(arguments);
    }
    return 0;
}

int refuseDamaged(const PictureFile& picture, const char* reason) {
    return refuse(picture, "Error reading image data from %s: %s\n", picture.name, reason);
}

int refuseForLackOfMemory(const PictureFile& picture) {
    return picture.request.everyBitmap
               ? refuse(picture, "Error allocating memory for image data from %s\n", picture.name)
               : refuse(picture, "%s", lackOfMemoryLine);
}

int printLackOfMemory() {
    std::fputs(lackOfMemoryLine, stdout);
    return 0;
}

int refuseTextureSize(const char* name, long long width, long long height, int largestSide) {
    std::printf(textureSizeLine, name, width, height, largestSide);
    return 0;
}

const char* loadPicture(const char* fileName, const char* fallbackName,
                        const PictureRequest& request, BitmapImage* image) {
    const char* name = fileName;
    int descriptor = openForReading(name);
    if (descriptor < 0 && errno == ENOENT && fallbackName != nullptr) {
        // The fallback stands in only for a file that is not there at all.
        const int fallback = openForReading(fallbackName);
        if (fallback >= 0 || errno != ENOENT) {
            name = fallbackName;
            descriptor = fallback;
        }
    }
    // The marble has always been "not found" whatever the reason; a picture
    // the user names says when it is there but may not be read.
    if (descriptor < 0 && request.everyBitmap && (errno == EACCES || errno == EPERM)) {
        std::printf("Cannot open %s: %s\n", name, std::strerror(errno));
        return nullptr;
    }
    if (descriptor < 0) {
        std::printf("File Not Found : %s\n", name);
        return nullptr;
    }
    // Asked of the open file, so it cannot be swapped after the check.
    struct stat status = {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        std::printf("File %s is not a regular file\n", name);
        return nullptr;
    }
    std::FILE* file = fdopen(descriptor, "rb");
    if (file == nullptr) {
        close(descriptor);
        std::printf("File Not Found : %s\n", name);
        return nullptr;
    }
    PictureFailure failure;
    const PictureFile picture = {file, name, static_cast<std::int64_t>(status.st_size), request,
                                 &failure};
    // Only what the reader takes is freed after a failure, never a block the
    // caller left in the record.
    image->pixels = nullptr;
    const int loaded = loadByFormat(picture, image);
    std::fclose(file);
    if (!loaded) {
        std::fputs(failure.line, stdout);
        std::free(image->pixels);
        image->pixels = nullptr;
        return nullptr;
    }
    return name;
}
