#include "app/callbacks.h"

#include <GL/freeglut.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/render.h"
#include "app/save_view.h"
#include "app/scene.h"
#include "input/keys.h"

namespace {

std::string savedName(int number) {
    return "ovrik-logo-" + std::to_string(number) + ".png";
}

// What --output draws for the window's size and these options.
void saveWindowView() {
    SaveSettings settings;
    settings.width = scene.windowWidth;
    settings.height = scene.windowHeight;
    const LightPlacement light = windowView().light;
    const std::string options = viewOptionsText(scene.view, light);
    std::string path, error;
    if (saveViewAsNew(settings, savedView(settings, light), savedComment(settings, options),
                      savedName, path, error)) {
        std::printf("Saved %s (%s)\n", path.c_str(), options.c_str());
    } else {
        std::printf("Cannot save %s: %s\n", path.c_str(), error.c_str());
    }
}

} // namespace

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
    scene.startLight.reset();
    glutPostRedisplay();
}

void reshape(int width, int height) {
    // The projection is rebuilt every frame, so only the viewport follows.
    scene.windowWidth = width;
    scene.windowHeight = height;
    glViewport(0, 0, width, height);
}

void special(int key, int /*x*/, int /*y*/) {
    if (key == GLUT_KEY_F12) {
        saveWindowView();
    }
}
