// Pictures for the texture, in every format pictureFormats lists, told
// apart by their first bytes, read into packed RGB rows, upright as their
// orientation says and, on request, reduced. No GL here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct BitmapImage {
    std::int32_t width = 0;
    std::int32_t height = 0; // rows; always bottom-up after a successful read
    // width * height * 3 bytes, R, G, B per pixel, no row padding, the first
    // row at the bottom of the picture. Allocated with malloc; the caller
    // frees it.
    unsigned char* pixels = nullptr;
    // Set by loadPicture: the file was lossy (JPEG, lossy WebP, HEIC, AVIF, lossy or
    // recompressed JPEG XL),
    // so a copy of the picture is stored as JPEG rather than as a far larger
    // PNG.
    bool lossy = false;
};

// The largest side the caller can use. It is asked only once a header has
// been read, so a file that cannot be read costs the caller nothing.
using SideLimit = int (*)();

struct PictureRequest {
    SideLimit largestSide = nullptr; // none when null
    // 0: the picture keeps its size, and a side beyond largestSide is
    // refused. Otherwise it is reduced by area average, aspect kept, to at
    // most this many pixels per side, and never beyond largestSide.
    int reduceTo = 0;
    // Every kind of BMP (palettes, RLE, bit fields, OS/2 and v2 to v5
    // headers), as for a picture the user names; otherwise only the
    // uncompressed 24-bit BMP the marble has always been.
    bool everyBitmap = false;
};

struct PictureFile;

// One row per format read, told apart by its first bytes: everything that
// lists the formats (--help, the refusal of an unknown one, the desktop
// entry, the man page, the README) takes them from pictureFormats, in its
// order.
struct PictureFormat {
    const char* name;       // as lists name it
    const char* mimeTypes;  // ';' between them
    const char* firstBytes; // for the documentation
    // A lossy source is stored as JPEG in a model, others as PNG; WebP and
    // JPEG XL may be either, as their reader finds.
    enum Compression { lossless, lossy, asTheFileSays } compression;
    bool (*matches)(const unsigned char* head, size_t bytes); // up to 14 bytes
    int (*read)(const PictureFile& picture, BitmapImage* image);
};
extern const PictureFormat pictureFormats[];
extern const size_t pictureFormatCount;

// "BMP, PNG, ..., JPEG XL" with lastJoin (" and ", " or ") before the last.
std::string pictureFormatNames(const char* lastJoin);

// Reads fileName or, when there is no such file and fallbackName is given,
// fallbackName. Returns the name it read, or nullptr after printing one line
// that names the file; image->pixels is then null. Sizes are checked
// against the request and against what the file can hold before any pixel
// memory is taken. Files that are not regular files (a FIFO, a device, a
// directory) are refused without reading from them.
const char* loadPicture(const char* fileName, const char* fallbackName,
                        const PictureRequest& request, BitmapImage* image);

// "Texture from NAME is too large for this OpenGL: W x H pixels, at most N
// per side", for a picture refused by its size or by the upload; returns 0.
int refuseTextureSize(const char* name, long long width, long long height, int largestSide);

struct MipmapSize {
    std::int32_t width, height;
};

// GL's size for the mipmap level below one of width x height: each side
// halved, rounded down, never below 1.
MipmapSize mipmapBelow(std::int32_t width, std::int32_t height);

// The level below `above` at that size, by area average: each pixel is the
// rounded mean of the part of `above` it covers, a pixel cut by its edge
// weighed by the share that lies inside. Returns false after the
// allocation message; `below` then holds no pixels.
bool halveForMipmap(const BitmapImage& above, BitmapImage* below);

// The whole chain below `image`, down to 1 x 1: each level halved from the
// one above and handed to take(level, pixels, context), level 1 first. Only
// two levels are held at a time. Returns false after the allocation message.
bool makeMipmapLevels(const BitmapImage& image,
                      void (*take)(int level, const BitmapImage& pixels, void* context),
                      void* context);
