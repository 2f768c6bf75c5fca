#include "app/light.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

void expectLight(LightPlacement got, float x, float y) {
    EXPECT_FLOAT_EQ(got.x, x);
    EXPECT_FLOAT_EQ(got.y, y);
}

TEST(Light, WindowEdgesMapToPlusMinusOne) {
    expectLight(lightFromPointer(200, 200, 400, 400), 0.0f, 0.0f);
    expectLight(lightFromPointer(400, 0, 400, 400), 1.0f, 1.0f);
    expectLight(lightFromPointer(0, 400, 400, 400), -1.0f, -1.0f);
    expectLight(lightFromPointer(100, 300, 400, 400), -0.5f, -0.5f);
}

TEST(Light, CentreOfAnyEvenWindowIsOnTheAxis) {
    expectLight(lightFromPointer(400, 200, 800, 400), 0.0f, 0.0f);
    expectLight(lightFromPointer(1, 3, 2, 6), 0.0f, 0.0f);
}

TEST(Light, DragsBeyondTheWindowAreNotClamped) {
    expectLight(lightFromPointer(-200, 600, 400, 400), -2.0f, -2.0f);
    expectLight(lightFromPointer(800, -400, 400, 400), 3.0f, 3.0f);
}

TEST(Light, ZeroSizedWindowKeepsTheLightOnTheAxis) {
    for (auto [w, h] : {std::pair{0, 400}, std::pair{400, 0}, std::pair{0, 0}}) {
        LightPlacement got = lightFromPointer(37, 250, w, h);
        EXPECT_TRUE(std::isfinite(got.x) && std::isfinite(got.y));
        expectLight(got, 0.0f, 0.0f);
    }
}

} // namespace
