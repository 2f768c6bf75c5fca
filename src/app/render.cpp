#include "app/render.h"

#include <GL/freeglut.h>
#include <filesystem>
#include <string>

#include "app/callbacks.h"
#include "app/scene.h"
#include "logo/logo.h"
#include "logo/view_constants.h"
#include "texture/texture.h"

std::string installedMarble() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return (program.parent_path() / OVRIK_INSTALLED_MARBLE).lexically_normal().string();
}

void initRendering() {
    glEnable(GL_NORMALIZE);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    // Without a picture the logo is still drawn, in its material colour.
    if (scene.pictureFile != nullptr) {
        scene.textureName = loadNamedTexture(scene.pictureFile);
    } else {
        const std::string marble = installedMarble();
        scene.textureName = loadTexture("marmor.bmp", marble.empty() ? nullptr : marble.c_str());
    }

    // Texturing stays on even without a texture: binding the empty default
    // object then leaves the material colour alone.
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_POINT_SMOOTH);
    glEnable(GL_LINE_SMOOTH);
    glHint(GL_POINT_SMOOTH_HINT, GL_NICEST);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
}

void openWindow(int* argc, char** argv) {
    scene.windowWidth = 400;
    scene.windowHeight = 400;
    // Set before glutInit, so that GLUT's -geometry option, which glutInit
    // reads, can still override them; reshape reports the size it took.
    glutInitWindowSize(scene.windowWidth, scene.windowHeight);
    glutInitWindowPosition(0, 0);
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_DEPTH);
    glutCreateWindow("Ovrik-Logo");
    initRendering();

    // No idle or timer callback: the picture changes only on input,
    // resizing and exposure.
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutMotionFunc(motion);
    glutSpecialFunc(special);
}

FrameView windowView() {
    const LightPlacement light = scene.startLight
                                     ? *scene.startLight
                                     : lightFromPointer(scene.pointerX, scene.pointerY,
                                                        scene.windowWidth, scene.windowHeight);
    return sceneView(frustumHalfSide, frustumHalfSide, light, scene.clearColor);
}

FrameView sceneView(double halfWidth, double halfHeight, LightPlacement light,
                    const std::array<float, 4>& clearColor) {
    return {scene.view, scene.shape, scene.textureName, -halfWidth, halfWidth, -halfHeight,
            halfHeight, light,       clearColor};
}

void renderFrame(const FrameView& view) {
    const auto& c = view.clearColor;
    glClearColor(c[0], c[1], c[2], c[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The camera distance lives in the projection, so the light below can be
    // placed with an identity model-view and stays fixed to the viewer.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(view.left, view.right, view.bottom, view.top, nearPlane, farPlane);
    glTranslated(0, 0, -cameraDistance);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const LightPlacement& light = view.light;
    const GLfloat specular[] = {materialSpecular, materialSpecular, materialSpecular, 1.0f};
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT, GL_SHININESS, materialShininess);

    const auto height = static_cast<GLfloat>(lightHeight);
    const GLfloat position[] = {light.x, light.y, height, static_cast<GLfloat>(lightW)};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    // Aim the spot from the light back at the logo's centre.
    const GLfloat direction[] = {light.x * -1.0f, light.y * -1.0f, height * -1.0f};
    glLightfv(GL_LIGHT0, GL_SPOT_DIRECTION, direction);
    glLightf(GL_LIGHT0, GL_SPOT_CUTOFF, static_cast<GLfloat>(spotCutoffDegrees));
    glLightf(GL_LIGHT0, GL_SPOT_EXPONENT, static_cast<GLfloat>(spotExponent));
    glLightf(GL_LIGHT0, GL_LINEAR_ATTENUATION, static_cast<GLfloat>(linearAttenuation));

    glRotatef(static_cast<float>(view.state.angleX), 1, 0, 0);
    glRotatef(static_cast<float>(view.state.angleY), 0, 1, 0);
    glRotatef(static_cast<float>(view.state.angleZ), 0, 0, 1);

    drawLogo(view.shape, view.state.logoColor, view.textureName);
}

void display() {
    renderFrame(windowView());
    glutSwapBuffers();
}
