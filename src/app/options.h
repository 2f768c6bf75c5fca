// The view options of the command line, checked and turned into the values
// the window starts with or the saved view is drawn with. No GL here.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "input/keys.h"
#include "input/pointer.h"

struct SaveSettings {
    int width = 400, height = 400;
    int samples = 4;          // per pixel; capped at what GL offers
    bool transparent = false; // alpha 0 around the logo, straight alpha at its edges
    int tileSide = 1024;      // larger views are drawn in tiles of at most this side
};

constexpr int largestSavedSide = 16384;
constexpr int mostFrames = 100000;
constexpr double leastScale = 0.01, largestScale = 100000; // millimetres per logo unit

// The model files --output writes by name: NAME.glb, NAME.obj, NAME.stl (any
// case), or glb:- and stl:- for standard output.
enum class ModelKind { none, glb, obj, stl };
ModelKind modelKindOf(const std::string& output);
// glb:- or stl:-: a model on standard output.
bool isModelStream(const std::string& output);

// --frames and what goes with it: a turntable from one start.
struct ClipOptions {
    int frames = 0;                               // 0: no --frames, a single view
    std::array<double, 3> spin = {0, 360, 0};     // degrees over the whole clip
    double framesPerSecond = 30;                  // a one-file clip's; quality not a GIF's
    int quality = 90;                             // 0 to 100, lossy; -1 lossless
    bool spinGiven = false, qualityGiven = false; // for the checks of what goes together
    const char* webpOption = nullptr;             // the first of --fps and --quality given
};

struct ViewOptions {
    ViewState view;
    std::optional<LightPlacement> light;
    const char* output = nullptr; // --output: "-" for standard output
    SaveSettings save;
    const char* saveOnlyOption = nullptr; // the first option that needs --output
    ClipOptions clip;
    double millimetresPerUnit = 10; // --scale, for a model
    std::vector<const char*> given; // the view options given, in order
};

// Whether name is one of the options that take a value.
bool isViewOption(const char* name);

// Sets one option from its value; returns nullptr, or what the value should
// have been, for the one-line refusal.
const char* setViewOption(ViewOptions& options, const char* name, const char* value);

// Once every option is read: what does not go together, as the middle of
// the one-line refusal, or an empty string. A model takes only the options
// that mean something for it; pictureNamed: a FILE was given.
std::string modelRefusal(const ViewOptions& options, bool pictureNamed);
std::string clipRefusal(const ViewOptions& options);

// "--turn X,Y,Z --colour R,G,B --light X,Y", each number as short as it can
// be written and still read back to the same value.
std::string viewOptionsText(const ViewState& view, LightPlacement light);

// The saved PNG's comment: the view options, then the size, the samples and
// the background, as --output takes them.
std::string savedComment(const SaveSettings& settings, const std::string& viewOptions);
// A clip frame's comment: the saved comment, the clip's options and the
// frame's number.
std::string clipFrameComment(const std::string& savedComment, const ClipOptions& clip, int frame);
