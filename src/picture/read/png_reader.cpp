// PNG through the system's libpng: every colour type, bit depth and
// interlacing, turned into 8-bit RGB rows that go to the row layout as they
// are decoded. An interlaced picture that is reduced is summed pass by pass
// at its reduced size; one kept at its size is held whole until the last
// pass, the size it is shown at anyway.
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <png.h>

#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

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
        return refuseForLackOfMemory(picture);
    }
    // Outside the jump's reach: only the libraries' own frames lie between
    // setjmp and a longjmp back, and endLayout runs on both ways out.
    RowLayout layout;
    PassSums passSums;
    // Changed after setjmp and needed after a jump back, hence volatile.
    unsigned char* volatile wholePicture = nullptr;
    png_bytepp volatile rowPointers = nullptr;
    unsigned char* volatile passRow = nullptr;
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
            const int passes = png_set_interlace_handling(png);
            png_read_update_info(png, info);
            const size_t rowBytes = size_t{width} * 3;
            if (png_get_rowbytes(png, info) != rowBytes) {
                png_error(png, "unexpected row layout");
            }
            // Only an eXIf chunk before the pixels can turn them as they
            // are laid out; one after them is not looked for.
            png_bytep exif = nullptr;
            png_uint_32 exifBytes = 0;
            const int orientation = png_get_eXIf_1(png, info, &exifBytes, &exif) != 0
                                        ? exifOrientation(exif, exifBytes)
                                        : 1;
            const std::uint32_t target = reductionTarget(picture);
            if (passes > 1 && isReduced(width, height, target)) {
                if ((passRow = static_cast<unsigned char*>(std::malloc(rowBytes))) == nullptr) {
                    refuseForLackOfMemory(picture);
                } else if (startPassSums(picture, passSums, image, width, height, target,
                                         orientation)) {
                    // libpng writes only this pass's pixels of a row, in
                    // their places, and leaves rows outside the pass alone.
                    for (int pass = 0; pass < passes; ++pass) {
                        for (png_uint_32 y = 0; y < height; ++y) {
                            png_read_row(png, passRow, nullptr);
                            if (PNG_ROW_IN_INTERLACE_PASS(y, pass)) {
                                addPassPixels(passSums, y, passRow, PNG_PASS_START_COL(pass),
                                              PNG_PASS_COL_OFFSET(pass));
                            }
                        }
                    }
                    layOutPassSums(passSums);
                    result = 1;
                }
            } else if (startLayout(picture, layout, image, width, height, target, orientation)) {
                if (passes == 1) {
                    // Row by row, so a reduced picture is never held whole.
                    for (png_uint_32 y = 0; y < height; ++y) {
                        unsigned char* row = nextRowTarget(layout);
                        png_read_row(png, row, nullptr);
                        addRow(layout, row);
                    }
                    result = 1;
                } else if ((wholePicture = static_cast<unsigned char*>(
                                std::malloc(rowBytes * height))) == nullptr ||
                           (rowPointers = static_cast<png_bytepp>(
                                std::malloc(sizeof(png_bytep) * height))) == nullptr) {
                    refuseForLackOfMemory(picture);
                } else {
                    // Interlaced rows are complete only after the last pass.
                    for (png_uint_32 y = 0; y < height; ++y) {
                        rowPointers[y] = wholePicture + rowBytes * y;
                    }
                    png_read_image(png, rowPointers);
                    for (png_uint_32 y = 0; y < height; ++y) {
                        addRow(layout, rowPointers[y]);
                    }
                    result = 1;
                }
            }
        }
    } else {
        refuseDamaged(picture, errorText);
    }
    endLayout(layout);
    endPassSums(passSums);
    std::free(passRow);
    std::free(wholePicture);
    std::free(rowPointers);
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}
