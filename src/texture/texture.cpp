#include "texture/texture.h"

#include <GL/gl.h>
#include <cstdlib>

#include "app/scene.h"
#include "texture/bitmap.h"

void loadTexture() {
    BitmapImage image;
    if (!loadBitmap("marmor.bmp", &image)) {
        std::free(image.pixels);
        return;
    }

    glGenTextures(1, &scene.textureName);
    glBindTexture(GL_TEXTURE_2D, scene.textureName);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_LINEAR));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLfloat>(GL_LINEAR));

    // The reader drops BMP row padding, so rows of widths that are not a
    // multiple of 4 are tightly packed and need byte alignment.
    const bool packedRows = image.width % 4 != 0;
    if (packedRows) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    glTexImage2D(GL_TEXTURE_2D, 0, 3, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 image.pixels);
    if (packedRows) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);

    // GL keeps its own copy.
    std::free(image.pixels);
}
