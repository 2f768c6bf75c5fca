// Where the spot light stands, from the pointer position of the last drag.
#pragma once

struct LightPlacement {
    float x; // -1 at the window's left edge, +1 at its right edge
    float y; // -1 at the bottom edge, +1 at the top edge
};

// A window with a zero dimension has no centre to measure from, so the light
// then stays on the viewing axis instead of turning NaN or infinite.
LightPlacement lightFromPointer(int pointerX, int pointerY, int windowWidth, int windowHeight);
