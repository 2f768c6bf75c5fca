#include "input/keys.h"

#include <cstdint>

#include "app/scene.h"

namespace {

constexpr unsigned char escapeKey = 27;
constexpr float colorStep = 0.05f;

} // namespace

double stepAngle(double angle, double delta) {
    auto whole = static_cast<std::int32_t>(angle + delta);
    return static_cast<double>(whole % 360);
}

float lowerComponent(float value, float step) {
    double result = static_cast<double>(value) - static_cast<double>(step);
    return result < 0.0 ? 0.0f : static_cast<float>(result);
}

float raiseComponent(float value, float step) {
    double result = static_cast<double>(value) + static_cast<double>(step);
    return result > 1.0 ? 1.0f : static_cast<float>(result);
}

bool applyKey(unsigned char key) {
    float& red = scene.logoColor[0];
    float& green = scene.logoColor[1];
    float& blue = scene.logoColor[2];
    const double step = scene.rotationStep;

    switch (key) {
    case escapeKey:
        return false;
    case 'x':
        scene.angleX = stepAngle(scene.angleX, step);
        break;
    case 'X':
        scene.angleX = stepAngle(scene.angleX, -step);
        break;
    case 'y':
        scene.angleY = stepAngle(scene.angleY, step);
        break;
    case 'Y':
        scene.angleY = stepAngle(scene.angleY, -step);
        break;
    case 'z':
        scene.angleZ = stepAngle(scene.angleZ, step);
        break;
    case 'Z':
        scene.angleZ = stepAngle(scene.angleZ, -step);
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
