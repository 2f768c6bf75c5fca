// The logo's 20-vertex outline and its two extruded layers. No GL here, so
// the geometry can be checked directly.
#pragma once

#include <array>

using Vertex = std::array<float, 3>; // x, y, z in object units
using Outline = std::array<Vertex, 20>;

// Out-of-range indices are ignored rather than written past the outline.
void setVertex(Outline& outline, int i, float x, float y);
void setDepth(Outline& outline, float z);

// Front layer at z = depth/2, back layer at z = -depth/2, both with the same
// x and y; the outline's bounding box runs from (0, 0) to (width, height).
void buildLayers(float width, float height, float stroke, float depth, float slantDegrees,
                 Outline& front, Outline& back);
