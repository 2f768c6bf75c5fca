// The logo as one closed surface of indexed triangles, for model files. The
// window's quads overlap and run partly inside the solid; this is the union
// of its face quads, extruded, with walls lit as the window lights its sides.
// No drawing here: GLU's tessellator needs no GL context.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "logo/outline.h"

// A corner of the outline in the x/y plane, before centring.
using OutlinePoint = std::array<double, 2>;
// A closed loop with the solid on its left: outer loops run counter-clockwise,
// holes clockwise.
using OutlineContour = std::vector<OutlinePoint>;

struct MeshVertex {
    std::array<float, 3> position; // centred as the window centres the logo
    std::array<float, 3> normal;
    std::array<float, 2> texCoord; // the window's generated marble s, t
};

// Every triangle runs counter-clockwise seen from outside. Vertices are split
// where normals differ, but vertices at one place have bit-identical
// positions, so closedness can be checked by comparing positions.
struct LogoMesh {
    std::vector<MeshVertex> vertices;
    std::vector<std::array<std::uint32_t, 3>> triangles;
};

// The outline of the union of the window's seven face quads, true corners
// only (no points on a straight run).
std::vector<OutlineContour> logoOutline(const LogoShape& shape);

// Shoelace area of all loops; holes, running clockwise, subtract.
double outlineArea(const std::vector<OutlineContour>& contours);

// Front face at z = D/2, back face at z = -D/2, walls along the outline with
// the normal of the side quad each lies on. Throws std::runtime_error when
// the tessellator fails or a wall lies on none of the window's side quads.
LogoMesh buildLogoMesh(const LogoShape& shape);
