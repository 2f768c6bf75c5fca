#include "app/save_view.h"

#define GL_GLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "app/scene.h"
#include "picture/png_writer.h"

namespace {

// The framebuffers one view is drawn with: `draw` multisampled where asked,
// `read` the single-sampled one the pixels are read from (the same when
// there is one sample).
struct Targets {
    GLuint draw = 0, read = 0;
    GLuint buffers[3] = {};
    int width = 0, height = 0;
};

GLuint colourAndDepthFramebuffer(int samples, int width, int height, GLuint* buffers,
                                 bool withDepth) {
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(withDepth ? 2 : 1, buffers);
    glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
    if (withDepth) {
        glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_DEPTH_COMPONENT24, width,
                                         height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);
    }
    return framebuffer;
}

// False when this GL cannot give framebuffers of that size.
bool makeTargets(Targets& targets, int samples, int width, int height) {
    // Errors the window's frames may have left are not this view's.
    while (glGetError() != GL_NO_ERROR) {
    }
    targets.width = width;
    targets.height = height;
    targets.draw =
        colourAndDepthFramebuffer(samples > 1 ? samples : 0, width, height, targets.buffers, true);
    bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    targets.read = targets.draw;
    if (samples > 1) {
        targets.read = colourAndDepthFramebuffer(0, width, height, targets.buffers + 2, false);
        complete = complete && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
    return complete && glGetError() == GL_NO_ERROR;
}

void deleteTargets(Targets& targets) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &targets.draw);
    if (targets.read != targets.draw) {
        glDeleteFramebuffers(1, &targets.read);
    }
    glDeleteRenderbuffers(3, targets.buffers);
}

// Multisampled edges are averages over the transparent background, so
// their colour is premultiplied by their alpha; PNG wants it straight.
void straightenAlpha(unsigned char* row, int width) {
    for (int x = 0; x < width; ++x, row += 4) {
        const unsigned alpha = row[3];
        for (int c = 0; alpha != 0 && alpha != 255 && c < 3; ++c) {
            row[c] =
                static_cast<unsigned char>(std::min(255u, (row[c] * 255u + alpha / 2) / alpha));
        }
    }
}

int glInteger(GLenum name) {
    GLint value[2] = {};
    glGetIntegerv(name, value);
    return value[0];
}

// Draws band after band of tiles, top band first as PNG wants its rows,
// and writes each band once its tiles are read. Each tile is the whole view
// through a viewport shifted over a tile-sized framebuffer, so every pixel
// is drawn as in one piece: a frustum cut to the tile would clip the faces
// at its edges, and the clipped faces' colours come out a little different.
// The view is drawn upside down, as Mesa draws into a window, whose rows lie
// top first; so the window's pixels are matched exactly, and rows are read
// back in the order PNG wants them.
bool drawAndWrite(const SaveSettings& settings, const FrameView& view, PngOutput& png,
                  std::string& error) {
    const int width = settings.width, height = settings.height;
    const int viewportSide = glInteger(GL_MAX_VIEWPORT_DIMS);
    const int tileSide =
        std::min({settings.tileSide, glInteger(GL_MAX_RENDERBUFFER_SIZE), viewportSide});
    const int samples = std::min(settings.samples, std::max(glInteger(GL_MAX_SAMPLES), 1));
    Targets targets;
    if (std::max(width, height) > viewportSide ||
        !makeTargets(targets, samples, std::min(width, tileSide), std::min(height, tileSide))) {
        deleteTargets(targets);
        error = "this OpenGL gives no framebuffer for it";
        return false;
    }
    FrameView upsideDown = view;
    std::swap(upsideDown.bottom, upsideDown.top);
    // Opaque views are read as RGB, as the PNG wants them.
    const size_t channels = settings.transparent ? 4 : 3;
    std::vector<unsigned char> band(channels * static_cast<size_t>(width) * targets.height);
    glPixelStorei(GL_PACK_ROW_LENGTH, width);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    bool written = true;
    for (int top = 0; written && top < height; top += targets.height) {
        const int rows = std::min(targets.height, height - top);
        for (int left = 0; left < width; left += targets.width) {
            const int columns = std::min(targets.width, width - left);
            glBindFramebuffer(GL_FRAMEBUFFER, targets.draw);
            glViewport(-left, -top, width, height);
            renderFrame(upsideDown);
            if (targets.read != targets.draw) {
                glBindFramebuffer(GL_DRAW_FRAMEBUFFER, targets.read);
                glBlitFramebuffer(0, 0, columns, rows, 0, 0, columns, rows, GL_COLOR_BUFFER_BIT,
                                  GL_NEAREST);
            }
            glBindFramebuffer(GL_READ_FRAMEBUFFER, targets.read);
            glReadPixels(0, 0, columns, rows, settings.transparent ? GL_RGBA : GL_RGB,
                         GL_UNSIGNED_BYTE, band.data() + channels * static_cast<size_t>(left));
        }
        for (int y = 0; written && y < rows; ++y) {
            unsigned char* row = band.data() + channels * static_cast<size_t>(width) * y;
            if (settings.transparent) {
                straightenAlpha(row, width);
            }
            written = writePngRows(png, row, 1);
        }
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    deleteTargets(targets);
    if (!written) {
        error = png.error;
    }
    return written;
}

// Draws into framebuffers of its own and leaves the window's viewport and
// framebuffer as they were.
bool drawToPng(const SaveSettings& settings, const FrameView& view, const std::string& options,
               const std::string& path, int stream, PngOutput& png, std::string& error) {
    const PngText text = {{"Software", "ovrik-logo " OVRIK_VERSION}, {"Comment", options}};
    if (!startPng(png, path, stream, settings.width, settings.height, settings.transparent, text)) {
        error = png.error;
        return false;
    }
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    const bool drawn = drawAndWrite(settings, view, png, error);
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    if (drawn && !completePng(png)) {
        error = png.error;
        return false;
    }
    return drawn;
}

} // namespace

FrameView savedView(const SaveSettings& settings, LightPlacement light) {
    const double aspect = static_cast<double>(settings.width) / settings.height;
    const double across = aspect > 1 ? 2 * aspect : 2, up = aspect < 1 ? 2 / aspect : 2;
    const std::array<float, 4> background =
        settings.transparent ? std::array<float, 4>{0, 0, 0, 0} : scene.clearColor;
    return {-across, across, -up, up, light, background};
}

bool saveView(const SaveSettings& settings, const FrameView& view, const std::string& options,
              const std::string& path, int stream, std::string& error) {
    PngOutput png;
    const bool saved = drawToPng(settings, view, options, path, stream, png, error) &&
                       (placePng(png, path, true) || (error = png.error, false));
    discardPng(png);
    return saved;
}

bool saveViewAsNew(const SaveSettings& settings, const FrameView& view, const std::string& options,
                   std::string (*nameFor)(int), std::string& savedPath, std::string& error) {
    PngOutput png;
    savedPath = nameFor(1);
    bool saved = drawToPng(settings, view, options, savedPath, -1, png, error);
    for (int number = 1; saved && !placePng(png, savedPath, false); savedPath = nameFor(++number)) {
        if (errno != EEXIST) {
            error = png.error;
            saved = false;
        }
    }
    discardPng(png);
    return saved;
}

std::string makeHeadlessContext() {
    const auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    EGLDisplay eglDisplay =
        getPlatformDisplay != nullptr
            ? getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)
            : EGL_NO_DISPLAY;
    if (eglDisplay == EGL_NO_DISPLAY || eglInitialize(eglDisplay, nullptr, nullptr) != EGL_TRUE) {
        return "no EGL display on Mesa's surfaceless platform (Debian package libegl-mesa0)";
    }
    const EGLint configWanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                   EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    const EGLint contextWanted[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = EGL_NO_CONTEXT;
    if (eglBindAPI(EGL_OPENGL_API) == EGL_TRUE &&
        eglChooseConfig(eglDisplay, configWanted, &config, 1, &configs) == EGL_TRUE &&
        configs > 0) {
        context = eglCreateContext(eglDisplay, config, EGL_NO_CONTEXT, contextWanted);
    }
    if (context == EGL_NO_CONTEXT ||
        eglMakeCurrent(eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE) {
        return "no OpenGL compatibility context from EGL on Mesa's surfaceless platform";
    }
    // Framebuffer objects came with OpenGL 3.0.
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version == nullptr || std::atoi(version) < 3) {
        return std::string("OpenGL ") + (version ? version : "?") +
               " from EGL, and saving needs 3.0 or later";
    }
    return {};
}
