// The one process-wide scene state. Every callback reads and writes it on
// the GLUT thread, so it needs no locking.
#pragma once

#include <array>

struct SceneState {
    // Logo parameters: fixed for the life of the program.
    float logoWidth = 3.4f;
    float logoHeight = 1.4f;
    float strokeWidth = 0.25f;
    float logoDepth = 0.5f;
    float slantAngle = 50.0f; // degrees

    std::array<float, 4> logoColor = {0.2f, 0.6f, 0.4f, 1.0f};
    std::array<float, 4> clearColor = {0.4f, 0.4f, 0.4f, 1.0f};
    float rotationStep = 5.0f; // degrees per rotation key

    // Last pointer position of a drag, window pixels, origin top left.
    int pointerX = 200;
    int pointerY = 200;

    // Whole degrees in -355..355.
    double angleX = 0.0;
    double angleY = 0.0;
    double angleZ = 0.0;

    int windowWidth = 0;
    int windowHeight = 0;

    unsigned int textureName = 0; // 0 while no marble texture was made
};

extern SceneState scene;
