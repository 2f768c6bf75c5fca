// JPEG through the system's libjpeg-turbo: baseline and progressive; grey,
// colour, CMYK and YCCK; turned as its EXIF orientation says and, when a
// reduction is asked for, scaled down in the decoder first. Baseline rows
// stream; a file in several scans is held by libjpeg, so it must back its
// size with more data.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

#include "picture/jpeg_errors.h"
#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

void onJpegError(j_common_ptr codec) {
    auto* errors = reinterpret_cast<JpegErrors*>(codec->err);
    errors->manager.format_message(codec, errors->text);
    std::longjmp(errors->jump, 1);
}

namespace {

// A warning (level -1) about data the decoder had to fill in with grey
// refuses the file rather than show part of a picture. Stray bytes between
// segments and markers the decoder skips lose no pixel. Other levels are
// traces.
void onJpegMessage(j_common_ptr decoder, int level) {
    if (level >= 0) {
        return;
    }
    switch (decoder->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA:
    case JWRN_JFIF_MAJOR:
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
        return;
    default:
        onJpegError(decoder);
    }
}

int orientationFromMarkers(const jpeg_decompress_struct& decoder) {
    static const unsigned char exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr marker = decoder.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= sizeof exifHeader &&
            std::memcmp(marker->data, exifHeader, sizeof exifHeader) == 0) {
            return exifOrientation(marker->data, marker->data_length);
        }
    }
    return 1;
}

// libjpeg's DCT scaling does most of a reduction for free: the smallest of
// its scales n/8 that still leaves the longer side at least the target.
void scaleTowards(jpeg_decompress_struct& decoder, std::uint32_t target) {
    const std::uint64_t longer = std::max(decoder.image_width, decoder.image_height);
    decoder.scale_denom = 8;
    decoder.scale_num = 8;
    for (unsigned n = 1; target != 0 && n < 8; ++n) {
        if ((longer * n + 7) / 8 >= target) {
            decoder.scale_num = n;
            break;
        }
    }
}

// libjpeg keeps every coefficient of a JPEG in several scans (progressive
// ones are) until its last scan: 128 bytes for each 8 x 8 block. Such a file
// must hold a byte for every two blocks, so it cannot make libjpeg take more
// than 256 bytes for each of its own. Progressive photos hold more than 2
// bytes a block at quality 75.
constexpr double scannedBlocksPerByte = 2;

// The 8 x 8 blocks of all components, as libjpeg counts them for the
// sampling factors the frame header gives.
double blockCount(const jpeg_decompress_struct& decoder) {
    int widest = 1, tallest = 1;
    for (int c = 0; c < decoder.num_components; ++c) {
        widest = std::max(widest, decoder.comp_info[c].h_samp_factor);
        tallest = std::max(tallest, decoder.comp_info[c].v_samp_factor);
    }
    double blocks = 0;
    for (int c = 0; c < decoder.num_components; ++c) {
        const jpeg_component_info& component = decoder.comp_info[c];
        const double across = std::ceil(static_cast<double>(decoder.image_width) *
                                        component.h_samp_factor / (widest * 8.0));
        const double down = std::ceil(static_cast<double>(decoder.image_height) *
                                      component.v_samp_factor / (tallest * 8.0));
        blocks += across * down;
    }
    return blocks;
}

// CMYK as print work and photo editors store it; Adobe's writers store the
// values inverted (0 for full ink) and mark that with their APP14 marker.
void cmykToRgb(const unsigned char* cmyk, unsigned char* rgb, std::uint32_t width, bool inverted) {
    for (std::uint32_t x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const unsigned k = inverted ? cmyk[3] : 255 - cmyk[3];
        for (int c = 0; c < 3; ++c) {
            const unsigned light = inverted ? cmyk[c] : 255 - cmyk[c];
            rgb[c] = static_cast<unsigned char>((light * k + 127) / 255);
        }
    }
}

} // namespace

int loadJpeg(const PictureFile& picture, BitmapImage* image) {
    jpeg_decompress_struct decoder = {};
    JpegErrors errors = {};
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onJpegError;
    errors.manager.emit_message = onJpegMessage;
    // Outside the jump's reach: only the library's own frames lie between
    // setjmp and a longjmp back, and endLayout runs on both ways out.
    RowLayout layout;
    // Changed after setjmp and needed after a jump back, hence volatile.
    unsigned char* volatile cmykRow = nullptr;
    volatile int result = 0;
    if (setjmp(errors.jump) == 0) {
        jpeg_create_decompress(&decoder);
        jpeg_stdio_src(&decoder, picture.file);
        jpeg_save_markers(&decoder, JPEG_APP0 + 1, 0xffff);
        jpeg_read_header(&decoder, TRUE);
        const JDIMENSION width = decoder.image_width, height = decoder.image_height;
        // Each 8 x 8 block of the full-size component takes at least one bit.
        const double leastBytes =
            jpeg_has_multiple_scans(&decoder)
                ? blockCount(decoder) / scannedBlocksPerByte
                : static_cast<double>((width + 7) / 8) * ((height + 7) / 8) / 8;
        if (acceptClaimedSize(picture, width, height, leastBytes)) {
            const bool cmyk =
                decoder.jpeg_color_space == JCS_CMYK || decoder.jpeg_color_space == JCS_YCCK;
            decoder.out_color_space = cmyk ? JCS_CMYK : JCS_RGB; // grey becomes RGB too
            const std::uint32_t target = reductionTarget(picture);
            scaleTowards(decoder, target);
            jpeg_start_decompress(&decoder);
            const JDIMENSION outWidth = decoder.output_width;
            if (decoder.output_components != (cmyk ? 4 : 3) || outWidth == 0 ||
                decoder.output_height == 0) {
                ERREXIT(&decoder, JERR_BAD_IN_COLORSPACE);
            }
            // cppcheck-suppress redundantAssignment ; the null is for a jump back
            cmykRow =
                cmyk ? static_cast<unsigned char*>(std::malloc(size_t{outWidth} * 4)) : nullptr;
            if (cmyk && cmykRow == nullptr) {
                refuseForLackOfMemory(picture);
            } else if (startLayout(picture, layout, image, outWidth, decoder.output_height, target,
                                   orientationFromMarkers(decoder))) {
                while (decoder.output_scanline < decoder.output_height) {
                    unsigned char* row = nextRowTarget(layout);
                    JSAMPROW decoded = cmyk ? cmykRow : row;
                    jpeg_read_scanlines(&decoder, &decoded, 1);
                    if (cmyk) {
                        cmykToRgb(cmykRow, row, outWidth, decoder.saw_Adobe_marker);
                    }
                    addRow(layout, row);
                }
                jpeg_finish_decompress(&decoder);
                result = 1;
            }
        }
    } else {
        refuseDamaged(picture, errors.text);
    }
    endLayout(layout);
    std::free(cmykRow);
    jpeg_destroy_decompress(&decoder);
    return result;
}
