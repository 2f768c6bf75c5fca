// The vertex table itself is pinned, quad by quad, by the GL-call trace of the
// real viewer (tests/app/expected_gl_calls.txt).
#include "logo/outline.h"

#include <gtest/gtest.h>

namespace {

TEST(Outline, SetVertexWritesOnlyInsideTheOutline) {
    std::array<Outline, 3> outlines{}; // the neighbours catch writes past either end
    setVertex(outlines[1], -1, 9.0f, 9.0f);
    setVertex(outlines[1], 20, 9.0f, 9.0f);
    EXPECT_EQ(outlines, decltype(outlines){});
    setVertex(outlines[1], 19, 9.0f, 8.0f);
    setDepth(outlines[1], 0.5f);
    EXPECT_EQ(outlines[1][19], (Vertex{9.0f, 8.0f, 0.5f}));
    EXPECT_EQ(outlines[1][0], (Vertex{0.0f, 0.0f, 0.5f}));
}

} // namespace
