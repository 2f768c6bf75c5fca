// Window creation, the one-time render state and the per-frame drawing.
#pragma once

#include <array>
#include <string>

#include "input/keys.h"
#include "input/pointer.h"
#include "logo/outline.h"

// Prints nothing; creates the 400 x 400 "Ovrik-Logo" window at the top-left
// corner, sets up the render state and registers the GLUT callbacks.
// Call once per process: GLUT allows only one glutInit.
void openWindow(int* argc, char** argv);

// The marble installed with the program, found from where the executable
// lies, so that any install prefix works; empty when that is not known.
std::string installedMarble();

// Fixed GL state every frame relies on; needs a current GL context.
void initRendering();

// Everything a frame is drawn from, so that a frame depends on nothing else.
struct FrameView {
    ViewState state; // the turn and colour
    LogoShape shape;
    unsigned int textureName;        // 0: none, the colour alone
    double left, right, bottom, top; // the field of view at the near plane
    LightPlacement light;
    std::array<float, 4> clearColor;
};

// The window's view: the scene's logo, turn, colour and texture, its square
// field of view, the light where the last drag (or --light, until the first
// drag) placed it, the grey background.
FrameView windowView();

// The scene's logo, turn, colour and texture in a field of view
// 2 halfWidth by 2 halfHeight at the near plane, lit from `light`.
FrameView sceneView(double halfWidth, double halfHeight, LightPlacement light,
                    const std::array<float, 4>& clearColor);

// Draws one frame into whatever framebuffer is bound, over the viewport
// that is set; the window, the saved view and the clip share it.
void renderFrame(const FrameView& view);

// GLUT display callback: the window's frame, then the buffer swap.
void display();
