#include "input/keys.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr unsigned char escapeKey = 27;
constexpr float colorStep = 0.05f;

} // namespace

double stepAngle(double angle, double delta) {
    auto whole = static_cast<std::int32_t>(angle + delta);
    return static_cast<double>(whole % 360);
}

std::array<double, 3> clipFrameTurn(const std::array<double, 3>& start,
                                    const std::array<double, 3>& spin, double frame, int frames) {
    std::array<double, 3> turn{};
    for (int axis = 0; axis < 3; ++axis) {
        // spin * frame is exact for whole degrees and frames, and so is the
        // division whenever the result is whole.
        turn[axis] = std::fmod(start[axis] + spin[axis] * frame / frames, 360.0);
    }
    return turn;
}

float lowerComponent(float value, float step) {
    double result = static_cast<double>(value) - static_cast<double>(step);
    return result < 0.0 ? 0.0f : static_cast<float>(result);
}

float raiseComponent(float value, float step) {
    double result = static_cast<double>(value) + static_cast<double>(step);
    return result > 1.0 ? 1.0f : static_cast<float>(result);
}

bool applyKey(ViewState& view, unsigned char key, float rotationStep) {
    float& red = view.logoColor[0];
    float& green = view.logoColor[1];
    float& blue = view.logoColor[2];
    const double step = rotationStep;

    switch (key) {
    case escapeKey:
        return false;
    case 'x':
        view.angleX = stepAngle(view.angleX, step);
        break;
    case 'X':
        view.angleX = stepAngle(view.angleX, -step);
        break;
    case 'y':
        view.angleY = stepAngle(view.angleY, step);
        break;
    case 'Y':
        view.angleY = stepAngle(view.angleY, -step);
        break;
    case 'z':
        view.angleZ = stepAngle(view.angleZ, step);
        break;
    case 'Z':
        view.angleZ = stepAngle(view.angleZ, -step);
        break;
    case 'r':
        red = lowerComponent(red, colorStep);
        break;
    case 'R':
        red = raiseComponent(red, colorStep);
        break;
    case 'g':
        green = lowerComponent(green, colorStep);
        break;
    case 'G':
        green = raiseComponent(green, colorStep);
        break;
    case 'b':
        blue = lowerComponent(blue, colorStep);
        break;
    case 'B':
        blue = raiseComponent(blue, colorStep);
        break;
    default:
        break;
    }
    return true;
}
