#include <GL/freeglut.h>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "app/render.h"

namespace {

const char* const helpText =
    "Usage: ovrik-logo [--help] [--version] [GLUT options]\n"
    "Shows the marble Ovrik logo in a window, turned with the keyboard and lit by a\n"
    "spot light that follows the mouse.\n"
    "\n"
    "  x y z / X Y Z    turn the logo 5 degrees about the x, y or z axis, one way or back\n"
    "  R G B / r g b    raise or lower the red, green or blue of its colour by 0.05\n"
    "  drag             move the spot light (any mouse button held)\n"
    "  Escape           quit\n"
    "\n"
    "The marble is read from marmor.bmp in the working directory, an uncompressed\n"
    "24-bit BMP; without it the logo is drawn in its colour only.\n"
    "\n"
    "  --help           show this help and exit\n"
    "  --version        show the version and exit\n"
    "  -display DISPLAY, -geometry WxH+X+Y, -direct, -indirect, -iconic, -gldebug,\n"
    "  -sync            passed on to GLUT\n";

bool isOneOf(const char* arg, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (std::strcmp(arg, name) == 0) {
            return true;
        }
    }
    return false;
}

// Handles --help and --version and refuses what neither this program nor
// GLUT knows, before any display is opened. Returns the exit status for the
// program to end with, or -1 to go on with the arguments left for GLUT.
int handleOwnOptions(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0) {
            std::fputs(helpText, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::printf("ovrik-logo %s\n", OVRIK_VERSION);
            return 0;
        }
        const char* problem = nullptr;
        if (isOneOf(arg, {"-display", "-geometry"})) {
            problem = ++i < argc ? nullptr : "needs a value"; // GLUT takes the value too
        } else if (!isOneOf(arg, {"-direct", "-indirect", "-iconic", "-gldebug", "-sync"})) {
            problem = "is not known";
        }
        if (problem != nullptr) {
            std::fprintf(stderr, "ovrik-logo: '%s' %s; see ovrik-logo --help\n", arg, problem);
            return 2;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    // Line by line even into a pipe or a launcher's log, so each message shows
    // while the window is open and none is lost if the program is killed.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (int status = handleOwnOptions(argc, argv); status >= 0) {
        return status;
    }
    // Printed before glutInit so the hints show even if no window can open.
    std::printf("Use x/y/z/X/Y/Z-keys to rotate.\n");
    std::printf("Move mouse while pressing button to change light position.\n");
    openWindow(&argc, argv);
    glutMainLoop();
    return 0;
}
