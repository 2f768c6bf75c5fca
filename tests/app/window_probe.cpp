// Prints what a window shows, for the shell-driven tests:
//   window-probe WINDOW_ID  ->  "WIDTH HEIGHT HASH LOGO_PIXELS DRAWN_PIXELS"
// LOGO_PIXELS counts the pixels that are not the grey background,
// DRAWN_PIXELS those that are not black (an undrawn window is black).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "window_capture.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window-probe WINDOW_ID\n");
        return 2;
    }
    unsigned long window = std::strtoul(argv[1], nullptr, 0);
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    if (!captureWindow(window, width, height, rgb)) {
        std::fprintf(stderr, "window-probe: cannot capture window %s\n", argv[1]);
        return 1;
    }
    unsigned long long hash = 1469598103934665603ull; // FNV-1a
    long logoPixels = 0, drawnPixels = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        bool grey = true, black = true;
        for (int c = 0; c < 3; ++c) {
            hash = (hash ^ rgb[i + c]) * 1099511628211ull;
            grey = grey && std::abs(rgb[i + c] - 102) <= 2;
            black = black && rgb[i + c] == 0;
        }
        logoPixels += grey ? 0 : 1;
        drawnPixels += black ? 0 : 1;
    }
    std::printf("%d %d %016llx %ld %ld\n", width, height, hash, logoPixels, drawnPixels);
    return 0;
}
