// The project's own marble picture, computed from a fixed noise function.
#pragma once

#include <vector>

// R, G, B bytes, bottom row first. The same size always gives the same
// bytes, and the picture tiles seamlessly because the logo repeats it.
std::vector<unsigned char> makeMarble(int size);

// Something like a photograph of width x height: the marble, 1024 pixels
// to a tile, with a little noise that keeps a compressor from finding long
// repeats. R, G, B bytes, bottom row first.
std::vector<unsigned char> photoLikePicture(int width, int height);
