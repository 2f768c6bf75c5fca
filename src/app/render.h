// Window creation, the one-time render state and the per-frame drawing.
#pragma once

#include <array>
#include <string>

#include "input/pointer.h"

// Prints nothing; creates the 400 x 400 "Ovrik-Logo" window at the top-left
// corner, sets up the render state and registers the GLUT callbacks.
// Call once per process: GLUT allows only one glutInit.
void openWindow(int* argc, char** argv);

// The marble installed with the program, found from where the executable
// lies, so that any install prefix works; empty when that is not known.
std::string installedMarble();

// Fixed GL state every frame relies on; needs a current GL context.
void initRendering();

// What a frame takes beyond the scene's shape, turn, colour and texture.
struct FrameView {
    double left, right, bottom, top; // the field of view at the near plane
    LightPlacement light;
    std::array<float, 4> clearColor;
};

// The window's view: its square field of view, the light where the last
// drag (or --light, until the first drag) placed it, the grey background.
FrameView windowView();

// Draws one frame into whatever framebuffer is bound, over the viewport
// that is set; the window and the saved view share it.
void renderFrame(const FrameView& view);

// GLUT display callback: the window's frame, then the buffer swap.
void display();
