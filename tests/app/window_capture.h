// Reads the current GL window's pixels back from the X server. Kept apart
// from the tests because Xlib's macros clash with GoogleTest's names.
#pragma once

#include <vector>

// Fills rgb with width x height pixels, rows bottom-up like glReadPixels.
// Returns false when the server gives no image.
bool captureCurrentWindow(int width, int height, std::vector<unsigned char>& rgb);
