#include "app/save_view.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <algorithm>
#include <cerrno>

#include "app/scene.h"
#include "logo/view_constants.h"

namespace {

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
bool makeTargets(ViewDrawing& targets, int samples, int width, int height) {
    // Errors the window's frames may have left are not this view's.
    while (glGetError() != GL_NO_ERROR) {
    }
    targets.tileWidth = width;
    targets.tileHeight = height;
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

void deleteTargets(ViewDrawing& targets) {
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

// Draws into framebuffers of its own and streams the rows to the PNG.
bool drawToPng(const SaveSettings& settings, const FrameView& view, const std::string& options,
               const std::string& path, int stream, bool asNew, PngOutput& png,
               std::string& error) {
    if (!startPng(png, path, stream, settings.width, settings.height, settings.transparent,
                  savedText(options), asNew)) {
        error = png.error;
        return false;
    }
    ViewDrawing drawing;
    bool drawn = startDrawing(drawing, settings, error);
    if (drawn && !drawView(drawing, view, nullptr, [&png](const unsigned char* rows, int count) {
            return writePngRows(png, rows, count);
        })) {
        error = png.error;
        drawn = false;
    }
    endDrawing(drawing);
    if (drawn && !completePng(png)) {
        error = png.error;
        return false;
    }
    return drawn;
}

} // namespace

bool startDrawing(ViewDrawing& drawing, const SaveSettings& settings, std::string& error) {
    drawing.width = settings.width;
    drawing.height = settings.height;
    drawing.transparent = settings.transparent;
    glGetIntegerv(GL_VIEWPORT, drawing.viewport);
    const int viewportSide = glInteger(GL_MAX_VIEWPORT_DIMS);
    const int tileSide =
        std::min({settings.tileSide, glInteger(GL_MAX_RENDERBUFFER_SIZE), viewportSide});
    const int samples = std::min(settings.samples, std::max(glInteger(GL_MAX_SAMPLES), 1));
    if (std::max(drawing.width, drawing.height) > viewportSide ||
        !makeTargets(drawing, samples, std::min(drawing.width, tileSide),
                     std::min(drawing.height, tileSide))) {
        error = "this OpenGL gives no framebuffer for it";
        return false;
    }
    glPixelStorei(GL_PACK_ROW_LENGTH, drawing.width);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return true;
}

void endDrawing(ViewDrawing& drawing) {
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    deleteTargets(drawing);
    glViewport(drawing.viewport[0], drawing.viewport[1], drawing.viewport[2], drawing.viewport[3]);
}

// Each tile is the whole view through a viewport shifted over a tile-sized
// framebuffer, so every pixel is drawn as in one piece: a frustum cut to the
// tile would clip the faces at its edges, and the clipped faces' colours
// come out a little different. The view is drawn upside down, as Mesa draws
// into a window, whose rows lie top first; so the window's pixels are
// matched exactly, and rows are read back in the order PNG wants them.
bool drawView(ViewDrawing& drawing, const FrameView& view, unsigned char* frame,
              const std::function<bool(const unsigned char* rows, int rowCount)>& takeBand) {
    const int width = drawing.width, height = drawing.height;
    // Opaque views are read as RGB, as the PNG wants them.
    const size_t channels = drawing.transparent ? 4 : 3;
    const size_t rowBytes = channels * static_cast<size_t>(width);
    if (frame == nullptr && drawing.band.empty()) {
        drawing.band.resize(rowBytes * drawing.tileHeight);
    }
    FrameView upsideDown = view;
    std::swap(upsideDown.bottom, upsideDown.top);
    bool taken = true;
    for (int top = 0; taken && top < height; top += drawing.tileHeight) {
        const int rows = std::min(drawing.tileHeight, height - top);
        unsigned char* band =
            frame != nullptr ? frame + rowBytes * static_cast<size_t>(top) : drawing.band.data();
        for (int left = 0; left < width; left += drawing.tileWidth) {
            const int columns = std::min(drawing.tileWidth, width - left);
            glBindFramebuffer(GL_FRAMEBUFFER, drawing.draw);
            glViewport(-left, -top, width, height);
            renderFrame(upsideDown);
            if (drawing.read != drawing.draw) {
                glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawing.read);
                glBlitFramebuffer(0, 0, columns, rows, 0, 0, columns, rows, GL_COLOR_BUFFER_BIT,
                                  GL_NEAREST);
            }
            glBindFramebuffer(GL_READ_FRAMEBUFFER, drawing.read);
            glReadPixels(0, 0, columns, rows, drawing.transparent ? GL_RGBA : GL_RGB,
                         GL_UNSIGNED_BYTE, band + channels * static_cast<size_t>(left));
        }
        for (int y = 0; drawing.transparent && y < rows; ++y) {
            straightenAlpha(band + rowBytes * y, width);
        }
        taken = !takeBand || takeBand(band, rows);
    }
    return taken;
}

PngText savedText(const std::string& comment) {
    return {{"Software", "ovrik-logo " OVRIK_VERSION}, {"Comment", comment}};
}

FrameView savedView(const SaveSettings& settings, LightPlacement light) {
    const double aspect = static_cast<double>(settings.width) / settings.height;
    const double side = frustumHalfSide;
    const double across = aspect > 1 ? side * aspect : side, up = aspect < 1 ? side / aspect : side;
    const std::array<float, 4> background =
        settings.transparent ? std::array<float, 4>{0, 0, 0, 0} : scene.clearColor;
    return sceneView(across, up, light, background);
}

bool saveView(const SaveSettings& settings, const FrameView& view, const std::string& options,
              const std::string& path, int stream, std::string& error) {
    PngOutput png;
    const bool saved = drawToPng(settings, view, options, path, stream, false, png, error) &&
                       (placePng(png) || (error = png.error, false));
    discardPng(png);
    return saved;
}

bool saveViewAsNew(const SaveSettings& settings, const FrameView& view, const std::string& options,
                   std::string (*nameFor)(int), std::string& savedPath, std::string& error) {
    PngOutput png;
    savedPath = nameFor(1);
    bool saved = drawToPng(settings, view, options, savedPath, -1, true, png, error);
    for (int number = 1; saved && !placePngAsNew(png, savedPath); savedPath = nameFor(++number)) {
        if (errno != EEXIST) {
            error = png.error;
            saved = false;
        }
    }
    discardPng(png);
    return saved;
}
