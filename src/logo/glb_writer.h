// The logo as one binary glTF 2.0 file (.glb), set up as the window shows it:
// its mesh, marble, colour, turn, camera and spot light, and optionally a
// looping turntable. No GL and no files here: the caller gets the bytes.
#pragma once

#include <string>
#include <vector>

#include "logo/mesh.h"
#include "logo/model_view.h"

// The window's Phong highlight (specular 0.5, shininess 120) has no exact
// metallic-roughness equal; this is the material's stand-in for it.
// Of 0.3 to 1.0, three.js's marble detail correlated best with the window's at 0.55.
constexpr double modelRoughness = 0.55;

// Builds the .glb of the mesh (from buildLogoMesh) as the view shows it:
//  - units: glTF's metres, each logo unit view.millimetresPerUnit / 1000 m
//    long; the logo's centre at the origin, its node turned by view.turn
//    (about x, then y, then z, as the window turns it);
//  - a perspective camera 12.75 units out on +z looking at the centre, with
//    the window's field of view widened along the longer side of
//    view.width x view.height, and the window's clip planes;
//  - a KHR_lights_punctual spot light fixed to the camera on the line from
//    the centre through the window's light (view.light), aimed at the
//    centre and lighting it as brightly as the window's light does;
//  - a metallic-roughness material in view.colour, its base colour
//    modulated by the picture, repeated every 2 units as in the window, and
//    an emission of a fifth of both for the window's global ambient;
//  - with view.frames > 0, a looping LINEAR animation of the logo's turn,
//    frame i of the program's clip at i / view.framesPerSecond seconds.
// The picture (PNG or JPEG, upright) is embedded as is, with the buffers,
// in the file's binary chunk; no bytes: no texture. asset.generator is
// generator: the program and its version, as --version prints them.
// Returns false with a one-line reason in error, glb left empty, for an
// empty or broken mesh, a view without a size, scale or frame rate, a
// picture of another type, or when the glTF library fails.
bool writeGlbModel(const LogoMesh& mesh, const ModelView& view, const ModelPicture& picture,
                   const std::string& generator, std::vector<unsigned char>& glb,
                   std::string& error);
