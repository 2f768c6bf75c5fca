#include "logo/outline.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct Layers {
    Outline front{};
    Outline back{};
};

Layers defaultLayers() {
    Layers l;
    buildLayers(3.4f, 1.4f, 0.25f, 0.5f, 50.0f, l.front, l.back);
    return l;
}

// The logo's published vertex table for the default parameters.
constexpr float expectedXY[20][2] = {
    {0.0000f, 0.0000f}, {0.3264f, 0.0000f}, {0.4825f, 0.5750f}, {1.7000f, 0.5750f},
    {1.7000f, 0.0000f}, {2.2253f, 0.0000f}, {2.9175f, 0.8250f}, {2.1657f, 0.8250f},
    {2.1657f, 0.5750f}, {2.3814f, 0.5750f}, {2.1087f, 0.2500f}, {1.9500f, 0.2500f},
    {1.9500f, 1.1500f}, {3.1902f, 1.1500f}, {3.4000f, 1.4000f}, {1.7000f, 1.4000f},
    {1.7000f, 0.8250f}, {0.6923f, 0.8250f}, {1.5011f, 1.4000f}, {1.1747f, 1.4000f},
};

TEST(Outline, DefaultLayersMatchTheVertexTable) {
    Layers l = defaultLayers();
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(l.front[i][0], expectedXY[i][0], 1e-4);
        EXPECT_NEAR(l.front[i][1], expectedXY[i][1], 1e-4);
        EXPECT_FLOAT_EQ(l.front[i][2], 0.25f);
        EXPECT_EQ(l.back[i][0], l.front[i][0]);
        EXPECT_EQ(l.back[i][1], l.front[i][1]);
        EXPECT_FLOAT_EQ(l.back[i][2], -0.25f);
    }
}

TEST(Outline, CentredBoundingBoxIsSymmetric) {
    Layers l = defaultLayers();
    auto byX = [](const Vertex& a, const Vertex& b) { return a[0] < b[0]; };
    auto byY = [](const Vertex& a, const Vertex& b) { return a[1] < b[1]; };
    auto [minX, maxX] = std::minmax_element(l.front.begin(), l.front.end(), byX);
    auto [minY, maxY] = std::minmax_element(l.front.begin(), l.front.end(), byY);
    // drawLogo shifts by half the width and height.
    EXPECT_NEAR((*minX)[0] - 1.7f, -1.7f, 1e-6);
    EXPECT_NEAR((*maxX)[0] - 1.7f, 1.7f, 1e-6);
    EXPECT_NEAR((*minY)[1] - 0.7f, -0.7f, 1e-6);
    EXPECT_NEAR((*maxY)[1] - 0.7f, 0.7f, 1e-6);
}

TEST(Outline, SetVertexIgnoresIndicesOutsideTheOutline) {
    Layers l = defaultLayers();
    Outline copy = l.front;
    setVertex(l.front, 20, 9.0f, 9.0f);
    setVertex(l.front, -1, 9.0f, 9.0f);
    EXPECT_EQ(l.front, copy);
    setVertex(l.front, 19, 9.0f, 8.0f);
    EXPECT_EQ(l.front[19][0], 9.0f);
    EXPECT_EQ(l.front[19][1], 8.0f);
    EXPECT_EQ(l.front[19][2], copy[19][2]);
}

} // namespace
