// The project's own marble picture, computed from a fixed noise function.
#pragma once

#include <vector>

// R, G, B bytes, bottom row first. The same size always gives the same
// bytes, and the picture tiles seamlessly because the logo repeats it.
std::vector<unsigned char> makeMarble(int size);
