#include "logo/mesh.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <deque>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

// The window's seven face quads, counter-clockwise seen from +z.
constexpr std::array<std::array<int, 4>, 7> faceQuads{{{0, 1, 18, 19},
                                                       {2, 3, 16, 17},
                                                       {4, 11, 12, 15},
                                                       {4, 5, 10, 11},
                                                       {10, 5, 6, 9},
                                                       {9, 6, 7, 8},
                                                       {15, 12, 13, 14}}};

// The window's eighteen side quads: the outline edge each stands on and its
// normal, axis-aligned also on the slanted edges.
struct SideQuad {
    int from;
    int to;
    float normalX;
    float normalY;
};
constexpr std::array<SideQuad, 18> sideQuads{{{0, 19, -1, 0},
                                              {0, 1, 0, -1},
                                              {18, 1, 1, 0},
                                              {18, 19, 0, 1},
                                              {2, 3, 0, -1},
                                              {17, 16, 0, 1},
                                              {4, 15, -1, 0},
                                              {15, 14, 0, 1},
                                              {14, 13, 1, 0},
                                              {12, 13, 0, -1},
                                              {12, 11, 1, 0},
                                              {10, 11, 0, 1},
                                              {10, 9, -1, 0},
                                              {8, 9, 0, -1},
                                              {8, 7, -1, 0},
                                              {7, 6, 0, 1},
                                              {6, 5, 1, 0},
                                              {4, 5, 0, -1}}};

// Lengths below this count as zero: float rounding leaves points that should
// lie on a line a few ulps off it.
double lengthTolerance(const LogoShape& shape) {
    return 1e-6 * std::max(shape.logoWidth, shape.logoHeight);
}

// GLU keeps a pointer to each vertex until the polygon ends, and combine adds
// more while it runs, so they live in a deque, which never moves them.
struct TessVertex {
    std::array<GLdouble, 3> coords;
    // cppcheck-suppress unusedStructMember ; read through GLU's vertex data
    std::size_t index;
};

// Shared with GLU's callbacks through the polygon data. Failures are only
// noted there: nothing may unwind through GLU's C code.
struct Tessellation {
    GLenum expectedType = GL_TRIANGLES; // GL_LINE_LOOP for boundaries
    std::deque<TessVertex> vertices;
    std::vector<std::vector<std::size_t>> primitives; // vertex indices
    GLenum error = 0;
    bool outOfMemory = false;
};

Tessellation& tessellationOf(void* polygonData) {
    return *static_cast<Tessellation*>(polygonData);
}

void beginPrimitive(GLenum type, void* polygonData) noexcept {
    Tessellation& tess = tessellationOf(polygonData);
    if (type != tess.expectedType) {
        tess.error = GLU_INVALID_OPERATION;
    }
    try {
        tess.primitives.emplace_back();
    } catch (const std::bad_alloc&) {
        tess.outOfMemory = true;
    }
}

void addVertex(void* vertexData, void* polygonData) noexcept {
    Tessellation& tess = tessellationOf(polygonData);
    // A null vertex follows a failed combine, already noted.
    if (vertexData == nullptr || tess.primitives.empty()) {
        return;
    }
    try {
        tess.primitives.back().push_back(static_cast<const TessVertex*>(vertexData)->index);
    } catch (const std::bad_alloc&) {
        tess.outOfMemory = true;
    }
}

void endPrimitive(void*) noexcept {}

// Registered only so that GLU hands out separate triangles, no fans or strips.
void edgeFlag(GLboolean, void*) noexcept {}

void combineVertices(GLdouble coords[3], void* /*neighbours*/[4], GLfloat /*weights*/[4],
                     void** outData, void* polygonData) noexcept {
    Tessellation& tess = tessellationOf(polygonData);
    try {
        tess.vertices.push_back({{coords[0], coords[1], coords[2]}, tess.vertices.size()});
        *outData = &tess.vertices.back();
    } catch (const std::bad_alloc&) {
        tess.outOfMemory = true;
        *outData = nullptr;
    }
}

void noteError(GLenum error, void* polygonData) noexcept {
    tessellationOf(polygonData).error = error;
}

template <typename Function>
void setCallback(GLUtesselator* tess, GLenum which, Function* function) {
    gluTessCallback(tess, which, reinterpret_cast<void (*)()>(function));
}

// Boundary only: the loops around the nonzero-winding region; otherwise its
// triangles, counter-clockwise seen from +z.
Tessellation tessellate(const std::vector<OutlineContour>& contours, bool boundaryOnly) {
    const std::unique_ptr<GLUtesselator, void (*)(GLUtesselator*)> tess(gluNewTess(),
                                                                        gluDeleteTess);
    if (!tess) {
        throw std::bad_alloc();
    }
    gluTessProperty(tess.get(), GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessProperty(tess.get(), GLU_TESS_BOUNDARY_ONLY, boundaryOnly ? GL_TRUE : GL_FALSE);
    gluTessNormal(tess.get(), 0, 0, 1);
    setCallback(tess.get(), GLU_TESS_BEGIN_DATA, beginPrimitive);
    setCallback(tess.get(), GLU_TESS_VERTEX_DATA, addVertex);
    setCallback(tess.get(), GLU_TESS_END_DATA, endPrimitive);
    setCallback(tess.get(), GLU_TESS_COMBINE_DATA, combineVertices);
    setCallback(tess.get(), GLU_TESS_ERROR_DATA, noteError);
    if (!boundaryOnly) {
        setCallback(tess.get(), GLU_TESS_EDGE_FLAG_DATA, edgeFlag);
    }

    Tessellation result;
    result.expectedType = boundaryOnly ? GL_LINE_LOOP : GL_TRIANGLES;
    for (const OutlineContour& contour : contours) {
        for (const OutlinePoint& point : contour) {
            result.vertices.push_back({{point[0], point[1], 0}, result.vertices.size()});
        }
    }
    gluTessBeginPolygon(tess.get(), &result);
    auto vertex = result.vertices.begin();
    for (const OutlineContour& contour : contours) {
        gluTessBeginContour(tess.get());
        for (std::size_t i = 0; i < contour.size(); ++i, ++vertex) {
            gluTessVertex(tess.get(), vertex->coords.data(), &*vertex);
        }
        gluTessEndContour(tess.get());
    }
    gluTessEndPolygon(tess.get());

    if (result.outOfMemory) {
        throw std::bad_alloc();
    }
    if (result.error != 0) {
        const GLubyte* message = gluErrorString(result.error);
        throw std::runtime_error(std::string("logo mesh: GLU tessellator: ") +
                                 (message ? reinterpret_cast<const char*>(message) : "error"));
    }
    return result;
}

double distanceToLine(const OutlinePoint& p, const OutlinePoint& a, const OutlinePoint& b) {
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    const double length = std::hypot(dx, dy);
    if (length == 0) {
        return std::hypot(p[0] - a[0], p[1] - a[1]);
    }
    return std::abs(dx * (p[1] - a[1]) - dy * (p[0] - a[0])) / length;
}

double distanceToSegment(const OutlinePoint& p, const OutlinePoint& a, const OutlinePoint& b) {
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    const double lengthSquared = dx * dx + dy * dy;
    const double along =
        lengthSquared == 0
            ? 0
            : std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / lengthSquared, 0.0, 1.0);
    return std::hypot(p[0] - a[0] - along * dx, p[1] - a[1] - along * dy);
}

// The quads' float corners miss shared lines by an ulp or so: vertices 2 and
// 17 sit a hair off the slanted bar's edge 0-19, and GLU outlines the
// slivers that makes. Dropping each point that lies on the line through its
// neighbours leaves the true corners; walls and faces are both built from
// them, so every wall corner is a face corner and no T-junction remains.
OutlineContour trueCorners(OutlineContour loop, double tolerance) {
    bool removed = true;
    while (removed && loop.size() >= 3) {
        removed = false;
        for (std::size_t i = 0; i < loop.size() && loop.size() >= 3;) {
            const OutlinePoint& before = loop[(i + loop.size() - 1) % loop.size()];
            const OutlinePoint& after = loop[(i + 1) % loop.size()];
            if (distanceToLine(loop[i], before, after) <= tolerance) {
                loop.erase(loop.begin() + static_cast<std::ptrdiff_t>(i));
                removed = true;
            } else {
                ++i;
            }
        }
    }
    if (loop.size() < 3) {
        loop.clear();
    }
    return loop;
}

OutlinePoint planPoint(const Vertex& v) {
    return {v[0], v[1]};
}

// GLU computes crossings in double, a few ulps off the float lines they lie
// on. Taking the window's own coordinate where one is that close keeps its
// horizontal and vertical walls exactly straight.
OutlinePoint snapped(const OutlinePoint& point, const Outline& front, double tolerance) {
    OutlinePoint result = point;
    for (const Vertex& v : front) {
        for (int axis = 0; axis < 2; ++axis) {
            if (std::abs(point[axis] - v[axis]) <= tolerance) {
                result[axis] = v[axis];
            }
        }
    }
    return result;
}

std::array<float, 3> wallNormal(const Outline& front, const OutlinePoint& from,
                                const OutlinePoint& to, double tolerance) {
    // The solid lies left of each edge, so outward is to its right.
    const double outwardX = to[1] - from[1], outwardY = from[0] - to[0];
    for (const SideQuad& side : sideQuads) {
        const OutlinePoint a = planPoint(front[side.from]), b = planPoint(front[side.to]);
        if (distanceToSegment(from, a, b) <= tolerance &&
            distanceToSegment(to, a, b) <= tolerance &&
            side.normalX * outwardX + side.normalY * outwardY > 0) {
            return {side.normalX, side.normalY, 0};
        }
    }
    throw std::runtime_error("logo mesh: an outline edge lies on none of the side quads");
}

MeshVertex meshVertex(const LogoShape& shape, const OutlinePoint& point, float z,
                      const std::array<float, 3>& normal) {
    const double x = point[0], y = point[1];
    // Texture coordinates from the uncentred position, as the window's
    // object-linear generation sees it.
    return {{static_cast<float>(x - shape.logoWidth * 0.5),
             static_cast<float>(y - shape.logoHeight * 0.5), z},
            normal,
            {static_cast<float>(0.5 * x + 0.5 * z), static_cast<float>(0.5 * x + 0.5 * y)}};
}

std::uint32_t nextIndex(const LogoMesh& mesh) {
    return static_cast<std::uint32_t>(mesh.vertices.size());
}

void addFaces(const LogoShape& shape, const std::vector<OutlineContour>& outline, LogoMesh& mesh) {
    // A simple outline needs no new points; one GLU added would be missing
    // from the walls and leave the surface open there.
    const Tessellation faces = tessellate(outline, false);
    const float frontZ = shape.logoDepth * 0.5f, backZ = shape.logoDepth * -0.5f;
    const std::uint32_t front = nextIndex(mesh);
    const auto back = static_cast<std::uint32_t>(front + faces.vertices.size());
    for (const TessVertex& v : faces.vertices) {
        mesh.vertices.push_back(meshVertex(shape, {v.coords[0], v.coords[1]}, frontZ, {0, 0, 1}));
    }
    for (const TessVertex& v : faces.vertices) {
        mesh.vertices.push_back(meshVertex(shape, {v.coords[0], v.coords[1]}, backZ, {0, 0, -1}));
    }
    for (const std::vector<std::size_t>& triangles : faces.primitives) {
        for (std::size_t i = 0; i + 2 < triangles.size(); i += 3) {
            const auto a = static_cast<std::uint32_t>(triangles[i]);
            const auto b = static_cast<std::uint32_t>(triangles[i + 1]);
            const auto c = static_cast<std::uint32_t>(triangles[i + 2]);
            mesh.triangles.push_back({front + a, front + b, front + c});
            // Seen from -z the same triangle turns the other way.
            mesh.triangles.push_back({back + a, back + c, back + b});
        }
    }
}

void addWall(const LogoShape& shape, const OutlinePoint& from, const OutlinePoint& to,
             const std::array<float, 3>& normal, LogoMesh& mesh) {
    const float frontZ = shape.logoDepth * 0.5f, backZ = shape.logoDepth * -0.5f;
    const std::uint32_t first = nextIndex(mesh);
    mesh.vertices.push_back(meshVertex(shape, from, backZ, normal));
    mesh.vertices.push_back(meshVertex(shape, to, backZ, normal));
    mesh.vertices.push_back(meshVertex(shape, to, frontZ, normal));
    mesh.vertices.push_back(meshVertex(shape, from, frontZ, normal));
    mesh.triangles.push_back({first, first + 1, first + 2});
    mesh.triangles.push_back({first, first + 2, first + 3});
}

void addWalls(const LogoShape& shape, const std::vector<OutlineContour>& outline, LogoMesh& mesh) {
    Outline front{};
    Outline back{};
    buildLayers(shape, front, back);
    const double tolerance = lengthTolerance(shape);
    for (const OutlineContour& loop : outline) {
        for (std::size_t i = 0; i < loop.size(); ++i) {
            const OutlinePoint& from = loop[i];
            const OutlinePoint& to = loop[(i + 1) % loop.size()];
            addWall(shape, from, to, wallNormal(front, from, to, tolerance), mesh);
        }
    }
}

} // namespace

std::vector<OutlineContour> logoOutline(const LogoShape& shape) {
    Outline front{};
    Outline back{};
    buildLayers(shape, front, back);
    std::vector<OutlineContour> quads(faceQuads.size());
    std::transform(faceQuads.begin(), faceQuads.end(), quads.begin(), [&](const auto& quad) {
        return OutlineContour{planPoint(front[quad[0]]), planPoint(front[quad[1]]),
                              planPoint(front[quad[2]]), planPoint(front[quad[3]])};
    });

    const Tessellation boundary = tessellate(quads, true);
    const double tolerance = lengthTolerance(shape);
    std::vector<OutlineContour> outline;
    for (const std::vector<std::size_t>& loop : boundary.primitives) {
        OutlineContour points;
        for (std::size_t index : loop) {
            const TessVertex& v = boundary.vertices[index];
            points.push_back(snapped({v.coords[0], v.coords[1]}, front, tolerance));
        }
        points = trueCorners(std::move(points), tolerance);
        if (!points.empty()) {
            outline.push_back(std::move(points));
        }
    }
    return outline;
}

double outlineArea(const std::vector<OutlineContour>& contours) {
    double twiceArea = 0;
    for (const OutlineContour& loop : contours) {
        for (std::size_t i = 0; i < loop.size(); ++i) {
            const OutlinePoint& a = loop[i];
            const OutlinePoint& b = loop[(i + 1) % loop.size()];
            twiceArea += a[0] * b[1] - b[0] * a[1];
        }
    }
    return twiceArea / 2;
}

LogoMesh buildLogoMesh(const LogoShape& shape) {
    const std::vector<OutlineContour> outline = logoOutline(shape);
    LogoMesh mesh;
    addFaces(shape, outline, mesh);
    addWalls(shape, outline, mesh);
    return mesh;
}
