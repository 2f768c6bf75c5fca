#include "app/options.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// The shortest decimal of 6 to 9 digits that reads back as the same float.
std::string shortest(float value) {
    char text[32];
    for (int digits = 6; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) {
            break;
        }
    }
    return text;
}

const char* setTurn(ViewOptions& options, const char* value) {
    double angles[3];
    // Beyond a 32-bit whole number the keys' arithmetic has no meaning.
    if (!readNumbers(value, ',', angles, 3) ||
        !std::all_of(angles, angles + 3, [](double a) { return std::fabs(a) < 2147483648.0; })) {
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

struct ViewOptionEntry {
    const char* name;
    const char* (*set)(ViewOptions&, const char*);
    bool needsOutput;
};

const ViewOptionEntry viewOptions[] = {
    {"--turn", setTurn, false},      {"--colour", setColour, false},
    {"--light", setLight, false},    {"--size", setSize, true},
    {"--samples", setSamples, true}, {"--background", setBackground, true}};

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
    return option->set(options, value);
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
