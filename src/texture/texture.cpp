#include "texture/texture.h"

#include <GL/gl.h>
#include <cstdlib>

#include "picture/picture.h"

namespace {

// Rows of widths that are not a multiple of 4 are tightly packed (the
// readers drop BMP row padding) and need byte alignment.
void uploadLevel(GLint level, const BitmapImage& image) {
    const bool packedRows = image.width % 4 != 0;
    if (packedRows) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    glTexImage2D(GL_TEXTURE_2D, level, 3, image.width, image.height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 image.pixels);
    if (packedRows) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    }
}

void uploadMipmapLevel(int level, const BitmapImage& pixels, void* /*context*/) {
    uploadLevel(level, pixels);
}

GLuint upload(const BitmapImage& image, bool mipmapped) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_REPEAT));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_LINEAR));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    static_cast<GLfloat>(mipmapped ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR));
    uploadLevel(0, image);
    // A refused upload would leave an empty texture that draws nothing.
    if (glGetError() != GL_NO_ERROR) {
        glDeleteTextures(1, &name);
        return 0;
    }
    // Short of memory for the smaller levels (reported), the picture is
    // still shown, linearly filtered.
    if (mipmapped && !makeMipmapLevels(image, uploadMipmapLevel, nullptr)) {
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLfloat>(GL_LINEAR));
    }
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    return name;
}

// Asked once the header is read, so a missing file costs no GL call.
int largestTextureSide() {
    GLint largestSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestSide);
    return largestSide;
}

GLuint loadAndUpload(const char* fileName, const char* fallbackName,
                     const PictureRequest& request) {
    BitmapImage image;
    GLuint name = 0;
    if (const char* read = loadPicture(fileName, fallbackName, request, &image)) {
        name = upload(image, request.reduceTo > 0);
        if (name == 0) {
            refuseTextureSize(read, image.width, image.height, largestTextureSide());
        }
    }
    // GL keeps its own copy.
    std::free(image.pixels);
    return name;
}

} // namespace

unsigned int loadTexture(const char* fileName, const char* fallbackName) {
    return loadAndUpload(fileName, fallbackName, {largestTextureSide, 0});
}

unsigned int loadNamedTexture(const char* fileName) {
    return loadAndUpload(fileName, nullptr, {largestTextureSide, namedPictureSide, true});
}
