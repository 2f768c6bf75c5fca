#include <GL/freeglut.h>
#include <cstdio>

#include "app/render.h"

int main(int argc, char** argv) {
    // Printed before glutInit so the hints show even if no window can open.
    std::printf("Use x/y/z/X/Y/Z-keys to rotate.\n");
    std::printf("Move mouse while pressing button to change light position.\n");
    openWindow(&argc, argv);
    glutMainLoop();
    return 0;
}
