// The view options of the command line, checked and turned into the values
// the window starts with or the saved view is drawn with. No GL here.
#pragma once

#include <optional>
#include <string>

#include "input/keys.h"
#include "input/pointer.h"

struct SaveSettings {
    int width = 400, height = 400;
    int samples = 4;          // per pixel; capped at what GL offers
    bool transparent = false; // alpha 0 around the logo, straight alpha at its edges
    int tileSide = 1024;      // larger views are drawn in tiles of at most this side
};

constexpr int largestSavedSide = 16384;

struct ViewOptions {
    ViewState view;
    std::optional<LightPlacement> light;
    const char* output = nullptr; // --output: "-" for standard output
    SaveSettings save;
    const char* saveOnlyOption = nullptr; // the first option that needs --output
};

// Whether name is one of the options that take a value.
bool isViewOption(const char* name);

// Sets one option from its value; returns nullptr, or what the value should
// have been, for the one-line refusal.
const char* setViewOption(ViewOptions& options, const char* name, const char* value);

// "--turn X,Y,Z --colour R,G,B --light X,Y", each number as short as it can
// be written and still read back to the same value.
std::string viewOptionsText(const ViewState& view, LightPlacement light);

// The saved PNG's comment: the view options, then the size, the samples and
// the background, as --output takes them.
std::string savedComment(const SaveSettings& settings, const std::string& viewOptions);
