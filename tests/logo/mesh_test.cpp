// The model must be one closed surface around the union of the window's face
// quads, lit and textured as the window draws the logo.
#include "logo/mesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace {

using Point = std::array<float, 3>;

const LogoShape shapes[] = {
    {3.4f, 1.4f, 0.25f, 0.5f, 50.0f}, // the window's defaults
    {3.4f, 1.4f, 0.25f, 0.5f, 65.0f}, // steeper slant
    {3.4f, 1.4f, 0.35f, 0.8f, 50.0f}, // thicker bars, deeper slab
};

TEST(LogoMesh, OutlineIsOneSimpleLoopAroundTheUnion) {
    for (const LogoShape& shape : shapes) {
        const std::vector<OutlineContour> outline = logoOutline(shape);
        ASSERT_EQ(outline.size(), 1u);
        // The 20 vertices but 2 and 17, inside the slanted bar, and instead the
        // two points where the slanted bar's right edge meets the cross bar.
        EXPECT_EQ(outline[0].size(), 20u);
        EXPECT_EQ(std::set<OutlinePoint>(outline[0].begin(), outline[0].end()).size(), 20u);
        EXPECT_GT(outlineArea(outline), 0); // an outer loop, counter-clockwise
    }
    // The seven quads' 1.78416 less the 0.08158 where the two bars cross.
    EXPECT_NEAR(outlineArea(logoOutline(shapes[0])), 1.70258, 1e-4);
}

TEST(LogoMesh, IsClosedOutwardAndLitAndTexturedAsInTheWindow) {
    const std::set<Point> axes{{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const auto triple = [](const Point& u, const Point& v, const Point& w) { // u . (v x w)
        return u[0] * (v[1] * w[2] - v[2] * w[1]) + u[1] * (v[2] * w[0] - v[0] * w[2]) +
               u[2] * (v[0] * w[1] - v[1] * w[0]);
    };
    for (const LogoShape& shape : shapes) {
        const LogoMesh mesh = buildLogoMesh(shape);
        std::set<std::pair<Point, Point>> edges; // directed, matched by position
        double volume = 0;                       // by the divergence theorem
        for (const auto& corners : mesh.triangles) {
            const MeshVertex* v[] = {&mesh.vertices[corners[0]], &mesh.vertices[corners[1]],
                                     &mesh.vertices[corners[2]]};
            const Point &a = v[0]->position, &b = v[1]->position, &c = v[2]->position;
            for (const auto& edge : {std::pair{a, b}, {b, c}, {c, a}}) {
                EXPECT_TRUE(edges.insert(edge).second);
            }
            for (const MeshVertex* corner : v) { // outward and not degenerate
                const Point& n = corner->normal;
                EXPECT_GT(triple(n, a, b) + triple(n, b, c) + triple(n, c, a), 1e-6f);
            }
            // As in the window, walls face along y only where they run along x.
            EXPECT_TRUE(v[0]->normal[1] == 0 || (a[1] == b[1] && b[1] == c[1]));
            volume += triple(a, b, c) / 6.0;
        }
        for (const auto& [from, to] : edges) {
            EXPECT_EQ(edges.count({to, from}), 1u);
        }
        const std::vector<OutlineContour> outline = logoOutline(shape);
        EXPECT_NEAR(volume, outlineArea(outline) * shape.logoDepth, 1e-5);
        // Each face an n-gon of n - 2 triangles, each wall two.
        EXPECT_EQ(mesh.triangles.size(), 4 * outline[0].size() - 4);

        const Point half{shape.logoWidth / 2, shape.logoHeight / 2, shape.logoDepth / 2};
        Point extent{}; // centred, so the bounding box reaches as far either way
        for (const MeshVertex& v : mesh.vertices) {
            EXPECT_EQ(axes.count(v.normal), 1u);
            const float x = v.position[0] + half[0], y = v.position[1] + half[1];
            EXPECT_NEAR(v.texCoord[0], 0.5f * x + 0.5f * v.position[2], 1e-6);
            EXPECT_NEAR(v.texCoord[1], 0.5f * x + 0.5f * y, 1e-6);
            for (int i = 0; i < 3; ++i) {
                extent[i] = std::max(extent[i], std::abs(v.position[i]));
            }
        }
        EXPECT_EQ(extent, half);
    }
}

} // namespace
