#include "marble.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Integer hash of a lattice point: the same on every machine, unlike rand().
float latticeValue(std::uint32_t x, std::uint32_t y) {
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ 0x9e3779b9u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return static_cast<float>(h & 0xffffu) / 65535.0f;
}

float smooth(float t) {
    return t * t * (3.0f - 2.0f * t);
}

// Value noise on a lattice of `cells` squares that wraps around, so the
// noise at u = 1 equals the noise at u = 0.
float periodicNoise(float u, float v, std::uint32_t cells) {
    float x = u * static_cast<float>(cells);
    float y = v * static_cast<float>(cells);
    auto x0 = static_cast<std::uint32_t>(x);
    auto y0 = static_cast<std::uint32_t>(y);
    float fx = smooth(x - static_cast<float>(x0));
    float fy = smooth(y - static_cast<float>(y0));
    std::uint32_t x1 = (x0 + 1) % cells, y1 = (y0 + 1) % cells;
    x0 %= cells;
    y0 %= cells;
    float bottom = latticeValue(x0, y0) + (latticeValue(x1, y0) - latticeValue(x0, y0)) * fx;
    float top = latticeValue(x0, y1) + (latticeValue(x1, y1) - latticeValue(x0, y1)) * fx;
    return bottom + (top - bottom) * fy;
}

float turbulence(float u, float v) {
    float sum = 0.0f, amplitude = 0.5f;
    for (std::uint32_t cells = 4; cells <= 64; cells *= 2) {
        sum += amplitude * periodicNoise(u, v, cells);
        amplitude *= 0.5f;
    }
    return sum; // 0 .. about 1
}

} // namespace

std::vector<unsigned char> makeMarble(int size) {
    // Light, warm stone with blue-grey veins: bright enough that the lit
    // material colour it multiplies still reads as the logo's colour.
    const float stone[3] = {236.0f, 232.0f, 222.0f};
    const float vein[3] = {96.0f, 102.0f, 116.0f};
    const float pi = 3.14159265f;

    std::vector<unsigned char> rgb(static_cast<size_t>(size) * size * 3);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float u = static_cast<float>(x) / static_cast<float>(size);
            float v = static_cast<float>(y) / static_cast<float>(size);
            // Whole periods across the tile keep the veins seamless.
            float swirl = turbulence(u, v);
            float phase = 2.0f * pi * (2.0f * u + v) + 7.0f * swirl;
            float veinWeight = std::pow(1.0f - std::fabs(std::sin(phase)), 3.0f);
            // Faint clouds in the stone between the veins.
            float cloud = 0.92f + 0.16f * turbulence(v, u);
            unsigned char* p = &rgb[(static_cast<size_t>(y) * size + x) * 3];
            for (int c = 0; c < 3; ++c) {
                float base = std::fmin(stone[c] * cloud, 255.0f);
                float value = base + (vein[c] - base) * veinWeight;
                p[c] = static_cast<unsigned char>(std::lround(value));
            }
        }
    }
    return rgb;
}

std::vector<unsigned char> photoLikePicture(int width, int height) {
    const int tile = 1024;
    const std::vector<unsigned char> marble = makeMarble(tile);
    std::vector<unsigned char> rgb(size_t(width) * height * 3);
    std::uint32_t noise = 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int value =
                marble[(y % tile * tile) * 3 + x % (tile * 3)] + static_cast<int>(noise >> 29) - 4;
            rgb[size_t(width) * 3 * y + x] = static_cast<unsigned char>(std::clamp(value, 0, 255));
        }
    }
    return rgb;
}
