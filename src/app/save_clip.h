// A turntable clip: frames drawn one after another from one start and
// handed to a second thread that compresses them.
#pragma once

#include <array>
#include <string>

#include "app/options.h"
#include "app/render.h"

// Frame `frame` of `frames`: the start's turn plus frame / frames of the
// spin, the fractions kept, each angle reduced to -360..360 as the keys
// reduce theirs, so whole degrees give exactly what --turn gives.
ViewState clipFrameView(const ViewState& start, const std::array<double, 3>& spin, int frame,
                        int frames);

// Draws frames 0 to N-1 of a clip, each the view turned by clipFrameView
// from the view's own turn, and hands them to the output path names (a
// numbered PNG name, NAME.webp or "-"). GL stays on this thread; the frames are
// compressed on another while the next one is drawn. Returns false with the
// file that failed and why; every frame before it stays, a WebP leaves
// nothing.
bool saveClip(const SaveSettings& settings, const ClipOptions& clip, const FrameView& view,
              const std::string& comment, const std::string& path, int stream,
              std::string& failedPath, std::string& error);
