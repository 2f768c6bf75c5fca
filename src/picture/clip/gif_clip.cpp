#include "picture/clip/gif_clip.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <gif_lib.h>
#include <libimagequant.h>
#include <vector>

// The quantiser's settings, chosen against ffmpeg's palettegen and
// paletteuse on the program's own clips (scripts/gif-quality.sh): fewer
// colours shrink the marble's noise more than they cost; one index is left
// for what is unchanged.
namespace {
constexpr int quantiserSpeed = 4;
constexpr float ditheringLevel = 1.0f;
constexpr int mostColours = 210; // and one index for what is unchanged
} // namespace

struct GifClip {
    std::FILE* file = nullptr; // nullptr once discarded: nothing more is written
    int width = 0, height = 0, frames = 0;
    double framesPerSecond = 30;
    int handed = 0; // frames handed over, over both passes
    liq_attr* settings = nullptr;
    liq_histogram* histogram = nullptr; // the first pass's colours
    liq_result* palette = nullptr;      // the clip's colours, held fixed
    int transparent = 0;                // the index after them
    GifFileType* gif = nullptr;
    int writeError = 0;                   // errno of the write that failed
    std::vector<GifByteType> shown, next; // indices on the screen, and of the frame coming
    std::vector<GifByteType> row;
    std::vector<liq_color> rgba; // the frame as the quantiser reads it
};

namespace {

const char* quantiserError(liq_error error) {
    return error == LIQ_OUT_OF_MEMORY ? std::strerror(ENOMEM) : "libimagequant failed";
}

bool failed(GifClip& clip, std::string& error) {
    error = clip.writeError != 0  ? std::strerror(clip.writeError)
            : clip.gif != nullptr ? GifErrorString(clip.gif->Error)
                                  : "giflib failed";
    return false;
}

int writeGif(GifFileType* gif, const GifByteType* bytes, int length) {
    GifClip& clip = *static_cast<GifClip*>(gif->UserData);
    if (clip.file == nullptr) {
        return length;
    }
    if (std::fwrite(bytes, 1, static_cast<size_t>(length), clip.file) !=
        static_cast<size_t>(length)) {
        clip.writeError = errno;
        return 0;
    }
    return length;
}

// Hundredths of a second from the clip's start, each rounded on its own.
int startOfFrame(const GifClip& clip, int frame) {
    return static_cast<int>(std::lround(frame * 100.0 / clip.framesPerSecond));
}

// The palette from the first pass's histogram. Remapping refines a result's
// colours to each picture; a second result whose colours are all fixed keeps
// them, so that every frame's indices mean the same colours.
liq_error choosePalette(GifClip& clip) {
    liq_result* chosen = nullptr;
    liq_error error = liq_histogram_quantize(clip.histogram, clip.settings, &chosen);
    liq_histogram* fixed = error == LIQ_OK ? liq_histogram_create(clip.settings) : nullptr;
    if (fixed != nullptr) {
        // A histogram of fixed colours alone is refused: each is also seen once.
        const liq_palette& colours = *liq_get_palette(chosen);
        liq_histogram_entry seen[256];
        for (unsigned i = 0; i < colours.count && error == LIQ_OK; ++i) {
            seen[i] = {colours.entries[i], 1};
            error = liq_histogram_add_fixed_color(fixed, colours.entries[i], 0);
        }
        error = error == LIQ_OK ? liq_histogram_add_colors(fixed, clip.settings, seen,
                                                           static_cast<int>(colours.count), 0)
                                : error;
        error =
            error == LIQ_OK ? liq_histogram_quantize(fixed, clip.settings, &clip.palette) : error;
        liq_histogram_destroy(fixed);
    } else if (error == LIQ_OK) {
        error = LIQ_OUT_OF_MEMORY;
    }
    if (chosen != nullptr) {
        liq_result_destroy(chosen);
    }
    return error == LIQ_OK ? liq_set_dithering_level(clip.palette, ditheringLevel) : error;
}

// The screen with the palette as its colour table, and the loop.
bool startFile(GifClip& clip, std::string& error) {
    const liq_palette& colours = *liq_get_palette(clip.palette);
    if (colours.count > mostColours) { // one index must stay free
        error = "libimagequant gave more colours than asked for";
        return false;
    }
    clip.transparent = static_cast<int>(colours.count);
    ColorMapObject map = {};
    map.BitsPerPixel = 1;
    while ((1 << map.BitsPerPixel) < clip.transparent + 1) {
        ++map.BitsPerPixel;
    }
    map.ColorCount = 1 << map.BitsPerPixel;
    std::vector<GifColorType> table(static_cast<size_t>(map.ColorCount), GifColorType{0, 0, 0});
    for (unsigned i = 0; i < colours.count; ++i) {
        table[i] = {colours.entries[i].r, colours.entries[i].g, colours.entries[i].b};
    }
    map.Colors = table.data();
    int code = 0;
    clip.gif = EGifOpen(&clip, writeGif, &code);
    if (clip.gif == nullptr) {
        error = GifErrorString(code);
        return false;
    }
    EGifSetGifVersion(clip.gif, true);
    // NETSCAPE2.0 with a loop count of 0: forever.
    static const GifByteType loop[] = {1, 0, 0};
    if (EGifPutScreenDesc(clip.gif, clip.width, clip.height, 8, 0, &map) == GIF_ERROR ||
        (clip.frames > 1 &&
         (EGifPutExtensionLeader(clip.gif, APPLICATION_EXT_FUNC_CODE) == GIF_ERROR ||
          EGifPutExtensionBlock(clip.gif, 11, "NETSCAPE2.0") == GIF_ERROR ||
          EGifPutExtensionBlock(clip.gif, sizeof loop, loop) == GIF_ERROR ||
          EGifPutExtensionTrailer(clip.gif) == GIF_ERROR))) {
        return failed(clip, error);
    }
    return true;
}

// The rectangle where `next` differs from what is shown; all of the first
// frame. Empty (right < left) when nothing changed.
struct Rectangle {
    int left, top, right, bottom; // inclusive
};

Rectangle changedRectangle(const GifClip& clip, int frame) {
    if (frame == 0) {
        return {0, 0, clip.width - 1, clip.height - 1};
    }
    Rectangle changed = {clip.width, clip.height, -1, -1};
    for (int y = 0; y < clip.height; ++y) {
        const size_t start = static_cast<size_t>(y) * static_cast<size_t>(clip.width);
        for (int x = 0; x < clip.width; ++x) {
            if (clip.next[start + x] != clip.shown[start + x]) {
                changed = {std::min(changed.left, x), std::min(changed.top, y),
                           std::max(changed.right, x), std::max(changed.bottom, y)};
            }
        }
    }
    return changed;
}

bool writeFrame(GifClip& clip, int frame, std::string& error) {
    Rectangle changed = changedRectangle(clip, frame);
    if (changed.right < changed.left) {
        changed = {0, 0, 0, 0}; // a frame needs a pixel: one left as it was
    }
    GraphicsControlBlock control = {};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = startOfFrame(clip, frame + 1) - startOfFrame(clip, frame);
    control.TransparentColor = frame == 0 ? NO_TRANSPARENT_COLOR : clip.transparent;
    GifByteType extension[4];
    const int width = changed.right - changed.left + 1;
    if ((clip.frames > 1 &&
         EGifPutExtension(clip.gif, GRAPHICS_EXT_FUNC_CODE,
                          static_cast<int>(EGifGCBToExtension(&control, extension)),
                          extension) == GIF_ERROR) ||
        EGifPutImageDesc(clip.gif, changed.left, changed.top, width,
                         changed.bottom - changed.top + 1, false, nullptr) == GIF_ERROR) {
        return failed(clip, error);
    }
    clip.row.resize(static_cast<size_t>(width));
    for (int y = changed.top; y <= changed.bottom; ++y) {
        const size_t start = static_cast<size_t>(y) * static_cast<size_t>(clip.width);
        for (int x = changed.left; x <= changed.right; ++x) {
            const GifByteType index = clip.next[start + x];
            clip.row[x - changed.left] =
                frame > 0 && index == clip.shown[start + x] ? clip.transparent : index;
        }
        if (EGifPutLine(clip.gif, clip.row.data(), width) == GIF_ERROR) {
            return failed(clip, error);
        }
    }
    std::swap(clip.shown, clip.next);
    return true;
}

} // namespace

GifClip* startGifClip(std::FILE* file, int width, int height, int frames, double framesPerSecond,
                      std::string& error) {
    if (width < 1 || height < 1 || width > 65535 || height > 65535) {
        error = "a GIF is at most 65535 pixels a side";
        return nullptr;
    }
    GifClip* clip = new GifClip;
    clip->file = file;
    clip->width = width;
    clip->height = height;
    clip->frames = frames;
    clip->framesPerSecond = framesPerSecond;
    clip->settings = liq_attr_create();
    clip->histogram = clip->settings != nullptr ? liq_histogram_create(clip->settings) : nullptr;
    if (clip->histogram == nullptr || liq_set_max_colors(clip->settings, mostColours) != LIQ_OK ||
        liq_set_speed(clip->settings, quantiserSpeed) != LIQ_OK) {
        error = std::strerror(ENOMEM);
        discardGifClip(clip);
        return nullptr;
    }
    return clip;
}

bool addGifFrame(GifClip& clip, const unsigned char* pixels, std::string& error) {
    const int frame = clip.handed % clip.frames;
    const bool choosing = clip.handed < clip.frames;
    const size_t pixelCount = static_cast<size_t>(clip.width) * static_cast<size_t>(clip.height);
    clip.rgba.resize(pixelCount);
    for (size_t i = 0; i < pixelCount; ++i) {
        clip.rgba[i] = {pixels[3 * i], pixels[3 * i + 1], pixels[3 * i + 2], 255};
    }
    liq_image* image =
        liq_image_create_rgba(clip.settings, clip.rgba.data(), clip.width, clip.height, 0);
    liq_error result = image == nullptr ? LIQ_OUT_OF_MEMORY : LIQ_OK;
    if (result == LIQ_OK && choosing) {
        result = liq_histogram_add_image(clip.histogram, clip.settings, image);
    } else if (result == LIQ_OK) {
        if (clip.palette == nullptr) {
            result = choosePalette(clip);
            clip.shown.resize(pixelCount);
            clip.next.resize(pixelCount);
        }
        result = result == LIQ_OK ? liq_write_remapped_image(clip.palette, image, clip.next.data(),
                                                             clip.next.size())
                                  : result;
    }
    if (image != nullptr) {
        liq_image_destroy(image);
    }
    if (result != LIQ_OK) {
        error = quantiserError(result);
        return false;
    }
    ++clip.handed;
    if (choosing) {
        return true;
    }
    return (clip.gif != nullptr || startFile(clip, error)) && writeFrame(clip, frame, error);
}

bool finishGifClip(GifClip& clip, std::string& error) {
    int code = 0;
    GifFileType* gif = clip.gif;
    clip.gif = nullptr;
    if (gif == nullptr) {
        error = "the GIF has no frames";
        return false;
    }
    if (EGifCloseFile(gif, &code) == GIF_ERROR) {
        error = clip.writeError != 0 ? std::strerror(clip.writeError) : GifErrorString(code);
        return false;
    }
    return true;
}

void discardGifClip(GifClip* clip) {
    if (clip == nullptr) {
        return;
    }
    clip->file = nullptr;
    if (clip->gif != nullptr) {
        int code = 0;
        EGifCloseFile(clip->gif, &code);
    }
    if (clip->palette != nullptr) {
        liq_result_destroy(clip->palette);
    }
    if (clip->histogram != nullptr) {
        liq_histogram_destroy(clip->histogram);
    }
    if (clip->settings != nullptr) {
        liq_attr_destroy(clip->settings);
    }
    delete clip;
}
