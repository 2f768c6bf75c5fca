// The logo as model files: a binary STL for printing, and an OBJ with its
// material and picture for 3D programs. Each is made in memory and written
// as output_file.h writes every file: under a temporary name, renamed into
// place once complete. No GL here.
#pragma once

#include <string>
#include <vector>

#include "logo/mesh.h"
#include "logo/model_view.h"

// A binary STL of `mesh`: an 80-byte header (never beginning with "solid"),
// the triangle count and one 50-byte facet per triangle, all little-endian,
// each facet with its unit normal from the cross product of its edges. In
// millimetres, millimetresPerUnit per logo unit, z up: the logo lies on its
// back face at z = 0, front face up, centred in x and y. False with `error`
// set when the scale is not a positive finite number or puts the logo
// beyond float's range, a triangle names a vertex the mesh lacks, or memory
// runs out; `bytes` is then empty.
bool encodeStl(const LogoMesh& mesh, double millimetresPerUnit, std::vector<unsigned char>& bytes,
               std::string& error);

// An OBJ and its MTL, text as every reader takes it whatever the locale:
// positions in metres (millimetresPerUnit / 1000 per logo unit), centred
// and y up as the window shows the logo; the window's normals; its marble
// coordinates as vt (OBJ's origin is the picture's bottom left, and the
// picture is stored upright). The OBJ names its material file
// `baseName`.mtl; the material has the view's colour as Ka and Kd and the
// window's specular Ks 0.5 and Ns 120 and, when `picture` has bytes,
// map_Kd `baseName`.`picture.extension`. baseName is a bare file name, the
// folder left out: the files lie side by side. False with `error` set as
// for encodeStl; the texts are then empty.
bool encodeObj(const LogoMesh& mesh, const ModelView& view, const ModelPicture& picture,
               const std::string& baseName, std::string& obj, std::string& mtl, std::string& error);

// Writes the STL to `path`, or to the descriptor `stream` when path is "-".
// False with `error` saying why; no file is then left under `path`.
bool writeStl(const std::string& path, int stream, const LogoMesh& mesh, double millimetresPerUnit,
              std::string& error);

// Writes a model's bytes (the glb's, say) to `path`, or to the descriptor
// `stream` when path is "-", as writeStl writes its own.
bool writeModelFile(const std::string& path, int stream, const std::vector<unsigned char>& bytes,
                    std::string& error);

// Writes objPath ("out/logo.obj") with, beside it, its material
// ("out/logo.mtl") and, when `picture` has bytes, the picture
// ("out/logo.png" or "out/logo.jpg"); a path without the .obj extension
// gets the others' extensions added. All of them are complete under
// temporary names before the first takes its name, the OBJ last. False with
// `failedPath` naming the file that could not be written and `error` saying
// why: a failed write leaves no new file and every older one as it was;
// should a rename fail, the files already renamed give their names back to
// the older ones (or to none), so no half-new set is left. "-" is refused:
// the OBJ needs files beside it.
bool writeObjFiles(const std::string& objPath, const LogoMesh& mesh, const ModelView& view,
                   const ModelPicture& picture, std::string& failedPath, std::string& error);
