// WebP through the system's libwebp, its demuxer finding the first frame and
// the EXIF chunk: lossy and lossless, with or without alpha, still or
// animated. Alpha is dropped: each pixel keeps its own colour, as libwebp's
// RGB output gives it, never premultiplied. An animation shows its first
// frame where it lies on the canvas, the canvas around it black, as
// libwebp's animation decoder leaves it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <webp/decode.h>
#include <webp/demux.h>

#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

namespace {

constexpr double losslessAreaFree = 4096.0 * 4096, losslessPixelsPerByte = 32;

const char* statusText(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        return "out of memory";
    case VP8_STATUS_INVALID_PARAM:
        return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR:
        return "bitstream error";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return "unsupported feature";
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return "not enough data";
    default:
        return "damaged";
    }
}

// libwebp reads from memory, so the file is read whole: never more than the
// file itself, and far less than its pixels. Null after the refusal.
unsigned char* readWhole(const PictureFile& picture) {
    // RIFF counts its bytes in 32 bits.
    if (picture.size > std::int64_t{UINT32_MAX} + 8) {
        refuseDamaged(picture, "larger than a WebP can be");
        return nullptr;
    }
    auto* bytes = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(picture.size)));
    if (bytes == nullptr) {
        refuseForLackOfMemory(picture);
    } else if (std::fread(bytes, 1, static_cast<size_t>(picture.size), picture.file) !=
               static_cast<size_t>(picture.size)) {
        // The file shrank since it was opened, or the disk failed.
        refuseDamaged(picture, std::ferror(picture.file) != 0 ? "read error" : "cut short");
        std::free(bytes);
        bytes = nullptr;
    }
    return bytes;
}

int exifOrientationOf(const WebPDemuxer* demux) {
    WebPChunkIterator chunk;
    int orientation = 1;
    if ((WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) != 0 &&
        WebPDemuxGetChunk(demux, "EXIF", 1, &chunk) != 0) {
        orientation = exifOrientation(chunk.chunk.bytes, chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    return orientation;
}

struct Frame {
    const WebPIterator& iterator;
    std::uint32_t canvasWidth, canvasHeight;
    // What libwebp decodes: the frame, or its reduction when libwebp scales.
    int width, height;
    bool scaled;
};

// Decodes the frame into `pixels` (width * 3 bytes a row), bottom row
// first when flipped. Returns the decoder's status.
VP8StatusCode decodeFrame(const Frame& frame, unsigned char* pixels, bool flip) {
    WebPDecoderConfig config;
    if (WebPInitDecoderConfig(&config) == 0) {
        return VP8_STATUS_INVALID_PARAM;
    }
    config.options.use_scaling = frame.scaled ? 1 : 0;
    config.options.scaled_width = frame.width;
    config.options.scaled_height = frame.height;
    config.options.flip = flip ? 1 : 0;
    config.output.colorspace = MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = pixels;
    config.output.u.RGBA.stride = frame.width * 3;
    config.output.u.RGBA.size = size_t{static_cast<std::uint32_t>(frame.width)} * 3 *
                                static_cast<std::uint32_t>(frame.height);
    const WebPData& data = frame.iterator.fragment;
    const VP8StatusCode status = WebPDecode(data.bytes, data.size, &config);
    WebPFreeDecBuffer(&config.output);
    return status;
}

// Decoded frame rows to the layout, the canvas around the frame black.
void layFrameOnCanvas(RowLayout& layout, const Frame& frame, const unsigned char* pixels) {
    const WebPIterator& at = frame.iterator;
    const size_t frameRow = size_t{static_cast<std::uint32_t>(frame.width)} * 3;
    for (std::uint32_t y = 0; y < layout.height; ++y) {
        const int inFrame = static_cast<int>(y) - at.y_offset;
        if (frame.scaled || (at.x_offset == 0 && frame.width == static_cast<int>(layout.width) &&
                             inFrame >= 0 && inFrame < frame.height)) {
            addRow(layout, pixels + frameRow * static_cast<size_t>(inFrame));
            continue;
        }
        unsigned char* row = nextRowTarget(layout);
        std::memset(row, 0, size_t{layout.width} * 3);
        if (inFrame >= 0 && inFrame < frame.height) {
            std::memcpy(row + size_t{static_cast<std::uint32_t>(at.x_offset)} * 3,
                        pixels + frameRow * static_cast<size_t>(inFrame), frameRow);
        }
        addRow(layout, row);
    }
}

int loadFrame(const PictureFile& picture, BitmapImage* image, const WebPDemuxer* demux,
              const WebPIterator& iterator) {
    WebPBitstreamFeatures features;
    const VP8StatusCode status =
        WebPGetFeatures(iterator.fragment.bytes, iterator.fragment.size, &features);
    if (status != VP8_STATUS_OK) {
        return refuseDamaged(picture, statusText(status));
    }
    const std::uint32_t width = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    const std::uint32_t height = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    // A lossy frame spends at least a bit on each 16 x 16 macroblock. A
    // lossless one of a single colour needs almost nothing per pixel, but
    // libwebp holds it whole, 4 bytes a pixel, before any scaling: beyond
    // 16 megapixels it must hold a byte for every 32, which photos and
    // screenshots stored losslessly hold many times over.
    image->lossy = features.format == 1;
    const double area = double(iterator.width) * iterator.height;
    const double leastBytes =
        image->lossy ? double((iterator.width + 15) / 16) * ((iterator.height + 15) / 16) / 8
        : area > losslessAreaFree ? area / losslessPixelsPerByte
                                  : 0;
    if (!acceptClaimedSize(picture, width, height, leastBytes)) {
        return 0;
    }
    // libwebp's own scaling reduces while it decodes, but it weighs each
    // colour by its alpha, so it serves only frames without alpha that cover
    // the canvas; the row layout reduces the others.
    const std::uint32_t target = reductionTarget(picture);
    const PictureSize reduced = reducedSize(width, height, target);
    const bool wholeCanvas = iterator.x_offset == 0 && iterator.y_offset == 0 &&
                             iterator.width == static_cast<int>(width) &&
                             iterator.height == static_cast<int>(height);
    const bool scaled =
        wholeCanvas && !features.has_alpha && (reduced.width != width || reduced.height != height);
    const Frame frame = {iterator,
                         width,
                         height,
                         static_cast<int>(scaled ? reduced.width : iterator.width),
                         static_cast<int>(scaled ? reduced.height : iterator.height),
                         scaled};
    RowLayout layout;
    if (!startLayout(picture, layout, image, scaled ? reduced.width : width,
                     scaled ? reduced.height : height, scaled ? 0 : target,
                     exifOrientationOf(demux))) {
        return 0;
    }
    // Whole, unreduced and with its pixels in order (upright or upside down),
    // the frame lands in the image itself, flipped to bottom-up rows when
    // upright; otherwise it is decoded aside and laid out row by row.
    const bool inPlace = layout.scratch == nullptr && wholeCanvas;
    const size_t frameBytes = size_t{static_cast<std::uint32_t>(frame.width)} * 3 *
                              static_cast<std::uint32_t>(frame.height);
    unsigned char* pixels =
        inPlace ? image->pixels : static_cast<unsigned char*>(std::malloc(frameBytes));
    const VP8StatusCode decoded =
        pixels != nullptr ? decodeFrame(frame, pixels, inPlace && layout.orientation != 4)
                          : VP8_STATUS_OUT_OF_MEMORY;
    int result = 0;
    if (pixels == nullptr) {
        refuseForLackOfMemory(picture);
    } else if (decoded != VP8_STATUS_OK) {
        refuseDamaged(picture, statusText(decoded));
    } else {
        if (inPlace) {
            while (layout.rowsTaken < layout.height) {
                addRow(layout, nextRowTarget(layout)); // already in place
            }
        } else {
            layFrameOnCanvas(layout, frame, pixels);
        }
        result = 1;
    }
    if (!inPlace) {
        std::free(pixels);
    }
    endLayout(layout);
    return result;
}

} // namespace

int loadWebp(const PictureFile& picture, BitmapImage* image) {
    unsigned char* bytes = readWhole(picture);
    if (bytes == nullptr) {
        return 0;
    }
    const WebPData data = {bytes, static_cast<size_t>(picture.size)};
    WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
    WebPDemuxer* demux = WebPDemuxPartial(&data, &state);
    WebPIterator iterator;
    int result = 0;
    if (demux == nullptr || state == WEBP_DEMUX_PARSE_ERROR) {
        refuseDamaged(picture, "damaged WebP container");
    } else if (state != WEBP_DEMUX_DONE) {
        refuseDamaged(picture, "not enough data");
    } else if (WebPDemuxGetFrame(demux, 1, &iterator) == 0) {
        refuseDamaged(picture, "no frame");
    } else {
        result = loadFrame(picture, image, demux, iterator);
        WebPDemuxReleaseIterator(&iterator);
    }
    WebPDemuxDelete(demux);
    std::free(bytes);
    return result;
}
