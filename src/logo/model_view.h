// What a model file of the logo carries besides its mesh: the view the
// window would show and the picture it lays over the logo. No GL here.
#pragma once

#include <array>

#include "picture/write/model_picture.h"

// The view a model file is set up with, as the window would show it.
struct ModelView {
    std::array<double, 3> turn = {0, 0, 0}; // degrees about x, then y, then z, as --turn
    std::array<float, 4> colour = {0.2f, 0.6f, 0.4f, 1.0f}; // ambient and diffuse, as --colour
    std::array<float, 2> light = {0, 0}; // as --light: -1 left or bottom to +1 right or top
    int width = 400, height = 400;       // --size: the camera's aspect ratio
    double millimetresPerUnit = 10;      // --scale: the length of one logo unit
    // A turntable, as --frames, --spin and --fps give it; 0 frames: none.
    int frames = 0;
    std::array<double, 3> spin = {0, 360, 0};
    double framesPerSecond = 30;
};
