// The logo's 20-vertex outline and its two extruded layers. No GL here, so
// the geometry can be checked directly.
#pragma once

#include <array>

using Vertex = std::array<float, 3>; // x, y, z in object units
using Outline = std::array<Vertex, 20>;

// The five parameters the outline is computed from, in object units.
struct LogoShape {
    float logoWidth;   // overall width W
    float logoHeight;  // overall height H
    float strokeWidth; // thickness T of every bar, square to the bar
    float logoDepth;   // distance D between the front and back layers
    float slantAngle;  // angle A of the slanted edges against x, degrees
};

// Out-of-range indices are ignored rather than written past the outline.
void setVertex(Outline& outline, int i, float x, float y);
void setDepth(Outline& outline, float z);

// Front layer at z = D/2, back layer at z = -D/2, both with the same x and
// y; the outline's bounding box runs from (0, 0) to (W, H).
void buildLayers(const LogoShape& shape, Outline& front, Outline& back);
