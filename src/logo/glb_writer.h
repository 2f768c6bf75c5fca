// The logo as one binary glTF 2.0 file (.glb), set up as the window shows it:
// its mesh, marble, colour, turn, camera and spot light, and optionally a
// looping turntable. No GL and no files here: the caller gets the bytes.
#pragma once

#include <string>
#include <vector>

#include "logo/mesh.h"
#include "logo/model_view.h"

// The window's Phong highlight (specular 0.5, shininess 120) has no exact
// metallic-roughness equal; this is the material's stand-in for it. A
// smoother surface lays a white sheen over the face that pales the colour;
// of 0.55 to 1.0, 0.8 kept the mean colour's saturation nearest the
// window's in Debian's three.js and npm's current one alike.
constexpr double modelRoughness = 0.8;
// A viewer shows a white surface under E lux at E / pi in linear light,
// encoded to sRGB, where the window shows E itself; the light is this much
// brighter than the window's, which put the logo's brightness in those
// viewers at 0.8 to 1.3 times the window's, about evenly either side.
constexpr double modelLightGain = 2.2;

// Builds the .glb of the mesh (from buildLogoMesh) as the view shows it:
//  - units: glTF's metres, each logo unit view.millimetresPerUnit / 1000 m
//    long; the logo's centre at the origin, its node turned by view.turn
//    (about x, then y, then z, as the window turns it);
//  - a perspective camera 12.75 units out on +z looking at the centre, with
//    the window's field of view widened along the longer side of
//    view.width x view.height, and the window's clip planes;
//  - a KHR_lights_punctual spot light fixed to the camera on the line from
//    the centre through the window's light (view.light), aimed at the
//    centre and lighting it modelLightGain times as brightly as the
//    window's light does;
//  - a metallic-roughness material in view.colour (as linear factors), its
//    base colour modulated by the picture, repeated every 2 units as in the
//    window, and an emission of a fifth of both for the window's global
//    ambient;
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
