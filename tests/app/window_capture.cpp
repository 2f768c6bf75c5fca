#include "window_capture.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

int shiftOf(unsigned long mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

bool capture(Display* display, Drawable window, int width, int height,
             std::vector<unsigned char>& rgb) {
    if (display == nullptr || width <= 0 || height <= 0) {
        return false;
    }
    XSync(display, False);
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    const int shifts[3] = {shiftOf(masks[0]), shiftOf(masks[1]), shiftOf(masks[2])};
    rgb.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned long value = XGetPixel(image, x, height - 1 - y);
            unsigned char* out = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                out[c] = static_cast<unsigned char>((value & masks[c]) >> shifts[c]);
            }
        }
    }
    XDestroyImage(image);
    return true;
}

} // namespace

bool captureCurrentWindow(int width, int height, std::vector<unsigned char>& rgb) {
    // Everything the frame drew must have reached the server first.
    glFinish();
    return capture(glXGetCurrentDisplay(), glXGetCurrentDrawable(), width, height, rgb);
}

bool captureWindow(unsigned long window, int& width, int& height, std::vector<unsigned char>& rgb) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    XWindowAttributes attributes;
    bool ok = XGetWindowAttributes(display, window, &attributes) != 0;
    if (ok) {
        width = attributes.width;
        height = attributes.height;
        ok = capture(display, window, width, height, rgb);
    }
    XCloseDisplay(display);
    return ok;
}
