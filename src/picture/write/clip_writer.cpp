#include "picture/write/clip_writer.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <strings.h>
#include <webp/encode.h>
#include <webp/mux.h>

static_assert(largestWebpSide == WEBP_MAX_DIMENSION);

namespace {

WebPAnimEncoder* encoderOf(const ClipOutput& output) {
    return static_cast<WebPAnimEncoder*>(output.webpEncoder);
}

// What the version checks of libwebp's Init calls mean when they fail.
const char* const otherLibwebp = "this libwebp is not the one the program was built with";

bool fail(ClipOutput& output, const std::string& path, const std::string& error) {
    output.failedPath = path;
    output.error = error;
    return false;
}

// Whole milliseconds from the clip's start, rounded on their own, so that
// rounding does not add up over a long clip.
int startOfFrame(const ClipSettings& settings, int frame) {
    return static_cast<int>(std::lround(frame * 1000.0 / settings.framesPerSecond));
}

bool startWebp(ClipOutput& output, const std::string& name) {
    if (!openOutputFile(output.file, name, output.stream)) {
        return fail(output, name, output.file.error);
    }
    WebPAnimEncoderOptions options;
    if (WebPAnimEncoderOptionsInit(&options) == 0) {
        return fail(output, name, otherLibwebp);
    }
    options.anim_params.loop_count = 0; // forever
    // A lossy frame built on the one before keeps what differs from it by
    // less than the encoder's threshold: faint copies of the logo's earlier
    // places on the flat background. Every frame a key frame has none, and
    // on these views costs no size, as the background compresses to little.
    if (output.settings.quality >= 0) {
        options.kmax = 1;
    }
    output.webpEncoder =
        WebPAnimEncoderNew(output.settings.width, output.settings.height, &options);
    if (output.webpEncoder == nullptr) {
        return fail(output, name, std::strerror(ENOMEM));
    }
    return true;
}

bool addWebpFrame(ClipOutput& output, const unsigned char* pixels) {
    const ClipSettings& settings = output.settings;
    WebPConfig config;
    WebPPicture picture;
    if (WebPConfigInit(&config) == 0 || WebPPictureInit(&picture) == 0) {
        return fail(output, output.file.path, otherLibwebp);
    }
    config.lossless = settings.quality < 0;
    config.quality = settings.quality < 0 ? config.quality : static_cast<float>(settings.quality);
    picture.use_argb = 1; // what the animation encoder works on
    picture.width = settings.width;
    picture.height = settings.height;
    const int stride = settings.width * (settings.alpha ? 4 : 3);
    const bool added = (settings.alpha ? WebPPictureImportRGBA(&picture, pixels, stride)
                                       : WebPPictureImportRGB(&picture, pixels, stride)) != 0 &&
                       WebPAnimEncoderAdd(encoderOf(output), &picture,
                                          startOfFrame(settings, output.written), &config) != 0;
    WebPPictureFree(&picture);
    if (!added) {
        return fail(output, output.file.path, WebPAnimEncoderGetError(encoderOf(output)));
    }
    return true;
}

bool addPngFrame(ClipOutput& output, const unsigned char* pixels, const PngText& text) {
    const ClipSettings& settings = output.settings;
    const std::string path = output.format == ClipFormat::pngStream
                                 ? "-"
                                 : frameFileName(output.pattern, output.written);
    PngOutput png;
    const bool written =
        startPng(png, path, output.stream, settings.width, settings.height, settings.alpha, text) &&
        writePngRows(png, pixels, settings.height) && completePng(png) && placePng(png);
    const std::string error = png.error;
    discardPng(png);
    if (!written) {
        return fail(output, path, error);
    }
    return true;
}

} // namespace

const char* readFrameNamePattern(const std::string& name, FrameNamePattern& pattern) {
    pattern = {};
    std::string* part = &pattern.before;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            *part += name[i];
            continue;
        }
        if (name.compare(i, 2, "%%") == 0) {
            *part += '%';
            ++i;
            continue;
        }
        // %d, or %0Wd with W from 1 to 9; nothing else, and only once.
        size_t end = i + 1;
        int digits = 1;
        if (name.size() > i + 3 && name[i + 1] == '0' && name[i + 2] >= '1' && name[i + 2] <= '9') {
            digits = name[i + 2] - '0';
            end = i + 3;
        }
        if (end >= name.size() || name[end] != 'd' || pattern.digits != 0) {
            return "is not a name with one %d or %0Wd (W from 1 to 9), %% for a % sign";
        }
        pattern.digits = digits;
        part = &pattern.after;
        i = end;
    }
    return nullptr;
}

std::string frameFileName(const FrameNamePattern& pattern, int number) {
    std::string digits = std::to_string(number);
    if (static_cast<int>(digits.size()) < pattern.digits) {
        digits.insert(0, static_cast<size_t>(pattern.digits) - digits.size(), '0');
    }
    return pattern.before + (pattern.digits > 0 ? digits : "") + pattern.after;
}

bool isWebpName(const std::string& name) {
    return name.size() > 5 && strcasecmp(name.c_str() + name.size() - 5, ".webp") == 0;
}

bool isGifName(const std::string& name) {
    return name == "gif:-" ||
           (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".gif") == 0);
}

bool startClip(ClipOutput& output, const std::string& name, int stream,
               const ClipSettings& settings) {
    output.settings = settings;
    output.stream = stream;
    if (isGifName(name)) {
        output.format = ClipFormat::gif;
        output.passes = gifClipPasses;
        const std::string path = name == "gif:-" ? "-" : name;
        if (!openOutputFile(output.file, path, stream)) {
            return fail(output, name, output.file.error);
        }
        std::string error;
        output.gif = startGifClip(output.file.file, settings.width, settings.height,
                                  settings.frames, settings.framesPerSecond, error);
        return output.gif != nullptr || fail(output, name, error);
    }
    if (name == "-") {
        output.format = ClipFormat::pngStream;
        return true;
    }
    if (isWebpName(name)) {
        output.format = ClipFormat::webp;
        return startWebp(output, name);
    }
    output.format = ClipFormat::numberedPng;
    const char* problem = readFrameNamePattern(name, output.pattern);
    if (problem != nullptr) {
        return fail(output, name, std::string("it ") + problem);
    }
    return true;
}

bool addClipFrame(ClipOutput& output, const unsigned char* pixels, const PngText& text) {
    std::string error;
    const bool added = output.format == ClipFormat::gif ? addGifFrame(*output.gif, pixels, error) ||
                                                              fail(output, output.file.path, error)
                       : output.format == ClipFormat::webp ? addWebpFrame(output, pixels)
                                                           : addPngFrame(output, pixels, text);
    output.written += added;
    return added;
}

bool finishClip(ClipOutput& output) {
    OutputFile& file = output.file;
    if (output.format == ClipFormat::gif) {
        std::string error;
        if (!finishGifClip(*output.gif, error)) {
            return fail(output, file.path, error);
        }
        if (!closeOutputFile(file) || !placeOutputFile(file)) {
            return fail(output, file.path, file.error);
        }
        return true;
    }
    if (output.format != ClipFormat::webp) {
        return true;
    }
    WebPAnimEncoder* encoder = encoderOf(output);
    WebPData data;
    WebPDataInit(&data);
    // The last frame lasts until the clip's end.
    if (WebPAnimEncoderAdd(encoder, nullptr, startOfFrame(output.settings, output.written),
                           nullptr) == 0 ||
        WebPAnimEncoderAssemble(encoder, &data) == 0) {
        return fail(output, file.path, WebPAnimEncoderGetError(encoder));
    }
    const bool written = std::fwrite(data.bytes, 1, data.size, file.file) == data.size;
    const int error = errno;
    WebPDataClear(&data);
    if (!written) {
        return fail(output, file.path, std::strerror(error));
    }
    if (!closeOutputFile(file) || !placeOutputFile(file)) {
        return fail(output, file.path, file.error);
    }
    return true;
}

void discardClip(ClipOutput& output) {
    WebPAnimEncoderDelete(encoderOf(output));
    output.webpEncoder = nullptr;
    discardGifClip(output.gif);
    output.gif = nullptr;
    discardOutputFile(output.file);
}
