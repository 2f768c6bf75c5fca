// Drawing of the extruded logo with generated marble coordinates.
#pragma once

#include "logo/outline.h"

// Draws the logo centred on the origin; leaves the current matrix as found.
void drawLogo();

// Seven quads of one layer, all with the normal (0, 0, nz).
void drawFace(const Outline& outline, float nz);

// The eighteen quads that join the front and back layers.
void drawSides(const Outline& front, const Outline& back);
