#include "logo/logo.h"

#include <GL/gl.h>

namespace {

void drawQuad(float nx, float ny, float nz, const Vertex& a, const Vertex& b, const Vertex& c,
              const Vertex& d) {
    glBegin(GL_QUADS);
    glNormal3f(nx, ny, nz);
    glVertex3fv(a.data());
    glVertex3fv(b.data());
    glVertex3fv(c.data());
    glVertex3fv(d.data());
    glEnd();
}

} // namespace

void drawFace(const Outline& o, float nz) {
    // Counter-clockwise seen from +z; the back layer reuses the same order.
    drawQuad(0, 0, nz, o[0], o[1], o[18], o[19]);   // slanted bar
    drawQuad(0, 0, nz, o[2], o[3], o[16], o[17]);   // cross bar
    drawQuad(0, 0, nz, o[4], o[11], o[12], o[15]);  // upright
    drawQuad(0, 0, nz, o[4], o[5], o[10], o[11]);   // lower bar
    drawQuad(0, 0, nz, o[10], o[5], o[6], o[9]);    // lower slanted bar
    drawQuad(0, 0, nz, o[9], o[6], o[7], o[8]);     // short inner bar
    drawQuad(0, 0, nz, o[15], o[12], o[13], o[14]); // upper bar
}

void drawSides(const Outline& f, const Outline& b) {
    // Axis-aligned normals, also on the slanted edges. Several of these quads
    // are wound clockwise from outside, which is why culling stays off.
    drawQuad(-1, 0, 0, f[0], f[19], b[19], b[0]);
    drawQuad(0, -1, 0, f[0], f[1], b[1], b[0]);
    drawQuad(1, 0, 0, f[18], f[1], b[1], b[18]);
    drawQuad(0, 1, 0, f[18], f[19], b[19], b[18]);
    drawQuad(0, -1, 0, f[2], f[3], b[3], b[2]);
    drawQuad(0, 1, 0, f[17], f[16], b[16], b[17]);
    drawQuad(-1, 0, 0, b[4], f[4], f[15], b[15]);
    drawQuad(0, 1, 0, f[15], f[14], b[14], b[15]);
    drawQuad(1, 0, 0, f[14], f[13], b[13], b[14]);
    drawQuad(0, -1, 0, f[12], f[13], b[13], b[12]);
    drawQuad(1, 0, 0, f[12], f[11], b[11], b[12]);
    drawQuad(0, 1, 0, f[10], f[11], b[11], b[10]);
    drawQuad(-1, 0, 0, f[10], f[9], b[9], b[10]);
    drawQuad(0, -1, 0, f[8], f[9], b[9], b[8]);
    drawQuad(-1, 0, 0, f[8], f[7], b[7], b[8]);
    drawQuad(0, 1, 0, f[7], f[6], b[6], b[7]);
    drawQuad(1, 0, 0, f[6], f[5], b[5], b[6]);
    drawQuad(0, -1, 0, f[4], f[5], b[5], b[4]);
}

void drawLogo(const LogoShape& shape, const std::array<float, 4>& color, unsigned int textureName) {
    glPushMatrix();

    Outline front{};
    Outline back{};
    buildLayers(shape, front, back);

    glBindTexture(GL_TEXTURE_2D, textureName);

    // Object-space coordinates, taken before centring: the marble is fixed
    // to the logo and repeats every 2 units.
    const GLfloat sPlane[] = {0.5f, 0.0f, 0.5f, 0.0f};
    const GLfloat tPlane[] = {0.5f, 0.5f, 0.0f, 0.0f};
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGenfv(GL_S, GL_OBJECT_PLANE, sPlane);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_OBJECT_LINEAR);
    glTexGenfv(GL_T, GL_OBJECT_PLANE, tPlane);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);

    glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, color.data());

    glTranslated(shape.logoWidth * -0.5, shape.logoHeight * -0.5, 0);

    drawFace(front, 1.0f);
    drawFace(back, -1.0f);
    drawSides(front, back);

    glPopMatrix();
}
