// The one process-wide scene state. Every callback reads and writes it on
// the GLUT thread, so it needs no locking.
#pragma once

#include <array>
#include <optional>

#include "input/keys.h"
#include "input/pointer.h"
#include "logo/outline.h"

struct SceneState {
    // Fixed for the life of the program.
    LogoShape shape = {3.4f, 1.4f, 0.25f, 0.5f, 50.0f};
    std::array<float, 4> clearColor = {0.4f, 0.4f, 0.4f, 1.0f};
    float rotationStep = 5.0f; // degrees per rotation key

    // Turn and colour, changed by the keys.
    ViewState view = {0.0, 0.0, 0.0, {0.2f, 0.6f, 0.4f, 1.0f}};

    // Last pointer position of a drag, window pixels, origin top left.
    int pointerX = 200;
    int pointerY = 200;
    // Set by --light; places the light until the first drag does.
    std::optional<LightPlacement> startLight;

    int windowWidth = 0;
    int windowHeight = 0;

    // The picture named on the command line; without one, marmor.bmp from
    // the working directory or else the marble installed with the program.
    const char* pictureFile = nullptr;
    unsigned int textureName = 0; // 0 while no marble texture was made
};

extern SceneState scene;
