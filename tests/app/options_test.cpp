#include "app/options.h"
#include "app/save_clip.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

// Each row sets its options in turn on the window's start; the first value
// refused ends the row, and what it should have been is the row's outcome.
TEST(ViewOptions, ValuesAreReducedAsTheKeysReduceThemOrRefusedWithWhatTheyShouldBe) {
    const ViewState start = {0, 0, 0, {0.2f, 0.6f, 0.4f, 1}};
    const struct {
        std::vector<std::pair<const char*, const char*>> options;
        const char* refusal; // nullptr: all accepted
        std::string text;    // viewOptionsText and the saved comment, when accepted
    } cases[] = {
        {{}, nullptr, "--turn 0,0,0 --colour 0.2,0.6,0.4 --light 0,0 --size 400x400 --samples 4"},
        {{{"--turn", "370.9,-725,5"}, {"--colour", "1,0,0.05"}, {"--light", "-3.5,1e3"}},
         nullptr,
         "--turn 10,-5,5 --colour 1,0,0.05 --light -3.5,1000 --size 400x400 --samples 4"},
        {{{"--size", "16384x1"}, {"--samples", "16"}, {"--background", "transparent"}},
         nullptr,
         "--turn 0,0,0 --colour 0.2,0.6,0.4 --light 0,0 --size 16384x1 --samples 16 "
         "--background transparent"},
        {{{"--size", "abc"}}, "is not WxH, each side from 1 to 16384", ""},
        {{{"--size", "400x400x1"}}, "is not WxH, each side from 1 to 16384", ""},
        {{{"--size", "2.5x4"}}, "is not WxH, each side from 1 to 16384", ""},
        {{{"--samples", "3"}}, "is not 1, 2, 4, 8 or 16", ""},
        {{{"--samples", "32"}}, "is not 1, 2, 4, 8 or 16", ""},
        {{{"--turn", "1,2"}}, "is not three angles X,Y,Z in degrees", ""},
        {{{"--turn", "1,2,3,"}}, "is not three angles X,Y,Z in degrees", ""},
        {{{"--turn", "1, 2,3"}}, "is not three angles X,Y,Z in degrees", ""},
        {{{"--light", "nan,0"}}, "is not two finite numbers X,Y", ""},
        {{{"--background", "white"}}, "is not transparent", ""},
        {{{"--output", ""}}, "is not a file name", ""},
        {{{"--frames", "abc"}}, "is not a whole number of frames from 1 to 100000", ""},
        {{{"--spin", "1,2"}}, "is not three angles X,Y,Z in degrees", ""},
        {{{"--quality", "101"}}, "is not a whole number from 0 to 100, or lossless", ""},
        {{{"--quality", "-1"}}, "is not a whole number from 0 to 100, or lossless", ""},
        {{{"--scale", "abc"}}, "is not a length from 0.01 to 100000 millimetres", ""},
    };
    for (const auto& c : cases) {
        ViewOptions options{};
        options.view = start;
        options.output = "out.png"; // the clip options' own checks come later
        const char* refusal = nullptr;
        std::string given;
        for (const auto& [name, value] : c.options) {
            ASSERT_TRUE(isViewOption(name));
            given += std::string(name) + " " + value + " ";
            if ((refusal = setViewOption(options, name, value)) != nullptr) {
                break;
            }
        }
        SCOPED_TRACE(given);
        EXPECT_STREQ(refusal, c.refusal);
        if (c.refusal == nullptr) {
            const std::string text =
                viewOptionsText(options.view, options.light.value_or(LightPlacement{0, 0}));
            EXPECT_EQ(savedComment(options.save, text), c.text);
        }
    }
    EXPECT_FALSE(isViewOption("--tile"));
}

// What goes together once every option is read, and what does not: a
// model takes only what means something for it, a clip what its name holds.
TEST(OutputOptions, AreRefusedWhereTheyDoNotGoTogether) {
    const struct {
        const char* output;
        std::vector<std::pair<const char*, const char*>> options;
        std::string refusal; // empty: accepted
        bool picture = false;
    } cases[] = {
        {"logo.GLB", {{"--frames", "72"}}, "", true},
        {"logo.glb", {{"--spin", "0,90,0"}}, "'--spin' needs --frames"},
        {"spin-%03d.png", {{"--frames", "72"}, {"--spin", "0,0,90"}}, ""},
        {"100%%-%d.png", {{"--frames", "2"}}, ""},
        {"spin.webp", {{"--frames", "2"}, {"--fps", "12.5"}, {"--quality", "lossless"}}, ""},
        {"still.WebP", {{"--quality", "0"}}, ""},
        {"-", {{"--frames", "3"}}, ""},
        {"one.png", {{"--frames", "1"}}, ""},
        {"a%s.png", {}, ""}, // a single view's name is taken as it stands
        {"spin.png",
         {{"--frames", "2"}},
         "--output 'spin.png' is not NAME-%03d.png, NAME.webp, NAME.mp4, NAME.webm, NAME.gif, "
         "-, mp4:- or gif:-, which hold more than one frame"},
        {"a.png", {{"--spin", "0,90,0"}}, "'--spin' needs --frames"},
        {"a.png",
         {{"--fps", "10"}},
         "'--fps' needs --output NAME.webp, NAME.mp4, NAME.webm or NAME.gif"},
        {"spin.GIF", {{"--frames", "2"}, {"--fps", "50"}}, ""},
        {"gif:-", {{"--frames", "2"}}, ""},
        {"spin.gif",
         {{"--fps", "20"}, {"--quality", "50"}},
         "'--quality' needs --output NAME.webp, NAME.mp4 or NAME.webm"},
        {"spin.gif",
         {{"--background", "transparent"}},
         "'--background transparent' means nothing for a GIF, which holds no partial "
         "transparency; NAME.webp does"},
        {"spin.gif",
         {{"--fps", "50.5"}},
         "--fps '50.5' is more than browsers play of a GIF: at most 50 frames a second"},
        {"a-%d.gif",
         {{"--frames", "2"}},
         "--output 'a-%d.gif' is a GIF with a frame number: one GIF holds every frame"},
        {"a-%d.png",
         {{"--frames", "2"}, {"--quality", "50"}},
         "'--quality' needs --output NAME.webp, NAME.mp4 or NAME.webm"},
        {"big.webp",
         {{"--size", "16384x16"}},
         "--size '16384x16' is more than a WebP holds: 16383 pixels per side"},
        {"a-%d.webp",
         {{"--frames", "2"}},
         "--output 'a-%d.webp' is a WebP with a frame number: one WebP holds every frame"},
        {"spin.MP4", {{"--frames", "2"}, {"--fps", "24"}, {"--quality", "100"}}, ""},
        {"mp4:-", {{"--frames", "3"}, {"--size", "16x4096"}}, ""},
        {"still.webm", {{"--quality", "0"}}, ""},
        {"a.mp4",
         {{"--background", "transparent"}},
         "'--background transparent' means nothing for an MP4, which holds no partial "
         "transparency; NAME.webp does"},
        {"a.webm",
         {{"--quality", "lossless"}},
         "--quality 'lossless' means nothing for a WebM, which is lossy: 0 to 100"},
        {"mp4:-",
         {{"--size", "20x15"}},
         "--size '20x15' has an odd side: an MP4 holds even sides only"},
        {"a.webm",
         {{"--size", "4098x16"}},
         "--size '4098x16' is more than a WebM holds: 4096 pixels per side"},
    };
    for (const auto& c : cases) {
        ViewOptions options{};
        options.output = c.output;
        for (const auto& [name, value] : c.options) {
            ASSERT_EQ(setViewOption(options, name, value), nullptr) << name << " " << value;
        }
        const std::string refusal = modelRefusal(options, c.picture);
        EXPECT_EQ(refusal.empty() ? clipRefusal(options) : refusal, c.refusal) << c.output;
    }
    const char* badNames[] = {"a%s.png", "a%n", "a%5d.png", "%d-%d.png", "a%", "%010d", "%00d"};
    for (const char* name : badNames) {
        ViewOptions options{};
        options.output = name;
        setViewOption(options, "--frames", "2");
        EXPECT_EQ(clipRefusal(options), std::string("--output '") + name +
                                            "' is not a name with one %d or %0Wd (W from 1 to "
                                            "9), %% for a % sign")
            << name;
    }
}

// Frame 0 is the start; whole degrees are what --turn gives; the rest keep
// their fractions, evenly spaced, and the clip ends where it began.
TEST(ClipOptions, FramesTurnByTheirShareOfTheSpin) {
    const ViewState start = {10, -355, 5, {0.2f, 0.6f, 0.4f, 1}};
    const struct {
        std::array<double, 3> spin;
        int frame, frames;
        double x, y, z;
    } cases[] = {
        {{0, 360, 0}, 0, 72, 10, -355, 5},       {{0, 360, 0}, 9, 72, 10, -310, 5},
        {{0, 360, 0}, 71, 72, 10, -0, 5},        {{0, 360, 0}, 3, 7, 10, -200.71428571428572, 5},
        {{360, 0, -720}, 1, 2, 190, -355, -355}, {{0, 0, 0}, 5, 6, 10, -355, 5},
        {{0, -360, 0}, 1, 72, 10, 0, 5}};
    for (const auto& c : cases) {
        const ViewState view = clipFrameView(start, c.spin, c.frame, c.frames);
        EXPECT_DOUBLE_EQ(view.angleX, c.x) << c.frame << " of " << c.frames;
        EXPECT_DOUBLE_EQ(view.angleY, c.y) << c.frame << " of " << c.frames;
        EXPECT_DOUBLE_EQ(view.angleZ, c.z) << c.frame << " of " << c.frames;
        if (view.angleY == std::floor(view.angleY)) { // as --turn reduces it
            EXPECT_EQ(view.angleY, stepAngle(view.angleY, 0));
        }
    }
    ClipOptions clip;
    clip.frames = 7;
    clip.spin = {0, 360, 0.1};
    EXPECT_EQ(clipFrameComment("--turn 0,0,0", clip, 6),
              "--turn 0,0,0 --frames 7 --spin 0,360,0.1; frame 6");
}

// The printed numbers read back as the very floats the keys left.
TEST(ViewOptions, TextReadsBackToTheSameValues) {
    ViewState view = {0, 0, 0, {0.2f, 0.6f, 0.4f, 1}};
    for (unsigned char key : {'G', 'b', 'b', 'r', 'r', 'r', 'r', 'x', 'Y'}) {
        applyKey(view, key, 5.0f);
    }
    const LightPlacement light = lightFromPointer(333, 17, 401, 299);
    const std::string text = viewOptionsText(view, light);
    ViewOptions read{};
    for (const char* name : {"--turn ", "--colour ", "--light "}) {
        const size_t at = text.find(name) + std::strlen(name);
        const std::string value = text.substr(at, text.find(' ', at) - at);
        ASSERT_EQ(
            setViewOption(read, std::string(name, std::strlen(name) - 1).c_str(), value.c_str()),
            nullptr)
            << text;
    }
    EXPECT_EQ(read.view.angleX, view.angleX);
    EXPECT_EQ(read.view.angleY, view.angleY);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(read.view.logoColor[i], view.logoColor[i]) << text;
    }
    EXPECT_EQ(read.light->x, light.x) << text;
    EXPECT_EQ(read.light->y, light.y) << text;
}

} // namespace
