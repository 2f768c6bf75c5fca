#include "app/options.h"

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
        {{{"--size", "0x0"}}, "is not WxH, each side from 1 to 16384", ""},
        {{{"--size", "abc"}}, "is not WxH, each side from 1 to 16384", ""},
        {{{"--size", "16385x2"}}, "is not WxH, each side from 1 to 16384", ""},
        {{{"--size", "400x400x1"}}, "is not WxH, each side from 1 to 16384", ""},
        {{{"--size", "2.5x4"}}, "is not WxH, each side from 1 to 16384", ""},
        {{{"--samples", "3"}}, "is not 1, 2, 4, 8 or 16", ""},
        {{{"--samples", "32"}}, "is not 1, 2, 4, 8 or 16", ""},
        {{{"--turn", "1,2"}}, "is not three angles X,Y,Z in degrees", ""},
        {{{"--turn", "1,2,3,"}}, "is not three angles X,Y,Z in degrees", ""},
        {{{"--turn", "1, 2,3"}}, "is not three angles X,Y,Z in degrees", ""},
        {{{"--turn", "1e10,0,0"}}, "is not three angles X,Y,Z in degrees", ""},
        {{{"--colour", "2,0,0"}}, "is not three values R,G,B from 0 to 1", ""},
        {{{"--colour", "-0.1,0,0"}}, "is not three values R,G,B from 0 to 1", ""},
        {{{"--light", "nan,0"}}, "is not two finite numbers X,Y", ""},
        {{{"--light", "1e39,0"}}, "is not two finite numbers X,Y", ""},
        {{{"--light", "inf,0"}}, "is not two finite numbers X,Y", ""},
        {{{"--background", "white"}}, "is not transparent", ""},
        {{{"--output", ""}}, "is not a file name", ""},
    };
    for (const auto& c : cases) {
        ViewOptions options{start, {}, nullptr, {}, nullptr};
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

// The printed numbers read back as the very floats the keys left.
TEST(ViewOptions, TextReadsBackToTheSameValues) {
    ViewState view = {0, 0, 0, {0.2f, 0.6f, 0.4f, 1}};
    for (unsigned char key : {'G', 'b', 'b', 'r', 'r', 'r', 'r', 'x', 'Y'}) {
        applyKey(view, key, 5.0f);
    }
    const LightPlacement light = lightFromPointer(333, 17, 401, 299);
    const std::string text = viewOptionsText(view, light);
    ViewOptions read{{}, {}, nullptr, {}, nullptr};
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
