// The logo as a model file: --output NAME.glb, NAME.obj or NAME.stl (glb:-
// and stl:- for standard output). A model is geometry, a picture and a few
// numbers, so it is made without any GL context.
#pragma once

#include "app/options.h"

// Writes the model the options name, set up as the window would show the
// scene. Returns the exit status: 0, or 1 after one line on standard error
// (or the picture reader's own line).
int saveModel(const ViewOptions& options);
