#include "app/options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <strings.h>
#include <type_traits>

#include "picture/clip/clip_writer.h"

namespace {

// Reads exactly `count` numbers separated by `separator`, nothing else.
bool readNumbers(const char* text, char separator, double* values, int count) {
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        if (*text == '\0' || std::isspace(static_cast<unsigned char>(*text))) {
            return false;
        }
        values[i] = std::strtod(text, &end);
        if (end == text || !std::isfinite(values[i]) ||
            *end != (i + 1 < count ? separator : '\0')) {
            return false;
        }
        text = end + 1;
    }
    return true;
}

bool isWhole(double value, double low, double high) {
    return value == std::floor(value) && value >= low && value <= high;
}

// The shortest decimal of at least 6 digits that reads back as the same
// float or double.
template <typename Number> std::string shortest(Number value) {
    char text[32];
    for (int digits = 6; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if constexpr (std::is_same_v<Number, float>) {
            if (std::strtof(text, nullptr) == value) {
                break;
            }
        } else if (std::strtod(text, nullptr) == value) {
            break;
        }
    }
    return text;
}

// Beyond a 32-bit whole number the keys' arithmetic has no meaning.
bool readAngles(const char* value, double* angles) {
    return readNumbers(value, ',', angles, 3) &&
           std::all_of(angles, angles + 3, [](double a) { return std::fabs(a) < 2147483648.0; });
}

const char* setTurn(ViewOptions& options, const char* value) {
    double angles[3];
    if (!readAngles(value, angles)) {
        return "is not three angles X,Y,Z in degrees";
    }
    options.view.angleX = stepAngle(angles[0], 0);
    options.view.angleY = stepAngle(angles[1], 0);
    options.view.angleZ = stepAngle(angles[2], 0);
    return nullptr;
}

const char* setColour(ViewOptions& options, const char* value) {
    double colour[3];
    if (!readNumbers(value, ',', colour, 3) ||
        !std::all_of(colour, colour + 3, [](double c) { return c >= 0 && c <= 1; })) {
        return "is not three values R,G,B from 0 to 1";
    }
    for (int i = 0; i < 3; ++i) {
        options.view.logoColor[i] = static_cast<float>(colour[i]);
    }
    return nullptr;
}

const char* setLight(ViewOptions& options, const char* value) {
    double place[2];
    // Finite also once narrowed to the float the light is drawn with.
    if (!readNumbers(value, ',', place, 2) || std::fabs(place[0]) > 3.4e38 ||
        std::fabs(place[1]) > 3.4e38) {
        return "is not two finite numbers X,Y";
    }
    options.light = LightPlacement{static_cast<float>(place[0]), static_cast<float>(place[1])};
    return nullptr;
}

const char* setSize(ViewOptions& options, const char* value) {
    double size[2];
    if (!readNumbers(value, 'x', size, 2) || !isWhole(size[0], 1, largestSavedSide) ||
        !isWhole(size[1], 1, largestSavedSide)) {
        return "is not WxH, each side from 1 to 16384";
    }
    options.save.width = static_cast<int>(size[0]);
    options.save.height = static_cast<int>(size[1]);
    return nullptr;
}

const char* setSamples(ViewOptions& options, const char* value) {
    double samples = 0;
    if (!readNumbers(value, ',', &samples, 1) || !isWhole(samples, 1, 16) ||
        (static_cast<int>(samples) & (static_cast<int>(samples) - 1)) != 0) {
        return "is not 1, 2, 4, 8 or 16";
    }
    options.save.samples = static_cast<int>(samples);
    return nullptr;
}

const char* setBackground(ViewOptions& options, const char* value) {
    if (std::strcmp(value, "transparent") != 0) {
        return "is not transparent";
    }
    options.save.transparent = true;
    return nullptr;
}

const char* setFrames(ViewOptions& options, const char* value) {
    double frames = 0;
    if (!readNumbers(value, ',', &frames, 1) || !isWhole(frames, 1, mostFrames)) {
        return "is not a whole number of frames from 1 to 100000";
    }
    options.clip.frames = static_cast<int>(frames);
    return nullptr;
}

const char* setSpin(ViewOptions& options, const char* value) {
    if (!readAngles(value, options.clip.spin.data())) {
        return "is not three angles X,Y,Z in degrees";
    }
    options.clip.spinGiven = true;
    return nullptr;
}

const char* setFramesPerSecond(ViewOptions& options, const char* value) {
    double rate = 0;
    if (!readNumbers(value, ',', &rate, 1) || rate < 1 || rate > 120) {
        return "is not a rate from 1 to 120 frames a second";
    }
    options.clip.framesPerSecond = rate;
    options.clip.webpOption = options.clip.webpOption ? options.clip.webpOption : "--fps";
    return nullptr;
}

const char* setQuality(ViewOptions& options, const char* value) {
    double quality = -1;
    if (std::strcmp(value, "lossless") != 0 &&
        (!readNumbers(value, ',', &quality, 1) || !isWhole(quality, 0, 100))) {
        return "is not a whole number from 0 to 100, or lossless";
    }
    options.clip.quality = static_cast<int>(quality);
    options.clip.qualityGiven = true;
    options.clip.webpOption = options.clip.webpOption ? options.clip.webpOption : "--quality";
    return nullptr;
}

const char* setScale(ViewOptions& options, const char* value) {
    double scale = 0;
    if (!readNumbers(value, ',', &scale, 1) || scale < leastScale || scale > largestScale) {
        return "is not a length from 0.01 to 100000 millimetres";
    }
    options.millimetresPerUnit = scale;
    return nullptr;
}

struct ViewOptionEntry {
    const char* name;
    const char* (*set)(ViewOptions&, const char*);
    bool needsOutput;
};

const ViewOptionEntry viewOptions[] = {
    {"--turn", setTurn, false},          {"--colour", setColour, false},
    {"--light", setLight, false},        {"--size", setSize, true},
    {"--samples", setSamples, true},     {"--background", setBackground, true},
    {"--frames", setFrames, true},       {"--spin", setSpin, true},
    {"--fps", setFramesPerSecond, true}, {"--quality", setQuality, true},
    {"--scale", setScale, true}};

// What each kind of model takes; every other option means nothing for it.
struct ModelOptions {
    ModelKind kind;
    const char* name;
    std::vector<std::string> takes;
    bool takesPicture;
    const char* takesText;
};
const ModelOptions modelOptions[] = {
    {ModelKind::glb,
     "a glTF model",
     {"--turn", "--colour", "--light", "--size", "--frames", "--spin", "--fps", "--scale"},
     true,
     "--turn, --colour, --light, --size, --frames, --spin, --fps, --scale and a picture FILE"},
    {ModelKind::obj,
     "an OBJ model",
     {"--colour", "--scale"},
     true,
     "--colour, --scale and a picture FILE"},
    {ModelKind::stl, "an STL model", {"--scale"}, false, "--scale alone"}};

bool endsWith(const std::string& name, const char* ending) {
    const size_t length = std::strlen(ending);
    return name.size() > length && strcasecmp(name.c_str() + name.size() - length, ending) == 0;
}

const ViewOptionEntry* findOption(const char* name) {
    const ViewOptionEntry* found = std::find_if(
        std::begin(viewOptions), std::end(viewOptions),
        [name](const ViewOptionEntry& option) { return std::strcmp(name, option.name) == 0; });
    return found == std::end(viewOptions) ? nullptr : found;
}

} // namespace

bool isViewOption(const char* name) {
    return std::strcmp(name, "--output") == 0 || findOption(name) != nullptr;
}

const char* setViewOption(ViewOptions& options, const char* name, const char* value) {
    if (std::strcmp(name, "--output") == 0) {
        options.output = value;
        return *value == '\0' ? "is not a file name" : nullptr;
    }
    const ViewOptionEntry* option = findOption(name);
    if (option == nullptr) {
        return "is not known";
    }
    if (option->needsOutput && options.saveOnlyOption == nullptr) {
        options.saveOnlyOption = option->name;
    }
    options.given.push_back(option->name);
    return option->set(options, value);
}

ModelKind modelKindOf(const std::string& output) {
    if (output == "glb:-" || endsWith(output, ".glb")) {
        return ModelKind::glb;
    }
    if (output == "obj:-" || endsWith(output, ".obj")) {
        return ModelKind::obj;
    }
    if (output == "stl:-" || endsWith(output, ".stl")) {
        return ModelKind::stl;
    }
    return ModelKind::none;
}

bool isModelStream(const std::string& output) {
    return output == "glb:-" || output == "stl:-";
}

std::string modelRefusal(const ViewOptions& options, bool pictureNamed) {
    const std::string output = options.output != nullptr ? options.output : "";
    const ModelKind kind = modelKindOf(output);
    const bool scaleGiven =
        std::find_if(options.given.begin(), options.given.end(), [](const char* name) {
            return std::strcmp(name, "--scale") == 0;
        }) != options.given.end();
    if (kind == ModelKind::none) {
        return scaleGiven && options.output != nullptr
                   ? "'--scale' needs --output NAME.glb, NAME.obj or NAME.stl"
                   : "";
    }
    if (output == "obj:-") {
        return "--output 'obj:-' would put an OBJ on standard output, but its material and "
               "picture are files beside it";
    }
    const ModelOptions& model =
        *std::find_if(std::begin(modelOptions), std::end(modelOptions),
                      [kind](const ModelOptions& entry) { return entry.kind == kind; });
    for (const char* name : options.given) {
        if (std::find(model.takes.begin(), model.takes.end(), name) == model.takes.end()) {
            return std::string("'") + name + "' means nothing for " + model.name +
                   ", which takes " + model.takesText;
        }
    }
    if (pictureNamed && !model.takesPicture) {
        return std::string("a picture FILE means nothing for ") + model.name + ", which takes " +
               model.takesText;
    }
    return {};
}

std::string clipRefusal(const ViewOptions& options) {
    const ClipOptions& clip = options.clip;
    const std::string output = options.output != nullptr ? options.output : "";
    const ClipKind& kind = clipKindOf(output);
    if (clip.spinGiven && clip.frames == 0) {
        return "'--spin' needs --frames";
    }
    if (modelKindOf(output) != ModelKind::none) {
        return {}; // the model's own checks came first
    }
    if (clip.webpOption != nullptr && !kind.oneFile) {
        const bool rate = std::strcmp(clip.webpOption, "--fps") == 0;
        return std::string("'") + clip.webpOption + "' needs --output " +
               clipNames(rate ? &ClipKind::oneFile : &ClipKind::quality);
    }
    if (clip.qualityGiven && !kind.quality) {
        return "'--quality' needs --output " + clipNames(&ClipKind::quality);
    }
    if (clip.quality < 0 && !kind.lossless) {
        return std::string("--quality 'lossless' means nothing for ") + kind.name +
               ", which is lossy: 0 to 100";
    }
    const SaveSettings& save = options.save;
    const std::string size =
        "--size '" + std::to_string(save.width) + "x" + std::to_string(save.height) + "'";
    if (std::max(save.width, save.height) > kind.largestSide) {
        return size + " is more than " + kind.name + " holds: " + std::to_string(kind.largestSide) +
               " pixels per side";
    }
    if (kind.evenSides && (save.width % 2 != 0 || save.height % 2 != 0)) {
        return size + " has an odd side: " + kind.name + " holds even sides only";
    }
    // A GIF's pixels are clear or not: the logo's smooth edges would be
    // jagged, and a pixel the logo leaves could not clear again in a frame
    // that stores only what changed.
    if (save.transparent && !kind.alpha) {
        return std::string("'--background transparent' means nothing for ") + kind.name +
               ", which holds no partial transparency; " + clipNames(&ClipKind::alpha) + " does";
    }
    if (kind.mostFramesPerSecond > 0 && clip.framesPerSecond > kind.mostFramesPerSecond) {
        return "--fps '" + shortest(clip.framesPerSecond) + "' is more than browsers play of " +
               kind.name + ": at most " + shortest(kind.mostFramesPerSecond) + " frames a second";
    }
    if (clip.frames == 0 || output == "-") {
        return {}; // a single view's name is taken as it stands
    }
    const std::string quoted = "--output '" + output + "'";
    FrameNamePattern pattern;
    if (const char* problem = readFrameNamePattern(output, pattern)) {
        return quoted + " " + problem;
    }
    if (kind.oneFile && pattern.digits > 0) {
        return quoted + " is " + kind.name + " with a frame number: one " +
               (std::strchr(kind.name, ' ') + 1) + " holds every frame";
    }
    if (clip.frames > 1 && pattern.digits == 0 && !kind.oneFile) {
        return quoted + " is not " + clipNames() + ", which hold more than one frame";
    }
    return {};
}

std::string viewOptionsText(const ViewState& view, LightPlacement light) {
    char turn[64];
    std::snprintf(turn, sizeof turn, "%.0f,%.0f,%.0f", view.angleX, view.angleY, view.angleZ);
    return std::string("--turn ") + turn + " --colour " + shortest(view.logoColor[0]) + "," +
           shortest(view.logoColor[1]) + "," + shortest(view.logoColor[2]) + " --light " +
           shortest(light.x) + "," + shortest(light.y);
}

std::string savedComment(const SaveSettings& settings, const std::string& viewOptions) {
    return viewOptions + " --size " + std::to_string(settings.width) + "x" +
           std::to_string(settings.height) + " --samples " + std::to_string(settings.samples) +
           (settings.transparent ? " --background transparent" : "");
}

std::string clipFrameComment(const std::string& savedComment, const ClipOptions& clip, int frame) {
    return savedComment + " --frames " + std::to_string(clip.frames) + " --spin " +
           shortest(clip.spin[0]) + "," + shortest(clip.spin[1]) + "," + shortest(clip.spin[2]) +
           "; frame " + std::to_string(frame);
}
