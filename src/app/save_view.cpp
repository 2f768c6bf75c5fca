#include "app/save_view.h"

#define GL_GLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <signal.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/scene.h"
#include "picture/clip_writer.h"
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

// The framebuffers, the band of rows and the GL state a run of views of one
// size is drawn with: made once, however many views follow.
struct ViewDrawing {
    Targets targets;
    int width = 0, height = 0;
    bool transparent = false;
    std::vector<unsigned char> band;
    GLint viewport[4] = {}; // the window's, given back at the end
};

// False with the reason when this GL cannot draw views of that size.
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
        !makeTargets(drawing.targets, samples, std::min(drawing.width, tileSide),
                     std::min(drawing.height, tileSide))) {
        error = "this OpenGL gives no framebuffer for it";
        return false;
    }
    // Opaque views are read as RGB, as the PNG wants them.
    drawing.band.resize((drawing.transparent ? 4 : 3) * static_cast<size_t>(drawing.width) *
                        drawing.targets.height);
    glPixelStorei(GL_PACK_ROW_LENGTH, drawing.width);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    return true;
}

// Leaves the window's viewport, framebuffer and pack state as they were.
void endDrawing(ViewDrawing& drawing) {
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    deleteTargets(drawing.targets);
    glViewport(drawing.viewport[0], drawing.viewport[1], drawing.viewport[2], drawing.viewport[3]);
}

// Draws band after band of tiles, top band first as PNG wants its rows,
// and hands each row to takeRow once its band is read. Each tile is the
// whole view through a viewport shifted over a tile-sized framebuffer, so
// every pixel is drawn as in one piece: a frustum cut to the tile would clip
// the faces at its edges, and the clipped faces' colours come out a little
// different. The view is drawn upside down, as Mesa draws into a window,
// whose rows lie top first; so the window's pixels are matched exactly, and
// rows are read back in the order PNG wants them.
bool drawView(ViewDrawing& drawing, const FrameView& view,
              const std::function<bool(const unsigned char* row)>& takeRow) {
    const Targets& targets = drawing.targets;
    const int width = drawing.width, height = drawing.height;
    const size_t channels = drawing.transparent ? 4 : 3;
    FrameView upsideDown = view;
    std::swap(upsideDown.bottom, upsideDown.top);
    bool taken = true;
    for (int top = 0; taken && top < height; top += targets.height) {
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
            glReadPixels(0, 0, columns, rows, drawing.transparent ? GL_RGBA : GL_RGB,
                         GL_UNSIGNED_BYTE,
                         drawing.band.data() + channels * static_cast<size_t>(left));
        }
        for (int y = 0; taken && y < rows; ++y) {
            unsigned char* row = drawing.band.data() + channels * static_cast<size_t>(width) * y;
            if (drawing.transparent) {
                straightenAlpha(row, width);
            }
            taken = takeRow(row);
        }
    }
    return taken;
}

PngText savedText(const std::string& comment) {
    return {{"Software", "ovrik-logo " OVRIK_VERSION}, {"Comment", comment}};
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
    if (drawn && !drawView(drawing, view, [&png](const unsigned char* row) {
            return writePngRows(png, row, 1);
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

// Hands the frames of a clip from the GL thread to the one that compresses
// them: one frame waits while the next is drawn.
struct FrameHandoff {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<unsigned char> waiting; // a frame drawn, not yet taken
    int waitingNumber = -1;             // -1: no frame waits
    bool drawingDone = false, failed = false;
};

void compressFrames(FrameHandoff& handoff, ClipOutput& output, const std::string& comment,
                    const ClipOptions& clip) {
    std::vector<unsigned char> frame;
    for (;;) {
        int number = -1;
        {
            std::unique_lock<std::mutex> hold(handoff.lock);
            handoff.changed.wait(
                hold, [&handoff] { return handoff.waitingNumber >= 0 || handoff.drawingDone; });
            if (handoff.waitingNumber < 0) {
                return;
            }
            std::swap(frame, handoff.waiting); // the drawer gets the old buffer back
            std::swap(number, handoff.waitingNumber);
        }
        handoff.changed.notify_all();
        if (!addClipFrame(output, frame.data(),
                          savedText(clipFrameComment(comment, clip, number)))) {
            const std::lock_guard<std::mutex> hold(handoff.lock);
            handoff.failed = true;
            handoff.changed.notify_all();
            return;
        }
    }
}

// Waits until the compressor has taken the frame before, then leaves it
// this one; false once the compressor has failed.
bool handOver(FrameHandoff& handoff, std::vector<unsigned char>& frame, int number) {
    {
        std::unique_lock<std::mutex> hold(handoff.lock);
        handoff.changed.wait(hold,
                             [&handoff] { return handoff.waitingNumber < 0 || handoff.failed; });
        if (handoff.failed) {
            return false;
        }
        std::swap(frame, handoff.waiting); // and gets an older buffer back
        handoff.waitingNumber = number;
    }
    handoff.changed.notify_all();
    return true;
}

// A clip stopped by Ctrl-C, a hang-up or kill stops drawing, removes its
// temporary file and then ends as the signal asked.
volatile std::sig_atomic_t stopSignal = 0;
const int stoppingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void stopClip(int signal) {
    stopSignal = signal;
}

// On a terminal, which frame is drawn, on one line rewritten in place.
void showProgress(int frame, int frames) {
    if (frames > 1 && isatty(STDERR_FILENO) == 1) {
        if (frame < frames) {
            std::fprintf(stderr, "\rframe %d of %d", frame + 1, frames);
        } else {
            std::fputs("\r\033[K", stderr); // cleared at the end
        }
    }
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

bool saveClip(const SaveSettings& settings, const ClipOptions& clip, const FrameView& view,
              const std::string& comment, const std::string& path, int stream,
              std::string& failedPath, std::string& error) {
    const int frames = std::max(clip.frames, 1);
    ClipOutput output;
    ViewDrawing drawing;
    // Before the temporary file exists; signals that are ignored (nohup)
    // stay ignored.
    struct sigaction previous[std::size(stoppingSignals)] = {}, stopping = {};
    stopping.sa_handler = stopClip;
    for (size_t i = 0; i < std::size(stoppingSignals); ++i) {
        sigaction(stoppingSignals[i], nullptr, &previous[i]);
        if (previous[i].sa_handler != SIG_IGN) {
            sigaction(stoppingSignals[i], &stopping, nullptr);
        }
    }
    bool started = startDrawing(drawing, settings, output.error);
    output.failedPath = started ? "" : path;
    started = started && startClip(output, path, stream,
                                   {settings.width, settings.height, settings.transparent, frames,
                                    clip.framesPerSecond, clip.quality});
    FrameHandoff handoff;
    std::thread compressor(compressFrames, std::ref(handoff), std::ref(output), std::cref(comment),
                           std::cref(clip));
    const ViewState start = scene.view;
    std::vector<unsigned char> frame;
    const size_t rowBytes = (settings.transparent ? 4 : 3) * static_cast<size_t>(settings.width);
    for (int number = 0; started && stopSignal == 0 && number < frames; ++number) {
        scene.view = clipFrameView(start, clip.spin, number, frames);
        frame.resize(rowBytes * settings.height);
        unsigned char* next = frame.data();
        drawView(drawing, view, [&next, rowBytes](const unsigned char* row) {
            next = std::copy(row, row + rowBytes, next);
            return true;
        });
        if (!handOver(handoff, frame, number)) {
            break;
        }
        showProgress(number, frames);
    }
    {
        const std::lock_guard<std::mutex> hold(handoff.lock);
        handoff.drawingDone = true;
    }
    handoff.changed.notify_all();
    compressor.join();
    scene.view = start;
    endDrawing(drawing);
    showProgress(frames, frames);
    const bool saved = started && stopSignal == 0 && !handoff.failed && finishClip(output);
    if (!saved) {
        failedPath = output.failedPath;
        error = output.error;
        if (output.format == ClipFormat::numberedPng && frames > 1) {
            error += " (" + std::to_string(output.written) + " of " + std::to_string(frames) +
                     " frames written)";
        }
    }
    discardClip(output);
    for (size_t i = 0; i < std::size(stoppingSignals); ++i) {
        sigaction(stoppingSignals[i], &previous[i], nullptr);
    }
    if (stopSignal != 0) {
        std::raise(stopSignal);
    }
    return saved;
}

namespace {

EGLDisplay platformDisplay(EGLenum platform, void* native) {
    const auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    return getPlatformDisplay != nullptr ? getPlatformDisplay(platform, native, nullptr)
                                         : EGL_NO_DISPLAY;
}

// Makes a compatibility context current on display, with no surface: the
// views are drawn into framebuffer objects. What is missing, or empty.
std::string contextOn(EGLDisplay display, const std::string& where) {
    if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
        return "no EGL display " + where;
    }
    const EGLint configWanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                   EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configs = 0;
    const EGLint contextWanted[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                    EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = EGL_NO_CONTEXT;
    if (eglBindAPI(EGL_OPENGL_API) == EGL_TRUE &&
        eglChooseConfig(display, configWanted, &config, 1, &configs) == EGL_TRUE && configs > 0) {
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextWanted);
    }
    if (context == EGL_NO_CONTEXT ||
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context) != EGL_TRUE) {
        eglTerminate(display);
        return "no OpenGL compatibility context from EGL " + where;
    }
    // Framebuffer objects came with OpenGL 3.0.
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (version == nullptr || std::atoi(version) < 3) {
        const std::string missing = std::string("OpenGL ") + (version ? version : "?") +
                                    " from EGL " + where + ", and saving needs 3.0 or later";
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglTerminate(display);
        return missing;
    }
    return {};
}

std::string contextOnSurfaceless() {
    std::string missing =
        contextOn(platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY),
                  "on Mesa's surfaceless platform");
    return missing.rfind("no EGL display", 0) == 0 ? missing + " (Debian package libegl-mesa0)"
                                                   : missing;
}

std::string contextOnDevice() {
    const auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (queryDevices == nullptr || queryDevices(16, devices, &count) != EGL_TRUE) {
        count = 0;
    }
    for (int i = 0; i < count; ++i) {
        if (contextOn(platformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i]), "").empty()) {
            return {};
        }
    }
    return "no EGL device gives an OpenGL compatibility context";
}

std::string contextOnDefault() {
    return contextOn(eglGetDisplay(EGL_DEFAULT_DISPLAY), "on EGL's default platform");
}

// Mesa's surfaceless platform first; where it is missing (NVIDIA's driver,
// for one), the first device that gives a context, then the default display.
const struct {
    const char* name;
    std::string (*makeContext)();
} eglWays[] = {{"surfaceless", contextOnSurfaceless},
               {"device", contextOnDevice},
               {"default", contextOnDefault}};

} // namespace

bool isEglPlatform(const char* name) {
    return name == nullptr ||
           std::any_of(std::begin(eglWays), std::end(eglWays),
                       [name](const auto& way) { return std::strcmp(name, way.name) == 0; });
}

std::string makeHeadlessContext(const char* platform) {
    std::string firstMissing;
    for (const auto& way : eglWays) {
        if (platform != nullptr && std::strcmp(platform, way.name) != 0) {
            continue;
        }
        const std::string missing = way.makeContext();
        if (missing.empty() || platform != nullptr) {
            return missing;
        }
        firstMissing = firstMissing.empty() ? missing : firstMissing;
    }
    return firstMissing + ", nor on an EGL device or the default display";
}
