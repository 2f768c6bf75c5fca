// PNG through the system's libpng: every colour type, bit depth and
// interlacing, turned into 8-bit RGB rows written bottom row first, so the
// pixels are touched once.
#include <csetjmp>
#include <cstdlib>
#include <png.h>

#include "texture/formats.h"

namespace {

constexpr size_t errorTextBytes = 200;

// libpng would print to stderr and end the process; its errors jump back
// to the reader instead, with the reason kept for the one message.
[[noreturn]] void onPngError(png_structp png, png_const_charp message) {
    std::snprintf(static_cast<char*>(png_get_error_ptr(png)), errorTextBytes, "%s", message);
    png_longjmp(png, 1);
}

// Warnings are about ancillary chunks; the picture itself is sound.
void onPngWarning(png_structp, png_const_charp) {}

// Deflate packs at most 1032 bytes into one.
constexpr double deflateRatio = 1032;

} // namespace

int loadPng(const PictureFile& picture, BitmapImage* image) {
    char errorText[errorTextBytes] = "";
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, errorText, onPngError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return refuseForLackOfMemory();
    }
    // Changed after setjmp and needed after a jump back, hence volatile.
    unsigned char** volatile rows = nullptr;
    volatile int result = 0;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, picture.file);
        png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX); // the checks below decide
        png_read_info(png, info);
        const png_uint_32 width = png_get_image_width(png, info);
        const png_uint_32 height = png_get_image_height(png, info);
        const int bitsPerPixel = png_get_channels(png, info) * png_get_bit_depth(png, info);
        const double leastBytes =
            static_cast<double>(width) * height * bitsPerPixel / 8 / deflateRatio;
        if (acceptClaimedSize(picture, width, height, leastBytes)) {
            // Palettes and small grey samples become bytes, 16 bits become 8;
            // alpha, also from a transparency chunk, is dropped: the logo
            // stays opaque.
            png_set_expand(png);
            png_set_scale_16(png);
            png_set_strip_alpha(png);
            if ((png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) == 0) {
                png_set_gray_to_rgb(png);
            }
            png_set_interlace_handling(png);
            png_read_update_info(png, info);
            if (png_get_rowbytes(png, info) != size_t{width} * 3) {
                png_error(png, "unexpected row layout");
            }
            rows = allocateRows(image, width, height);
            if (rows != nullptr) {
                png_read_image(png, rows);
                result = 1;
            }
        }
    } else {
        refuseDamaged(picture, errorText);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);
    return result;
}
