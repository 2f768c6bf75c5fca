// The view as a picture: the frame the window would show, drawn by the same
// code into framebuffer objects, tile by tile, so that any size fits in
// bounded memory; a single view is streamed to libpng a band of rows at a
// time.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/options.h"
#include "app/render.h"
#include "picture/write/png_writer.h"

// The view of a width x height picture: the scene's logo, turn, colour and
// texture, the window's square field of view widened along the longer side,
// so that the logo keeps its proportions.
FrameView savedView(const SaveSettings& settings, LightPlacement light);

// Draws the view with the current GL context and writes it to path ("-":
// the stream descriptor), the PNG carrying `options` as its comment. F12
// passes replace = false: the file then takes the first free name from
// nameFor(1), nameFor(2), ... and savedPath tells which. Returns false with the reason in `error`;
// no file is left then.
bool saveView(const SaveSettings& settings, const FrameView& view, const std::string& options,
              const std::string& path, int stream, std::string& error);
bool saveViewAsNew(const SaveSettings& settings, const FrameView& view, const std::string& options,
                   std::string (*nameFor)(int), std::string& savedPath, std::string& error);

// The tEXt chunks of every saved PNG: the program and `comment`.
PngText savedText(const std::string& comment);

// The framebuffers and the GL state a run of views of one size is drawn
// with: made once, however many views follow.
struct ViewDrawing {
    // `draw` multisampled where asked, `read` the single-sampled one the
    // pixels are read from (the same when there is one sample); each at
    // most a tile's size.
    unsigned int draw = 0, read = 0;
    unsigned int buffers[3] = {};
    int tileWidth = 0, tileHeight = 0;
    int width = 0, height = 0; // the whole view
    bool transparent = false;
    std::vector<unsigned char> band; // one band of tiles, where no frame is given
    int viewport[4] = {};            // the window's, given back at the end
};

// False with the reason when this GL cannot draw views of that size.
bool startDrawing(ViewDrawing& drawing, const SaveSettings& settings, std::string& error);

// Draws the view band after band of tiles, top band first, rows top first,
// RGB (RGBA with straight alpha when transparent). Each band is read into
// its place in `frame`, which then holds the whole view, or, with no frame,
// into the drawing's own band; then it is handed to takeBand, if given,
// which may stop the drawing by returning false.
bool drawView(ViewDrawing& drawing, const FrameView& view, unsigned char* frame,
              const std::function<bool(const unsigned char* rows, int rowCount)>& takeBand = {});

// Leaves the window's viewport, framebuffer and pack state as they were.
void endDrawing(ViewDrawing& drawing);
