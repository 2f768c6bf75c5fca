#include "picture/write/model_picture.h"

#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <new>
#include <png.h>
#include <vector>

#include "picture/jpeg_errors.h"

namespace {

// What the JPEG compression fills in. It lives in the caller's frame, so
// nothing that changes between setjmp and the jump back is a local of the
// function that jumps.
struct JpegWork {
    jpeg_compress_struct encoder;
    JpegErrors errors;
    unsigned char* bytes = nullptr; // malloc'd by libjpeg's memory destination
    unsigned long size = 0;
};

// Only libjpeg's frames lie between setjmp and a jump back here.
bool compressJpeg(const BitmapImage& image, JpegWork& work) {
    work.encoder.err = jpeg_std_error(&work.errors.manager);
    work.errors.manager.error_exit = onJpegError;
    work.errors.text[0] = '\0';
    if (setjmp(work.errors.jump) != 0) {
        return false;
    }
    jpeg_create_compress(&work.encoder);
    jpeg_mem_dest(&work.encoder, &work.bytes, &work.size);
    work.encoder.image_width = static_cast<JDIMENSION>(image.width);
    work.encoder.image_height = static_cast<JDIMENSION>(image.height);
    work.encoder.input_components = 3;
    work.encoder.in_color_space = JCS_RGB;
    jpeg_set_defaults(&work.encoder);
    jpeg_set_quality(&work.encoder, modelJpegQuality, TRUE);
    jpeg_start_compress(&work.encoder, TRUE);
    const size_t rowBytes = static_cast<size_t>(image.width) * 3;
    while (work.encoder.next_scanline < work.encoder.image_height) {
        const size_t fromBottom = work.encoder.image_height - 1 - work.encoder.next_scanline;
        JSAMPROW row = image.pixels + rowBytes * fromBottom;
        jpeg_write_scanlines(&work.encoder, &row, 1);
    }
    jpeg_finish_compress(&work.encoder);
    return true;
}

bool encodeJpeg(const BitmapImage& image, ModelPicture& picture, std::string& error) {
    auto* work = new (std::nothrow) JpegWork;
    if (work == nullptr) {
        error = std::strerror(ENOMEM);
        return false;
    }
    bool encoded = compressJpeg(image, *work);
    if (!encoded) {
        error = work->errors.text;
    } else {
        try {
            picture.bytes.assign(work->bytes, work->bytes + work->size);
        } catch (const std::bad_alloc&) {
            error = std::strerror(ENOMEM);
            encoded = false;
        }
    }
    jpeg_destroy_compress(&work->encoder);
    std::free(work->bytes);
    delete work;
    return encoded;
}

bool encodePng(const BitmapImage& image, ModelPicture& picture, std::string& error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    // Room for the worst case, so the picture is compressed only once.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(png);
    try {
        picture.bytes.resize(size);
    } catch (const std::bad_alloc&) {
        error = std::strerror(ENOMEM);
        return false;
    }
    // A negative stride: the rows lie bottom first, as the texture wants them.
    const auto stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(png));
    if (png_image_write_to_memory(&png, picture.bytes.data(), &size, 0, image.pixels, stride,
                                  nullptr) == 0) {
        error = png.message;
        return false;
    }
    picture.bytes.resize(size);
    picture.bytes.shrink_to_fit();
    return true;
}

} // namespace

bool encodeModelPicture(const BitmapImage& image, bool asJpeg, ModelPicture& picture,
                        std::string& error) {
    picture = ModelPicture{};
    // The same bound loadPicture keeps, so every size below fits its type.
    if (image.pixels == nullptr || image.width <= 0 || image.height <= 0 ||
        std::int64_t{image.width} * image.height * 3 > INT32_MAX) {
        error = "no picture to encode: " + std::to_string(image.width) + " x " +
                std::to_string(image.height) + " pixels";
        return false;
    }
    const bool encoded =
        asJpeg ? encodeJpeg(image, picture, error) : encodePng(image, picture, error);
    if (!encoded) {
        return false;
    }
    picture.mimeType = asJpeg ? "image/jpeg" : "image/png";
    picture.extension = asJpeg ? "jpg" : "png";
    return true;
}
