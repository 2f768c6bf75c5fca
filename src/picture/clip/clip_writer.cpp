#include "picture/clip/clip_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <strings.h>
#include <vector>
#include <webp/encode.h>
#include <webp/mux.h>

#include "picture/clip/video_clip.h"
#include "picture/program_modules.h"

static_assert(clipKinds[2].format == ClipFormat::webp &&
              clipKinds[2].largestSide == WEBP_MAX_DIMENSION);

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

bool startVideo(ClipOutput& output, const std::string& name, const ClipKind& kind) {
    const std::string path = kind.stream != nullptr && name == kind.stream ? "-" : name;
    if (!openOutputFile(output.file, path, output.stream)) {
        return fail(output, path, output.file.error);
    }
    if (output.settings.alpha) {
        return fail(output, path, std::string(kind.name) + " holds no alpha");
    }
    std::string error;
    const ClipSettings& settings = output.settings;
    const VideoClipWriter* writer = videoClipWriter(error);
    output.video = writer == nullptr ? nullptr
                                     : writer->start(kind, settings.width, settings.height,
                                                     settings.framesPerSecond, settings.quality,
                                                     output.file, error);
    if (output.video == nullptr) {
        return fail(output, path, error);
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

int crfOf(const ClipKind& kind, int quality) {
    // 90, the default, is the kind's own; the steps above it run to the
    // best CRF, those below to the worst.
    const int q = std::clamp(quality, 0, 100);
    const double crf = q >= 90
                           ? kind.defaultCrf + (q - 90) * (kind.bestCrf - kind.defaultCrf) / 10.0
                           : kind.defaultCrf + (90 - q) * (kind.worstCrf - kind.defaultCrf) / 90.0;
    return static_cast<int>(std::lround(crf));
}

const VideoClipWriter* videoClipWriter(std::string& error) {
    if (ovrikVideoClipWriter != nullptr) {
        return ovrikVideoClipWriter();
    }
    // Once for the process.
    static const VideoClipWriter* opened = nullptr;
    void* handle = opened != nullptr ? nullptr : openProgramModule("ovrik-video.so");
    const auto entry =
        handle != nullptr
            ? reinterpret_cast<const VideoClipWriter* (*)()>(dlsym(handle, "ovrikVideoClipWriter"))
            : nullptr;
    opened = entry != nullptr ? entry() : opened;
    if (opened == nullptr) {
        error = std::string("the video writer ovrik-video.so is missing (") + dlerror() + ")";
    }
    return opened;
}

const ClipKind& clipKindOf(std::string_view name) {
    for (const ClipKind& kind : clipKinds) {
        const size_t length = kind.ending != nullptr ? std::strlen(kind.ending) : 0;
        if ((kind.stream != nullptr && name == kind.stream) ||
            (length > 0 && name.size() > length &&
             strncasecmp(name.data() + name.size() - length, kind.ending, length) == 0)) {
            return kind;
        }
    }
    return clipKinds[0];
}

std::string clipNames(ClipColumn having) {
    std::vector<std::string> names;
    for (const bool streams : {false, true}) {
        for (const ClipKind& kind : clipKinds) {
            if (having != nullptr && !(kind.oneFile && kind.*having)) {
                continue;
            }
            if (!streams && kind.ending != nullptr) {
                names.push_back(std::string("NAME") + kind.ending);
            } else if (!streams && kind.stream == nullptr) {
                names.push_back("NAME-%03d.png");
            } else if (streams && kind.stream != nullptr && having == nullptr) {
                names.push_back(kind.stream);
            }
        }
    }
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 < names.size() ? ", " : " or ") + names[i];
    }
    return text;
}

namespace {

bool startGif(ClipOutput& output, const std::string& name, const ClipKind& kind) {
    const std::string path = name == kind.stream ? "-" : name;
    if (!openOutputFile(output.file, path, output.stream)) {
        return fail(output, path, output.file.error);
    }
    const ClipSettings& settings = output.settings;
    std::string error;
    output.gif = startGifClip(output.file.file, settings.width, settings.height, settings.frames,
                              settings.framesPerSecond, error);
    if (output.gif == nullptr) {
        return fail(output, path, error);
    }
    return true;
}

} // namespace

bool startClip(ClipOutput& output, const std::string& name, int stream,
               const ClipSettings& settings) {
    const ClipKind& kind = clipKindOf(name);
    output.settings = settings;
    output.stream = stream;
    output.format = kind.format;
    output.passes = kind.passes;
    if (kind.format == ClipFormat::gif) {
        return startGif(output, name, kind);
    }
    if (kind.format == ClipFormat::webp) {
        return startWebp(output, name);
    }
    if (kind.encoder != nullptr) {
        return startVideo(output, name, kind);
    }
    if (kind.format == ClipFormat::numberedPng) {
        if (const char* problem = readFrameNamePattern(name, output.pattern)) {
            return fail(output, name, std::string("it ") + problem);
        }
    }
    return true;
}

bool addClipFrame(ClipOutput& output, const unsigned char* pixels, const PngText& text) {
    std::string error;
    const bool added =
        output.gif != nullptr
            ? addGifFrame(*output.gif, pixels, error) || fail(output, output.file.path, error)
        : output.video != nullptr ? videoClipWriter(error)->add(*output.video, pixels, error) ||
                                        fail(output, output.file.path, error)
        : output.format == ClipFormat::webp ? addWebpFrame(output, pixels)
                                            : addPngFrame(output, pixels, text);
    output.written += added;
    return added;
}

namespace {

bool assembleWebp(ClipOutput& output) {
    WebPAnimEncoder* encoder = encoderOf(output);
    WebPData data;
    WebPDataInit(&data);
    // The last frame lasts until the clip's end.
    if (WebPAnimEncoderAdd(encoder, nullptr, startOfFrame(output.settings, output.written),
                           nullptr) == 0 ||
        WebPAnimEncoderAssemble(encoder, &data) == 0) {
        return fail(output, output.file.path, WebPAnimEncoderGetError(encoder));
    }
    const bool written = std::fwrite(data.bytes, 1, data.size, output.file.file) == data.size;
    const int error = errno;
    WebPDataClear(&data);
    if (!written) {
        return fail(output, output.file.path, std::strerror(error));
    }
    return true;
}

} // namespace

bool finishClip(ClipOutput& output) {
    if (output.format == ClipFormat::numberedPng || output.format == ClipFormat::pngStream) {
        return true;
    }
    OutputFile& file = output.file;
    std::string error;
    const bool complete =
        output.gif != nullptr ? finishGifClip(*output.gif, error) || fail(output, file.path, error)
        : output.video != nullptr
            ? videoClipWriter(error)->finish(*output.video, error) || fail(output, file.path, error)
            : assembleWebp(output);
    if (!complete) {
        return false;
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
    if (output.video != nullptr) {
        std::string error;
        videoClipWriter(error)->end(output.video);
        output.video = nullptr;
    }
    discardOutputFile(output.file);
}
