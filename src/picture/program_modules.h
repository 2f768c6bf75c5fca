// Modules the program opens on first use, so that a plain start loads none
// of their heavy libraries: the picture readers and the video writer.
#pragma once

#include <string>

// `module` from the installed place first, then from beside the program, as
// in the build folder; nullptr if neither opens, dlerror() saying why.
void* openProgramModule(const std::string& module);
