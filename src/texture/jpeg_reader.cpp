// JPEG through the system's libjpeg-turbo: baseline and progressive, colour
// and grey, decoded to RGB scanlines written bottom row first, so the pixels
// are touched once.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

#include "texture/formats.h"

namespace {

struct JpegErrors {
    jpeg_error_mgr manager; // first, so the library's pointer is also ours
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

// libjpeg would print to stderr and end the process; its errors jump back
// to the reader instead, with the reason kept for the one message.
[[noreturn]] void onJpegError(j_common_ptr decoder) {
    auto* errors = reinterpret_cast<JpegErrors*>(decoder->err);
    errors->manager.format_message(decoder, errors->text);
    std::longjmp(errors->jump, 1);
}

// A warning (level -1) means damaged data that libjpeg would fill in with
// grey; refuse the file rather than show part of a picture. Other levels
// are traces.
void onJpegMessage(j_common_ptr decoder, int level) {
    if (level < 0) {
        onJpegError(decoder);
    }
}

} // namespace

int loadJpeg(const PictureFile& picture, BitmapImage* image) {
    jpeg_decompress_struct decoder = {};
    JpegErrors errors = {};
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegError;
    errors.manager.emit_message = onJpegMessage;
    // Changed after setjmp and needed after a jump back, hence volatile.
    unsigned char** volatile rows = nullptr;
    volatile int result = 0;
    if (setjmp(errors.jump) == 0) {
        jpeg_create_decompress(&decoder);
        jpeg_stdio_src(&decoder, picture.file);
        jpeg_read_header(&decoder, TRUE);
        const JDIMENSION width = decoder.image_width, height = decoder.image_height;
        // Each 8 x 8 block of the full-size component takes at least one bit.
        const double leastBytes = static_cast<double>((width + 7) / 8) * ((height + 7) / 8) / 8;
        if (acceptClaimedSize(picture, width, height, leastBytes)) {
            decoder.out_color_space = JCS_RGB; // grey too
            jpeg_start_decompress(&decoder);
            if (decoder.output_width != width || decoder.output_components != 3) {
                ERREXIT(&decoder, JERR_BAD_IN_COLORSPACE);
            }
            rows = allocateRows(image, width, height);
            if (rows != nullptr) {
                while (decoder.output_scanline < height) {
                    jpeg_read_scanlines(&decoder, rows + decoder.output_scanline,
                                        height - decoder.output_scanline);
                }
                jpeg_finish_decompress(&decoder);
                result = 1;
            }
        }
    } else {
        refuseDamaged(picture, errors.text);
    }
    jpeg_destroy_decompress(&decoder);
    std::free(rows);
    return result;
}
