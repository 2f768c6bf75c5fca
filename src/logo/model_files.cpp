#include "logo/model_files.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <numeric>
#include <strings.h>
#include <unistd.h>

#include "logo/view_constants.h"
#include "picture/write/output_file.h"

namespace {

constexpr char stlHeader[] = "ovrik-logo binary STL, millimetres, z up";
static_assert(sizeof stlHeader <= 80, "an STL header has 80 bytes");
constexpr size_t stlFacetBytes = 50;
constexpr char materialName[] = "logo";

// The mesh can be written at this scale: every triangle names vertices it
// has, and every coordinate, scaled and moved, is a finite float. lowestZ is
// the back face's z.
bool checkMesh(const LogoMesh& mesh, double millimetresPerUnit, float& lowestZ,
               std::string& error) {
    if (!std::isfinite(millimetresPerUnit) || millimetresPerUnit <= 0) {
        error = "the scale is not a positive number of millimetres per unit";
        return false;
    }
    const size_t vertexCount = mesh.vertices.size();
    const auto namesMissingVertex = [vertexCount](const std::array<std::uint32_t, 3>& corners) {
        return corners[0] >= vertexCount || corners[1] >= vertexCount || corners[2] >= vertexCount;
    };
    if (std::any_of(mesh.triangles.begin(), mesh.triangles.end(), namesMissingVertex)) {
        error = "a triangle names a vertex the mesh lacks";
        return false;
    }
    lowestZ = 0;
    double farthest = 0;
    for (const MeshVertex& vertex : mesh.vertices) {
        lowestZ = std::fmin(lowestZ, vertex.position[2]);
        farthest = std::accumulate(vertex.position.begin(), vertex.position.end(), farthest,
                                   [](double far, float coordinate) {
                                       return std::isfinite(coordinate)
                                                  ? std::fmax(far, std::fabs(coordinate))
                                                  : INFINITY;
                                   });
    }
    // Twice: moving the back face to z = 0 can double a distance.
    if (!(2 * farthest * millimetresPerUnit <= FLT_MAX)) {
        error = "the logo at this scale lies beyond what a float holds";
        return false;
    }
    return true;
}

void putLe32(unsigned char* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void putFloats(unsigned char* at, const std::array<float, 3>& values) {
    for (int i = 0; i < 3; ++i) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &values[i], sizeof bits);
        putLe32(at + 4 * i, bits);
    }
}

// In millimetres, the back face at z = 0.
std::array<float, 3> lying(const std::array<float, 3>& position, float lowestZ,
                           double millimetresPerUnit) {
    return {static_cast<float>(position[0] * millimetresPerUnit),
            static_cast<float>(position[1] * millimetresPerUnit),
            static_cast<float>((double{position[2]} - lowestZ) * millimetresPerUnit)};
}

std::array<float, 3> unitNormal(const std::array<float, 3>& a, const std::array<float, 3>& b,
                                const std::array<float, 3>& c) {
    const double u[] = {double{b[0]} - a[0], double{b[1]} - a[1], double{b[2]} - a[2]};
    const double v[] = {double{c[0]} - a[0], double{c[1]} - a[1], double{c[2]} - a[2]};
    const double n[] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                        u[0] * v[1] - u[1] * v[0]};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (length == 0) {
        return {0, 0, 0};
    }
    return {static_cast<float>(n[0] / length), static_cast<float>(n[1] / length),
            static_cast<float>(n[2] / length)};
}

// Shortest digits that read back as the same float, with a point whatever
// the locale.
void appendNumbers(std::string& text, const char* key, const float* values, int count) {
    text += key;
    for (int i = 0; i < count; ++i) {
        char digits[32];
        const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, values[i]);
        text += ' ';
        text.append(digits, end.ptr);
    }
    text += '\n';
}

// OBJ and MTL name their neighbours unquoted, up to the end of the line.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && std::none_of(name.begin(), name.end(), [](char c) {
        return c == '/' || static_cast<unsigned char>(c) <= ' ';
    });
}

bool writeBytes(OutputFile& out, const void* data, size_t size) {
    if (std::fwrite(data, 1, size, out.file) != size) {
        out.error = std::strerror(errno);
        return false;
    }
    return true;
}

// A file of the OBJ's set, written and closed under its temporary name.
struct PendingFile {
    std::string path;
    const void* data;
    size_t size;
    OutputFile out;
    bool keepsOlder; // placed by a swap: its older file waits under the temporary name
};

// "out/logo.obj" -> "out/logo"; any other name is kept whole.
std::string stemOf(const std::string& objPath) {
    const size_t length = objPath.size();
    const bool named = length > 4 && objPath[length - 5] != '/';
    return named && strcasecmp(objPath.c_str() + length - 4, ".obj") == 0
               ? objPath.substr(0, length - 4)
               : objPath;
}

bool failFile(const PendingFile& file, std::string& failedPath, std::string& error) {
    failedPath = file.path;
    error = file.out.error;
    return false;
}

// Swaps the file with the older one under its name, which then waits under
// the temporary name until the whole set is in place; where there is none,
// or the file system cannot swap, renames it.
bool placeKeepingOlder(PendingFile& file) {
    file.keepsOlder = !file.out.temporaryPath.empty() &&
                      renameat2(AT_FDCWD, file.out.temporaryPath.c_str(), AT_FDCWD,
                                file.out.target.c_str(), RENAME_EXCHANGE) == 0;
    return file.keepsOlder || placeOutputFile(file.out);
}

// Puts back what the name held before: the older file, or nothing.
void unplace(const PendingFile& file) {
    if (file.keepsOlder) {
        renameat2(AT_FDCWD, file.out.temporaryPath.c_str(), AT_FDCWD, file.out.target.c_str(),
                  RENAME_EXCHANGE);
    } else if (!file.out.target.empty()) {
        unlink(file.out.target.c_str());
    }
}

bool writePending(std::vector<PendingFile>& files, std::string& failedPath, std::string& error) {
    for (PendingFile& file : files) {
        if (!openOutputFile(file.out, file.path, -1) ||
            !writeBytes(file.out, file.data, file.size) || !closeOutputFile(file.out)) {
            return failFile(file, failedPath, error);
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const bool renamed = !files[i].out.temporaryPath.empty();
        if (!placeKeepingOlder(files[i])) {
            // The set is whole or as it was: a material without its OBJ
            // is no model.
            for (size_t placed = 0; placed < i; ++placed) {
                unplace(files[placed]);
            }
            return failFile(files[i], failedPath, error);
        }
        if (!renamed) {
            files[i].out.target.clear(); // written in place: a device, a FIFO, kept
        }
    }
    return true;
}

} // namespace

bool encodeStl(const LogoMesh& mesh, double millimetresPerUnit, std::vector<unsigned char>& bytes,
               std::string& error) {
    bytes.clear();
    float lowestZ = 0;
    if (!checkMesh(mesh, millimetresPerUnit, lowestZ, error)) {
        return false;
    }
    const size_t count = mesh.triangles.size();
    if (count > UINT32_MAX) {
        error = "an STL counts at most " + std::to_string(UINT32_MAX) + " triangles";
        return false;
    }
    try {
        bytes.assign(84 + stlFacetBytes * count, 0);
    } catch (const std::bad_alloc&) {
        error = std::strerror(ENOMEM);
        return false;
    }
    std::memcpy(bytes.data(), stlHeader, sizeof stlHeader);
    putLe32(bytes.data() + 80, static_cast<std::uint32_t>(count));
    for (size_t t = 0; t < count; ++t) {
        const auto& triangle = mesh.triangles[t];
        const auto a = lying(mesh.vertices[triangle[0]].position, lowestZ, millimetresPerUnit);
        const auto b = lying(mesh.vertices[triangle[1]].position, lowestZ, millimetresPerUnit);
        const auto c = lying(mesh.vertices[triangle[2]].position, lowestZ, millimetresPerUnit);
        unsigned char* facet = bytes.data() + 84 + stlFacetBytes * t; // two zero bytes end it
        putFloats(facet, unitNormal(a, b, c));
        putFloats(facet + 12, a);
        putFloats(facet + 24, b);
        putFloats(facet + 36, c);
    }
    return true;
}

bool encodeObj(const LogoMesh& mesh, const ModelView& view, const ModelPicture& picture,
               const std::string& baseName, std::string& obj, std::string& mtl,
               std::string& error) {
    obj.clear();
    mtl.clear();
    float lowestZ = 0;
    if (!checkMesh(mesh, view.millimetresPerUnit, lowestZ, error)) {
        return false;
    }
    if (!isPlainFileName(baseName) ||
        (!picture.bytes.empty() && !isPlainFileName(picture.extension))) {
        error = "\"" + baseName + "\" cannot name the material and picture: a bare file name " +
                "without white space is needed";
        return false;
    }
    const double metresPerUnit = view.millimetresPerUnit / 1000;
    try {
        obj = "# ovrik-logo, in metres, y up\nmtllib " + baseName + ".mtl\no logo\n";
        for (const MeshVertex& vertex : mesh.vertices) {
            float position[3];
            for (int i = 0; i < 3; ++i) {
                position[i] = static_cast<float>(vertex.position[i] * metresPerUnit);
            }
            appendNumbers(obj, "v", position, 3);
        }
        for (const MeshVertex& vertex : mesh.vertices) {
            appendNumbers(obj, "vt", vertex.texCoord.data(), 2);
        }
        for (const MeshVertex& vertex : mesh.vertices) {
            appendNumbers(obj, "vn", vertex.normal.data(), 3);
        }
        obj += std::string("usemtl ") + materialName + "\n";
        for (const auto& triangle : mesh.triangles) {
            obj += 'f';
            for (const std::uint32_t corner : triangle) {
                const std::string index = std::to_string(corner + std::uint64_t{1});
                obj += ' ' + index + '/' + index + '/' + index;
            }
            obj += '\n';
        }

        // The window's material: its colour ambient and diffuse, white
        // highlights, the marble multiplying the lit colour.
        const float specular[] = {materialSpecular, materialSpecular, materialSpecular};
        mtl = std::string("# ovrik-logo, the window's material\nnewmtl ") + materialName + "\n";
        appendNumbers(mtl, "Ka", view.colour.data(), 3);
        appendNumbers(mtl, "Kd", view.colour.data(), 3);
        appendNumbers(mtl, "Ks", specular, 3);
        appendNumbers(mtl, "Ns", &materialShininess, 1);
        appendNumbers(mtl, "d", &view.colour[3], 1);
        mtl += "illum 2\n";
        if (!picture.bytes.empty()) {
            mtl += "map_Kd " + baseName + "." + picture.extension + "\n";
        }
    } catch (const std::bad_alloc&) {
        obj.clear();
        mtl.clear();
        error = std::strerror(ENOMEM);
        return false;
    }
    return true;
}

bool writeStl(const std::string& path, int stream, const LogoMesh& mesh, double millimetresPerUnit,
              std::string& error) {
    std::vector<unsigned char> bytes;
    return encodeStl(mesh, millimetresPerUnit, bytes, error) &&
           writeModelFile(path, stream, bytes, error);
}

bool writeModelFile(const std::string& path, int stream, const std::vector<unsigned char>& bytes,
                    std::string& error) {
    OutputFile out;
    if (!openOutputFile(out, path, stream) || !writeBytes(out, bytes.data(), bytes.size()) ||
        !closeOutputFile(out) || !placeOutputFile(out)) {
        error = out.error;
        discardOutputFile(out);
        return false;
    }
    return true;
}

bool writeObjFiles(const std::string& objPath, const LogoMesh& mesh, const ModelView& view,
                   const ModelPicture& picture, std::string& failedPath, std::string& error) {
    failedPath = objPath;
    if (objPath == "-") {
        error = "an OBJ is written to a file, its material and picture beside it";
        return false;
    }
    const std::string stem = stemOf(objPath);
    const std::string baseName = stem.substr(stem.rfind('/') + 1);
    std::string obj, mtl;
    if (!encodeObj(mesh, view, picture, baseName, obj, mtl, error)) {
        return false;
    }
    std::vector<PendingFile> files;
    if (!picture.bytes.empty()) {
        files.push_back({stem + "." + picture.extension,
                         picture.bytes.data(),
                         picture.bytes.size(),
                         {},
                         false});
    }
    files.push_back({stem + ".mtl", mtl.data(), mtl.size(), {}, false});
    files.push_back({objPath, obj.data(), obj.size(), {}, false});
    const bool written = writePending(files, failedPath, error);
    for (PendingFile& file : files) {
        discardOutputFile(file.out);
    }
    return written;
}
