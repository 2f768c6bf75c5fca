#include "app/headless_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

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
