#include "input/pointer.h"

LightPlacement lightFromPointer(int pointerX, int pointerY, int windowWidth, int windowHeight) {
    if (windowWidth == 0 || windowHeight == 0) {
        return {0.0f, 0.0f};
    }
    // The subtraction stays in integers; only the division is floating point.
    float x = static_cast<float>(pointerX) / static_cast<float>(windowWidth) * 2.0f - 1.0f;
    float y =
        static_cast<float>(windowHeight - pointerY) / static_cast<float>(windowHeight) * 2.0f -
        1.0f;
    return {x, y};
}
