#include "app/callbacks.h"

#include <GL/freeglut.h>
#include <cstdlib>

#include "app/scene.h"
#include "input/keys.h"

void keyboard(unsigned char key, int /*x*/, int /*y*/) {
    if (!applyKey(scene.view, key, scene.rotationStep)) {
        std::exit(0);
    }
    // Also for keys without an effect: a redraw is cheap and harmless.
    glutPostRedisplay();
}

void motion(int x, int y) {
    // Positions outside the window are kept: the light may stand off-screen.
    scene.pointerX = x;
    scene.pointerY = y;
    glutPostRedisplay();
}

void reshape(int width, int height) {
    // The projection is rebuilt every frame, so only the viewport follows.
    scene.windowWidth = width;
    scene.windowHeight = height;
    glViewport(0, 0, width, height);
}
