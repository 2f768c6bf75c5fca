#include <gtest/gtest.h>

#include "input/keys.h"
#include "input/pointer.h"

namespace {

// The view in a row: angleX, angleY, angleZ, r, g, b, a.
std::array<double, 7> valuesOf(const ViewState& v) {
    return {v.angleX,       v.angleY,       v.angleZ,      v.logoColor[0],
            v.logoColor[1], v.logoColor[2], v.logoColor[3]};
}

TEST(Keys, EveryKeyChangesOnlyItsOwnValueInItsOwnDirection) {
    const ViewState start = {0.0, 0.0, 0.0, {0.2f, 0.6f, 0.4f, 1.0f}};
    const struct {
        const char* keys; // pressed in turn from the start, this many times over
        int times;
        int changed; // index into valuesOf
        double value;
    } cases[] = {
        {"x", 1, 0, 5},     {"X", 1, 0, -5},         {"y", 1, 1, 5},     {"Y", 1, 1, -5},
        {"z", 1, 2, 5},     {"Z", 1, 2, -5},         {"R", 1, 3, 0.25},  {"r", 1, 3, 0.15},
        {"G", 1, 4, 0.65},  {"g", 1, 4, 0.55},       {"B", 1, 5, 0.45},  {"b", 1, 5, 0.35},
        {"x", 71, 0, 355},  {"x", 72, 0, 0},         {"Y", 71, 1, -355}, {"Y", 73, 1, -5},
        {"ZZzzz", 1, 2, 5}, {"G", 10, 4, 1},         {"b", 9, 5, 0},     {"r", 4, 3, 7.4505806e-9},
        {"r", 5, 3, 0},     {"a 09q\r\xff", 1, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.times << " x " << c.keys);
        ViewState view = start;
        for (int i = 0; i < c.times; ++i) {
            for (const char* key = c.keys; *key != 0; ++key) {
                ASSERT_TRUE(applyKey(view, static_cast<unsigned char>(*key), 5.0f));
            }
        }
        auto expected = valuesOf(start);
        expected[c.changed] = c.value;
        const auto got = valuesOf(view);
        for (int i = 0; i < 7; ++i) {
            EXPECT_NEAR(got[i], expected[i], std::abs(expected[i]) * 1e-6) << i;
        }
    }
    ViewState view = start;
    EXPECT_FALSE(applyKey(view, 27, 5.0f)); // Escape asks to end the program
}

// Without a centre to measure from (a zero dimension) the light stays on the axis.
TEST(Pointer, LightFollowsThePointerAcrossAndBeyondTheWindow) {
    const struct {
        int pointerX, pointerY, width, height;
        float x, y;
    } cases[] = {{200, 200, 400, 400, 0, 0},  {400, 0, 400, 400, 1, 1},
                 {0, 400, 400, 400, -1, -1},  {300, 100, 800, 400, -0.25f, 0.5f},
                 {1, 3, 2, 6, 0, 0},          {-200, 600, 400, 400, -2, -2},
                 {800, -400, 400, 400, 3, 3}, {37, 250, 0, 400, 0, 0},
                 {37, 250, 400, 0, 0, 0},     {37, 250, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        LightPlacement light = lightFromPointer(c.pointerX, c.pointerY, c.width, c.height);
        EXPECT_FLOAT_EQ(light.x, c.x) << c.pointerX << "," << c.pointerY << " in " << c.width;
        EXPECT_FLOAT_EQ(light.y, c.y) << c.pointerX << "," << c.pointerY << " in " << c.height;
    }
}

} // namespace
