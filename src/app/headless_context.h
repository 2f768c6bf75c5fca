// A GL context with no window and no X display, for views saved to files.
#pragma once

#include <string>

// Whether OVRIK_EGL_PLATFORM may have this value (nullptr: unset).
bool isEglPlatform(const char* name);

// Makes a GL context current with no window and no X display: EGL on
// Mesa's surfaceless platform, else on a device, else the default display;
// only the one `platform` names if it is not nullptr. Returns what is
// missing, or an empty string.
std::string makeHeadlessContext(const char* platform);
