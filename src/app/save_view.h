// The view as a PNG: the frame the window would show, drawn by the same
// code into framebuffer objects, tile by tile, and streamed to libpng a
// band of rows at a time, so that any size fits in bounded memory.
#pragma once

#include <string>

#include "app/options.h"
#include "app/render.h"

// The view of a width x height picture: the window's square field of view
// widened along the longer side, so that the logo keeps its proportions.
FrameView savedView(const SaveSettings& settings, LightPlacement light);

// Draws the view with the current GL context and the scene's texture and
// writes it to path ("-": the stream descriptor), the PNG carrying
// `options` as its comment. F12 passes replace = false: the file then takes
// the first free name from nameFor(1), nameFor(2), ... and savedPath tells
// which. Returns false with the reason in `error`; no file is left then.
bool saveView(const SaveSettings& settings, const FrameView& view, const std::string& options,
              const std::string& path, int stream, std::string& error);
bool saveViewAsNew(const SaveSettings& settings, const FrameView& view, const std::string& options,
                   std::string (*nameFor)(int), std::string& savedPath, std::string& error);

// Draws frames 0 to N-1 of a clip, each turned by clipFrameView from the
// scene's turn, and hands them to the output path names (a numbered PNG
// name, NAME.webp or "-"). GL stays on this thread; the frames are
// compressed on another while the next one is drawn. Returns false with the
// file that failed and why; every frame before it stays, a WebP leaves
// nothing.
bool saveClip(const SaveSettings& settings, const ClipOptions& clip, const FrameView& view,
              const std::string& comment, const std::string& path, int stream,
              std::string& failedPath, std::string& error);

// Whether OVRIK_EGL_PLATFORM may have this value (nullptr: unset).
bool isEglPlatform(const char* name);

// Makes a GL context current with no window and no X display: EGL on
// Mesa's surfaceless platform, else on a device, else the default display;
// only the one `platform` names if it is not nullptr. Returns what is
// missing, or an empty string.
std::string makeHeadlessContext(const char* platform);
