// HEIC, HEIF and AVIF through the system's libheif: the primary image, with
// the rotation, mirror and crop its file gives it, grids put together,
// samples deeper than 8 bits scaled to 8, alpha dropped. libheif's own
// security limits stay as they are. On Debian 13 its HEVC and AV1 decoders
// are plugins that heif_init loads.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <libheif/heif.h>

#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

namespace {

// The side libheif may decode at least, for tiles coded larger than the
// small picture they make up.
constexpr int codedMargin = 1024;
// A picture is coded in whole blocks: HEVC's are up to 64 pixels a side,
// AV1's up to 128, so the coded size may exceed the shown one by as much.
constexpr int hevcBlock = 64, av1Block = 128;
// libheif takes memory by what it decodes, which may be as large as the
// square its size limit lets through: about 10 bytes a pixel. Beyond this
// square, some 270 MiB of decoding, a file must back it at this many pixels
// per byte, so that no file under a megabyte can make libheif take more.
// Photos pack far fewer: a 12 MP phone HEIC 3 to 8, an AVIF of the same
// about 25, and a 48 MP HEIC, which needs 2.4 MB, about 10.
constexpr double squareNeedingData = 28e6;
constexpr double pixelsPerByte = 28;

std::int64_t positionOf(void* picture) {
    return ftello(static_cast<const PictureFile*>(picture)->file);
}

int readInto(void* data, size_t size, void* picture) {
    return std::fread(data, 1, size, static_cast<const PictureFile*>(picture)->file) == size ? 0
                                                                                             : -1;
}

int seekTo(std::int64_t position, void* picture) {
    return fseeko(static_cast<const PictureFile*>(picture)->file, position, SEEK_SET);
}

// The file is whole: a size beyond it will never come.
heif_reader_grow_status waitForSize(std::int64_t size, void* picture) {
    return size > static_cast<const PictureFile*>(picture)->size
               ? heif_reader_grow_status_size_beyond_eof
               : heif_reader_grow_status_size_reached;
}

// Version 1 of the reader; newer libheif versions add members, left null.
heif_reader fileReader() {
    heif_reader reader = {};
    reader.reader_api_version = 1;
    reader.get_position = positionOf;
    reader.read = readInto;
    reader.seek = seekTo;
    reader.wait_for_file_size = waitForSize;
    return reader;
}

// Once for the process: the plugins stay loaded for the next picture.
void startLibheif() {
    static const bool started = [] {
        heif_init(nullptr); // a plugin that fails to load shows as a missing decoder
        return true;
    }();
    static_cast<void>(started);
}

// Whether the file's brands say AV1: AVIF's, among the first ones of its
// ftyp box. Only the least size the file must have depends on it.
bool isAvif(const PictureFile& picture) {
    unsigned char head[32] = {};
    const size_t length = std::fread(head, 1, sizeof head, picture.file);
    std::rewind(picture.file);
    for (size_t at = 8; at + 4 <= length; at += 4) {
        if (std::memcmp(head + at, "avif", 4) == 0 || std::memcmp(head + at, "avis", 4) == 0) {
            return true;
        }
    }
    return false;
}

// libheif's own words. A missing decoder plugin (Debian 13 on) gets a line
// of its own from libheif naming the plugin, as "No decoding plugin
// installed for this compression format: AV1 (a suitable decoder plugin is
// dav1d)"; some messages end in a line break of their own.
int refuseHeif(const PictureFile& picture, const heif_error& error) {
    char reason[300];
    std::snprintf(reason, sizeof reason, "%s", error.message);
    reason[std::strcspn(reason, "\n")] = '\0';
    return refuseDamaged(picture, reason);
}

const std::uint8_t* interleavedPlane(const heif_image* image, size_t* stride) {
#if LIBHEIF_HAVE_VERSION(1, 20, 0)
    return heif_image_get_plane_readonly2(image, heif_channel_interleaved, stride);
#else
    int rowBytes = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image, heif_channel_interleaved, &rowBytes);
    *stride = static_cast<size_t>(rowBytes);
    return plane;
#endif
}

// At the decoded size, which for a turned or cropped picture libheif 1.15
// may give otherwise than its handle; it has passed the size limit, so only
// the side limit is left to check.
int layOut(const PictureFile& picture, BitmapImage* image, const heif_image* decoded) {
    size_t stride = 0;
    const std::uint8_t* plane = interleavedPlane(decoded, &stride);
    const int decodedWidth = heif_image_get_width(decoded, heif_channel_interleaved);
    const int decodedHeight = heif_image_get_height(decoded, heif_channel_interleaved);
    if (plane == nullptr || decodedWidth <= 0 || decodedHeight <= 0 ||
        stride < size_t{static_cast<std::uint32_t>(decodedWidth)} * 3) {
        return refuseDamaged(picture, "no decoded picture");
    }
    const auto width = static_cast<std::uint32_t>(decodedWidth);
    const auto height = static_cast<std::uint32_t>(decodedHeight);
    if (!acceptClaimedSize(picture, width, height, 0)) {
        return 0;
    }
    RowLayout layout;
    if (!startLayout(picture, layout, image, width, height, reductionTarget(picture), 1)) {
        return 0;
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        addRow(layout, plane + stride * y);
    }
    endLayout(layout);
    return 1;
}

} // namespace

int loadHeif(const PictureFile& picture, BitmapImage* image) {
    startLibheif();
    const bool avif = isAvif(picture);
    const heif_reader reader = fileReader();
    PictureFile source = picture; // libheif hands its reader a pointer to change
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* decoded = nullptr;
    heif_decoding_options* options = heif_decoding_options_alloc();
    int result = 0;
    heif_error error = context == nullptr || options == nullptr
                           ? heif_error{heif_error_Memory_allocation_error,
                                        heif_suberror_Unspecified, "out of memory"}
                           : heif_context_read_from_reader(context, &reader, &source, nullptr);
    if (error.code == heif_error_Ok) {
        error = heif_context_get_primary_image_handle(context, &handle);
    }
    if (error.code != heif_error_Ok) {
        refuseHeif(picture, error);
    } else {
        // The size as shown, after rotation and crop.
        const int width = heif_image_handle_get_width(handle);
        const int height = heif_image_handle_get_height(handle);
        // HEVC codes an intra picture in blocks of at most 64 x 64 pixels,
        // each with at least one bit for its prediction; AV1's adaptive
        // coding can spend less, so only the container counts there.
        //
        // A grid states its size twice, in its picture's ispe box and in its
        // own data, and libheif takes memory by the latter, as it does for a
        // coded picture by its stream. Its limit holds both sides to one
        // number, the longest side declared plus the codec's blocks, so the
        // area it lets through is bounded by the file's size too.
        const int limit =
            std::max({heif_image_handle_get_ispe_width(handle),
                      heif_image_handle_get_ispe_height(handle), width, height, codedMargin}) +
            (avif ? av1Block : hevcBlock);
        const double square = double(limit) * limit;
        const double leastBytes =
            std::max(avif ? 0 : double((width + 63) / 64) * ((height + 63) / 64) / 8,
                     square > squareNeedingData ? square / pixelsPerByte : 0);
        if (width <= 0 || height <= 0) {
            refuseDamaged(picture, "no picture size");
        } else if (acceptClaimedSize(picture, static_cast<std::uint32_t>(width),
                                     static_cast<std::uint32_t>(height), leastBytes)) {
            options->convert_hdr_to_8bit = 1;
            heif_context_set_maximum_image_size_limit(context, limit);
            // The AV1 and HEVC decoders log a damaged stream themselves.
            const int standardError = silenceStandardError();
            error = heif_decode_image(handle, &decoded, heif_colorspace_RGB,
                                      heif_chroma_interleaved_RGB, options);
            restoreStandardError(standardError);
            result = error.code != heif_error_Ok ? refuseHeif(picture, error)
                                                 : layOut(picture, image, decoded);
        }
    }
    heif_image_release(decoded);
    heif_image_handle_release(handle);
    heif_decoding_options_free(options);
    heif_context_free(context);
    return result;
}
