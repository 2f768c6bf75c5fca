// Drawing of the extruded logo with generated marble coordinates.
#pragma once

#include <array>

#include "logo/outline.h"

// Draws the logo centred on the origin in the given ambient and diffuse
// colour, with the marble of textureName (0: none); leaves the current
// matrix as found.
void drawLogo(const LogoShape& shape, const std::array<float, 4>& color, unsigned int textureName);

// Seven quads of one layer, all with the normal (0, 0, nz).
void drawFace(const Outline& outline, float nz);

// The eighteen quads that join the front and back layers.
void drawSides(const Outline& front, const Outline& back);
