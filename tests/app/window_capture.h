// Reads a window's pixels back from the X server. Kept apart from the tests
// because Xlib's macros clash with GoogleTest's names.
#pragma once

#include <vector>

// Fills rgb with width x height pixels of the current GL window, rows
// bottom-up like glReadPixels. Returns false when the server gives no image.
bool captureCurrentWindow(int width, int height, std::vector<unsigned char>& rgb);

// The same for any window on the display named by DISPLAY; also reports the
// window's size.
bool captureWindow(unsigned long window, int& width, int& height, std::vector<unsigned char>& rgb);
