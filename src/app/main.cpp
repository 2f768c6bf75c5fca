#include <GL/freeglut.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/headless_context.h"
#include "app/options.h"
#include "app/render.h"
#include "app/save_clip.h"
#include "app/save_model.h"
#include "app/save_view.h"
#include "app/scene.h"
#include "picture/clip/clip_writer.h"
#include "picture/picture.h"

namespace {

const char* const helpText =
    "Usage: ovrik-logo [--help] [--version] [VIEW OPTIONS] [GLUT options] [--] [FILE]\n"
    "       ovrik-logo --output OUT.png [VIEW OPTIONS] [FILE OPTIONS] [--] [FILE]\n"
    "       ovrik-logo --output NAME-%03d.png|NAME.webp|NAME.mp4|NAME.webm|NAME.gif|-|\n"
    "                  mp4:-|gif:- --frames N [CLIP OPTIONS] ...\n"
    "       ovrik-logo --output NAME.glb|NAME.obj|NAME.stl [MODEL OPTIONS] [--] [FILE]\n"
    "Shows the marble Ovrik logo in a window, turned with the keyboard and lit by a\n"
    "spot light that follows the mouse; or, with --output, saves it as a PNG or\n"
    "WebP, as a turntable clip (MP4, WebM, GIF, WebP or PNGs), or as a 3D model.\n"
    "\n"
    "  x y z / X Y Z    turn the logo 5 degrees about the x, y or z axis, one way or back\n"
    "  R G B / r g b    raise or lower the red, green or blue of its colour by 0.05\n"
    "  drag             move the spot light (any mouse button held)\n"
    "  F12              save the view as ovrik-logo-N.png in the working folder\n"
    "  Escape           quit\n"
    "\n"
    "FILE, a picture (%s),\n"
    "covers the logo: upright as its orientation says, reduced to at most 1024\n"
    "pixels per side and mipmapped.\n"
    "Without it the marble is read from marmor.bmp in the working directory, or else\n"
    "from the one installed with the program; without any picture the logo is drawn\n"
    "in its colour only.\n"
    "\n"
    "View options (the window's start, or the saved view):\n"
    "  --turn X,Y,Z     turn in degrees about x, y and z\n"
    "  --colour R,G,B   the logo's colour, each from 0 to 1\n"
    "  --light X,Y      the light's place: -1 left or bottom, +1 right or top\n"
    "\n"
    "File options (with --output, which needs no display and opens no window):\n"
    "  --output OUT.png write the view to OUT.png (- for standard output; OUT.webp for\n"
    "                   a WebP) and exit\n"
    "  --size WxH       its size, each side 1 to 16384 (default 400x400)\n"
    "  --samples N      samples per pixel for smooth edges: 1, 2, 4, 8, 16 (default 4)\n"
    "  --background transparent   alpha 0 around the logo\n"
    "\n"
    "Clip options (a turntable from one start; needs --output):\n"
    "  --frames N       N views, frame i turned by --turn plus i/N of the spin, into\n"
    "                   NAME-%03d.png (%d or %0Wd: one PNG a frame, from 0; %% is %),\n"
    "                   NAME.webp (one animated WebP), NAME.mp4 (H.264), NAME.webm (VP9),\n"
    "                   NAME.gif (one animated GIF, one palette, drawn twice), - (PNGs\n"
    "                   one after another), mp4:- (a fragmented MP4) or gif:- (the GIF\n"
    "                   on standard output); an MP4 or WebM has no alpha and even sides\n"
    "                   up to 4096, a GIF no partial transparency\n"
    "  --spin X,Y,Z     the turn over the whole clip in degrees (default 0,360,0)\n"
    "  --fps F          WebP, MP4, WebM or GIF frames a second, 1 to 120 (a GIF to 50;\n"
    "                   default 30)\n"
    "  --quality Q      WebP, MP4 or WebM: WebP quality 0 to 100 (default 90), or\n"
    "                   lossless; for an MP4 or WebM 90 is CRF 23 (MP4) or 32 (WebM),\n"
    "                   100 CRF 1 or 0, 0 CRF 51 or 63, in even steps between\n"
    "\n"
    "Model options (a model needs no display and no GL at all):\n"
    "  --output NAME.glb   glTF binary: mesh, picture, camera, spot light; with\n"
    "                   --frames (and --spin, --fps) a looping turntable; glb:- for\n"
    "                   standard output; takes the view options and --size\n"
    "  --output NAME.obj   OBJ with NAME.mtl and the picture beside it; takes --colour\n"
    "  --output NAME.stl   binary STL in millimetres, lying on its back, for printing;\n"
    "                   stl:- for standard output; takes --scale alone\n"
    "  --scale MM       the length of one logo unit, 0.01 to 100000 (default 10: a\n"
    "                   logo 34 mm wide, 5 mm deep)\n"
    "\n"
    "  --help           show this help and exit\n"
    "  --version        show the version and exit\n"
    "  --               end of options: what follows is FILE, even if it starts with -\n"
    "  -display DISPLAY, -geometry WxH+X+Y, -direct, -indirect, -iconic, -gldebug,\n"
    "  -sync            passed on to GLUT\n"
    "\n"
    "OVRIK_EGL_PLATFORM=surfaceless|device|default draws --output through that EGL\n"
    "platform only.\n";

bool isOneOf(const char* arg, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(),
                       [arg](const char* name) { return std::strcmp(arg, name) == 0; });
}

// Handles --help and --version, keeps GLUT's options in glutArgs (after the
// program name), the picture in pictureFile and the view options in
// options, and refuses anything else before any display is opened. Returns
// the exit status for the program to end with, or -1 to go on.
int parseCommandLine(int argc, char** argv, std::vector<char*>& glutArgs, const char*& pictureFile,
                     ViewOptions& options) {
    glutArgs.assign(argv, argv + 1);
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        const char* problem = nullptr;
        if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
            problem = pictureFile == nullptr ? nullptr : "is a second picture file";
            pictureFile = arg;
        } else if (std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (std::strcmp(arg, "--help") == 0) {
            // The text holds patterns such as %03d, so only its one %s is
            // filled in.
            const char* formats = std::strstr(helpText, "%s");
            std::fwrite(helpText, 1, static_cast<size_t>(formats - helpText), stdout);
            std::fputs(pictureFormatNames(" or ").c_str(), stdout);
            std::fputs(formats + 2, stdout);
            return 0;
        } else if (std::strcmp(arg, "--version") == 0) {
            std::printf("ovrik-logo %s\n", OVRIK_VERSION);
            return 0;
        } else if (isViewOption(arg)) {
            if (i + 1 == argc) {
                problem = "needs a value";
            } else if (const char* expected = setViewOption(options, arg, argv[++i])) {
                std::fprintf(stderr, "ovrik-logo: %s '%s' %s; see ovrik-logo --help\n", arg,
                             argv[i], expected);
                return 2;
            }
        } else if (isOneOf(arg, {"-display", "-geometry"})) {
            problem = i + 1 < argc ? nullptr : "needs a value";
            glutArgs.push_back(arg);
            if (i + 1 < argc) {
                glutArgs.push_back(argv[++i]);
            }
        } else if (isOneOf(arg, {"-direct", "-indirect", "-iconic", "-gldebug", "-sync"})) {
            glutArgs.push_back(arg);
        } else {
            problem = "is not known";
        }
        if (problem != nullptr) {
            std::fprintf(stderr, "ovrik-logo: '%s' %s; see ovrik-logo --help\n", arg, problem);
            return 2;
        }
    }
    std::string refusal;
    const char* platform = std::getenv("OVRIK_EGL_PLATFORM");
    const std::string output = options.output != nullptr ? options.output : "";
    const ClipKind& clip = clipKindOf(output);
    if (options.output == nullptr && options.saveOnlyOption != nullptr) {
        refusal = std::string("'") + options.saveOnlyOption + "' needs --output";
    } else if (options.output != nullptr && !isEglPlatform(platform)) {
        refusal = std::string("OVRIK_EGL_PLATFORM '") + platform +
                  "' is not surfaceless, device or default";
    } else if (options.output != nullptr && std::strcmp(options.output, "-") == 0 &&
               isatty(STDOUT_FILENO) == 1) {
        // Binary data would garble the terminal.
        refusal = "--output - would write pictures to the terminal; redirect standard output, "
                  "as in --output - > view.png";
    } else if (options.output != nullptr && isModelStream(options.output) &&
               isatty(STDOUT_FILENO) == 1) {
        refusal = std::string("--output ") + options.output +
                  " would write a model to the terminal; redirect standard output, as in "
                  "--output " +
                  options.output + " > logo." + std::string(options.output, 3);
    } else if (options.output != nullptr && clip.stream != nullptr && clip.ending != nullptr &&
               options.output == std::string(clip.stream) && isatty(STDOUT_FILENO) == 1) {
        refusal = std::string("--output ") + options.output +
                  " would write a clip to the terminal; redirect standard output, as in "
                  "--output " +
                  options.output + " > spin" + clip.ending;
    } else if (refusal = modelRefusal(options, pictureFile != nullptr); refusal.empty()) {
        refusal = clipRefusal(options);
    }
    if (!refusal.empty()) {
        std::fprintf(stderr, "ovrik-logo: %s; see ovrik-logo --help\n", refusal.c_str());
        return 2;
    }
    glutArgs.push_back(nullptr);
    return -1;
}

// --output: the view drawn without a window and written as a PNG. Standard
// output carries nothing but the PNG: every message goes to standard error.
int saveWithoutWindow(const ViewOptions& options) {
    // The readers print to stdout; glibc lets stdout be pointed elsewhere,
    // which leaves descriptor 1, and so /dev/stdout, to the pictures.
    std::fflush(stdout);
    stdout = stderr;
    if (modelKindOf(options.output) != ModelKind::none) {
        return saveModel(options);
    }
    if (const std::string missing = makeHeadlessContext(std::getenv("OVRIK_EGL_PLATFORM"));
        !missing.empty()) {
        std::fprintf(stderr, "ovrik-logo: cannot draw without a window: %s\n", missing.c_str());
        return 1;
    }
    initRendering();
    // The picture's reader has said why; a script must see it failed.
    if (scene.textureName == 0) {
        return 1;
    }
    const LightPlacement light = options.light.value_or(LightPlacement{0, 0});
    const std::string comment = savedComment(options.save, viewOptionsText(scene.view, light));
    const FrameView view = savedView(options.save, light);
    std::string failed = options.output, error;
    const bool saved =
        options.clip.frames == 0 && !clipKindOf(options.output).oneFile
            ? saveView(options.save, view, comment, options.output, STDOUT_FILENO, error)
            : saveClip(options.save, options.clip, view, comment, options.output, STDOUT_FILENO,
                       failed, error);
    if (!saved) {
        std::fprintf(stderr, "ovrik-logo: cannot write %s: %s\n", failed.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Line by line even into a pipe or a launcher's log, so each message shows
    // while the window is open and none is lost if the program is killed.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // GLUT sees only its own options, so a picture named like one of them
    // (after --) is not taken for it.
    std::vector<char*> glutArgs;
    ViewOptions options{};
    options.view = scene.view;
    if (int status = parseCommandLine(argc, argv, glutArgs, scene.pictureFile, options);
        status >= 0) {
        return status;
    }
    scene.view = options.view;
    scene.startLight = options.light;
    if (options.output != nullptr) {
        return saveWithoutWindow(options);
    }
    int glutArgCount = static_cast<int>(glutArgs.size()) - 1;
    // Printed before glutInit so the hints show even if no window can open.
    std::printf("Use x/y/z/X/Y/Z-keys to rotate.\n");
    std::printf("Move mouse while pressing button to change light position.\n");
    openWindow(&glutArgCount, glutArgs.data());
    glutMainLoop();
    return 0;
}
