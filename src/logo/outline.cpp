#include "logo/outline.h"

#include <cmath>

void setVertex(Outline& outline, int i, float x, float y) {
    if (i < 0 || i > 19) {
        return;
    }
    outline[i][0] = x;
    outline[i][1] = y;
}

void setDepth(Outline& outline, float z) {
    for (Vertex& v : outline) {
        v[2] = z;
    }
}

void buildLayers(const LogoShape& shape, Outline& front, Outline& back) {
    const float W = shape.logoWidth, H = shape.logoHeight, T = shape.strokeWidth;
    const float a = shape.slantAngle * 0.017453292f;
    const float s = std::sin(a);
    const float t = std::tan(a);
    const float hLow = (H - T) / 2;  // lower edge of the cross bar
    const float hHigh = (H + T) / 2; // upper edge of the cross bar
    const float x9 = W - hHigh / t - T / s;
    const float innerBarX = (x9 + W / 2 + T) / 2;

    // Slanted bar 0-1-18-19 and the cross bar 2-3-16-17 that overlaps it.
    setVertex(front, 0, 0, 0);
    setVertex(front, 1, T / s, 0);
    setVertex(front, 2, hLow / t, hLow);
    setVertex(front, 3, W / 2, hLow);
    // Lower bar, lower slanted bar and the short inner bar.
    setVertex(front, 4, W / 2, 0);
    setVertex(front, 5, W - H / t, 0);
    setVertex(front, 6, W - hLow / t, hHigh);
    setVertex(front, 7, innerBarX, hHigh);
    setVertex(front, 8, innerBarX, hLow);
    setVertex(front, 9, x9, hLow);
    setVertex(front, 10, W - (H - T) / t - T / s, T);
    // Upright and upper bar.
    setVertex(front, 11, W / 2 + T, T);
    setVertex(front, 12, W / 2 + T, H - T);
    setVertex(front, 13, W - T / t, H - T);
    setVertex(front, 14, W, H);
    setVertex(front, 15, W / 2, H);
    setVertex(front, 16, W / 2, hHigh);
    setVertex(front, 17, hHigh / t, hHigh);
    setVertex(front, 18, H / t + T / s, H);
    setVertex(front, 19, H / t, H);
    setDepth(front, shape.logoDepth * 0.5f);

    setDepth(back, shape.logoDepth * -0.5f);
    for (int i = 0; i < 20; ++i) {
        setVertex(back, i, front[i][0], front[i][1]);
    }
}
