// Keyboard arithmetic, kept free of GL and of the scene so it can be checked
// directly.
#pragma once

#include <array>

// What the keys change: the logo's turn and its material colour.
struct ViewState {
    // Whole degrees; steps of 5 from 0 keep them within -355..355.
    double angleX, angleY, angleZ;
    std::array<float, 4> logoColor; // r, g, b, a; each of r, g, b within 0..1
};

// Adds delta, truncates to whole degrees and takes the remainder of 360 with
// the sign of the sum, so the angle passes through 0 without wrapping.
double stepAngle(double angle, double delta);

// A clip's turn at `frame` of `frames` (whole, or between two frames for a
// model's keys): the start plus frame / frames of the spin, each angle
// reduced to -360..360 with its fractions kept, so whole degrees give
// exactly what the keys and --turn give.
std::array<double, 3> clipFrameTurn(const std::array<double, 3>& start,
                                    const std::array<double, 3>& spin, double frame, int frames);

// The bound replaces the value only when the exact result overshoots it;
// the stored value is the result rounded to float.
float lowerComponent(float value, float step);
float raiseComponent(float value, float step);

// Applies one key. Returns false for Escape, which asks the caller to end
// the program; every other key returns true, also those without an effect.
bool applyKey(ViewState& view, unsigned char key, float rotationStep);
