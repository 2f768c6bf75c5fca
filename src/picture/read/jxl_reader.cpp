// JPEG XL through the system's libjxl, a bare codestream or in its
// container: lossless or lossy, grey or colour, samples of any depth or
// float as libjxl brings them to 8 bits (clamped), alpha dropped with the
// colours unpremultiplied, an animation's first frame, the codestream's
// orientation applied by the row layout. The file is fed to libjxl in
// chunks, and its rows go to the row layout as they come, so a reduced
// picture is never held at full size. libjxl 0.7 hands out 8-bit pieces
// only after converting the whole frame, held as floats (12 bytes a
// pixel); float pieces come straight from its rendering, so they are
// taken as floats and brought to 8 bits here, rounded as libjxl rounds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>
#include <mutex>

#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

namespace {

// What libjxl decodes comes in pieces of rows, a group of pixels wide, in
// any order when threads decode it: a ring of rows from the layout's next
// one on, each handed on once complete, in order. It starts 256 rows tall, a group of pixels, and
// grows only for a piece beyond it.
struct Band {
    RowLayout layout;
    std::uint32_t next = 0;     // the first row not yet handed on
    std::uint32_t capacity = 0; // rows held
    unsigned char* rows = nullptr;
    std::uint32_t* filled = nullptr; // pixels in each held row
    bool failed = false;             // a piece out of place or no memory
    std::mutex lock;
};

constexpr std::uint32_t firstBandRows = 256;

bool growBand(Band& band, std::uint32_t capacity) {
    const size_t rowBytes = size_t{band.layout.width} * 3;
    auto* rows = static_cast<unsigned char*>(std::malloc(rowBytes * capacity));
    auto* filled = static_cast<std::uint32_t*>(std::calloc(capacity, sizeof(std::uint32_t)));
    if (rows == nullptr || filled == nullptr) {
        std::free(rows);
        std::free(filled);
        return false;
    }
    for (std::uint32_t y = band.next; y < band.next + band.capacity; ++y) {
        std::memcpy(rows + rowBytes * (y % capacity), band.rows + rowBytes * (y % band.capacity),
                    rowBytes);
        filled[y % capacity] = band.filled[y % band.capacity];
    }
    std::free(band.rows);
    std::free(band.filled);
    band.rows = rows;
    band.filled = filled;
    band.capacity = capacity;
    return true;
}

// Clamped to 0 .. 1 (NaN to 0) and rounded to the nearest level, ties to
// even: adding 1.5 x 2^23 leaves no fraction to a float of that size, whose
// lowest mantissa bits are then the level. No branch, no conversion.
unsigned char toByte(float value) {
    const float clamped = std::min(1.0f, std::max(0.0f, value));
    const float shifted = clamped * 255.0f + 0x1.8p23f;
    std::uint32_t bits;
    std::memcpy(&bits, &shifted, 4);
    return static_cast<unsigned char>(bits);
}

void takePiece(void* opaque, size_t x, size_t y, size_t pixels, const void* piece) {
    Band& band = *static_cast<Band*>(opaque);
    const std::lock_guard<std::mutex> held(band.lock);
    const std::uint32_t width = band.layout.width, height = band.layout.height;
    if (band.failed || y < band.next || y >= height || x > width || pixels > width - x) {
        band.failed = true;
        return;
    }
    if (y >= band.next + band.capacity) {
        std::uint32_t capacity = band.capacity;
        while (y >= band.next + capacity) {
            capacity = capacity * 2 < height ? capacity * 2 : height;
        }
        if (!growBand(band, capacity)) {
            band.failed = true;
            return;
        }
    }
    const size_t rowBytes = size_t{width} * 3;
    const std::uint32_t slot = static_cast<std::uint32_t>(y % band.capacity);
    const auto* samples = static_cast<const float*>(piece);
    unsigned char* out = band.rows + rowBytes * slot + x * 3;
    for (size_t i = 0; i < pixels * 3; ++i) {
        out[i] = toByte(samples[i]);
    }
    band.filled[slot] += static_cast<std::uint32_t>(pixels);
    while (band.next < height && band.filled[band.next % band.capacity] >= width) {
        const std::uint32_t at = band.next % band.capacity;
        addRow(band.layout, band.rows + rowBytes * at);
        band.filled[at] = 0;
        ++band.next;
    }
}

// A file must back the memory its claim takes: libjxl 0.7 holds some 2.5
// bytes a pixel of a lossy frame while it decodes (far less of a lossless
// one), and the band up to a group's rows. Beyond the first 16 MiB, each
// byte of the file may take at most 250, so that a file under 1 MiB stays
// under 300 MiB. That is 0.01 bytes a pixel: 12 MP of photo-like noise
// takes 0.053 at libjxl's default distance of 1 and 0.014 at 4, real
// photographs more. A picture of large flat areas may need less and is
// refused.
constexpr double decoderBytesPerPixel = 2.5, memoryPerFileByte = 250, unbackedMemory = 16 << 20;

double leastFileBytes(std::uint32_t width, std::uint32_t height) {
    const double memory = double(width) * height * decoderBytesPerPixel +
                          double(width) * 3 * std::min(height, firstBandRows);
    return std::max(memory - unbackedMemory, 0.0) / memoryPerFileByte;
}

struct Input {
    const PictureFile& picture;
    unsigned char* bytes = nullptr;
    size_t held = 0, capacity = 0;
    std::int64_t left = 0; // in the file, not yet read
};

// Keeps what libjxl has not used, grows the buffer only when it used none
// of it, never beyond what the file has left, and adds the file's next
// bytes. Returns why it cannot, or null.
const char* feed(JxlDecoder* decoder, Input& in) {
    const size_t unused = JxlDecoderReleaseInput(decoder);
    if (in.left <= 0) {
        return "not enough data";
    }
    std::memmove(in.bytes, in.bytes + in.held - unused, unused);
    in.held = unused;
    if (in.held == in.capacity) {
        const size_t capacity =
            in.held + static_cast<size_t>(std::min<std::int64_t>(in.left, std::int64_t(in.held)));
        auto* grown = static_cast<unsigned char*>(std::realloc(in.bytes, capacity));
        if (grown == nullptr) {
            return "out of memory";
        }
        in.bytes = grown;
        in.capacity = capacity;
    }
    const size_t wanted =
        static_cast<size_t>(std::min<std::int64_t>(in.left, std::int64_t(in.capacity - in.held)));
    const size_t read = std::fread(in.bytes + in.held, 1, wanted, in.picture.file);
    in.held += read;
    in.left = read == wanted ? in.left - std::int64_t(read) : 0;
    if (read == 0 || JxlDecoderSetInput(decoder, in.bytes, in.held) != JXL_DEC_SUCCESS) {
        return "not enough data";
    }
    // The input is never closed: libjxl then asks for more of a file cut
    // short rather than failing with the rest.
    return nullptr;
}

// After the basic information: the checks, the layout and the band.
bool startBand(const PictureFile& picture, BitmapImage* image, const JxlBasicInfo& info,
               Band& band) {
    image->lossy = image->lossy || !info.uses_original_profile; // XYB
    if (!acceptClaimedSize(picture, info.xsize, info.ysize,
                           leastFileBytes(info.xsize, info.ysize))) {
        return false;
    }
    if (!startLayout(picture, band.layout, image, info.xsize, info.ysize, reductionTarget(picture),
                     static_cast<int>(info.orientation))) {
        return false;
    }
    if (!growBand(band, info.ysize < firstBandRows ? info.ysize : firstBandRows)) {
        return refuseForLackOfMemory(picture);
    }
    return true;
}

int decode(const PictureFile& picture, BitmapImage* image, JxlDecoder* decoder, Input& in,
           Band& band, void* runner) {
    // RGB from any file, libjxl converting grey.
    const JxlPixelFormat format = {3, JXL_TYPE_FLOAT, JXL_NATIVE_ENDIAN, 0};
    JxlBasicInfo info;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder)) {
        case JXL_DEC_NEED_MORE_INPUT:
            if (const char* reason = feed(decoder, in)) {
                return refuseDamaged(picture, reason);
            }
            break;
        case JXL_DEC_BASIC_INFO:
            if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS) {
                return refuseDamaged(picture, "damaged");
            }
            if (!startBand(picture, image, info, band)) {
                return 0;
            }
            if (runner != nullptr) {
                JxlResizableParallelRunnerSetThreads(
                    runner, JxlResizableParallelRunnerSuggestThreads(info.xsize, info.ysize));
            }
            break;
        case JXL_DEC_JPEG_RECONSTRUCTION: // a JPEG recompressed: its pixels are the JPEG's
            image->lossy = true;
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER:
            if (JxlDecoderSetImageOutCallback(decoder, &format, takePiece, &band) !=
                JXL_DEC_SUCCESS) {
                return refuseDamaged(picture, "damaged");
            }
            break;
        case JXL_DEC_FULL_IMAGE: // the first frame is all it shows
            return band.failed || band.next != band.layout.height
                       ? refuseDamaged(picture, "pixels out of place")
                       : 1;
        case JXL_DEC_SUCCESS:
            return refuseDamaged(picture, "no picture");
        default:
            return refuseDamaged(picture, "damaged");
        }
    }
}

} // namespace

int loadJxl(const PictureFile& picture, BitmapImage* image) {
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    void* runner = JxlResizableParallelRunnerCreate(nullptr);
    Input in{picture};
    in.capacity = static_cast<size_t>(std::min<std::int64_t>(picture.size, 1 << 16));
    in.bytes = static_cast<unsigned char*>(std::malloc(in.capacity > 0 ? in.capacity : 1));
    in.left = picture.size;
    Band band;
    const bool ready =
        decoder != nullptr && runner != nullptr && in.bytes != nullptr &&
        JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_JPEG_RECONSTRUCTION |
                                               JXL_DEC_FULL_IMAGE) == JXL_DEC_SUCCESS &&
        JxlDecoderSetKeepOrientation(decoder, JXL_TRUE) == JXL_DEC_SUCCESS &&
        JxlDecoderSetUnpremultiplyAlpha(decoder, JXL_TRUE) == JXL_DEC_SUCCESS &&
        JxlDecoderSetParallelRunner(decoder, JxlResizableParallelRunner, runner) == JXL_DEC_SUCCESS;
    image->lossy = false;
    // NEED_MORE_INPUT on the first call reads the first chunk. libjxl
    // reports damaged data on the standard error stream.
    const int standardError = silenceStandardError();
    const int result =
        ready ? decode(picture, image, decoder, in, band, runner) : refuseForLackOfMemory(picture);
    restoreStandardError(standardError);
    endLayout(band.layout);
    std::free(band.rows);
    std::free(band.filled);
    std::free(in.bytes);
    JxlResizableParallelRunnerDestroy(runner);
    JxlDecoderDestroy(decoder);
    return result;
}
