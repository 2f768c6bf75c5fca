// An animated GIF of a clip: one palette for every frame, chosen by
// libimagequant from all of them and dithered onto each, and each frame
// after the first only the rectangle that changed, its unchanged pixels
// transparent. Memory stays that of a few frames however long the clip: the
// frames are handed over twice, the first time for the palette only.
#pragma once

#include <cstdio>
#include <string>

struct GifClip;

constexpr int gifClipPasses = 2; // every frame, in order, twice

// Writes into `file`, which stays the caller's. Frame i starts at
// round(i * 100 / framesPerSecond) hundredths of a second. nullptr with
// `error` set when it cannot start.
GifClip* startGifClip(std::FILE* file, int width, int height, int frames, double framesPerSecond,
                      std::string& error);

// One frame, width x height RGB pixels, rows top first.
bool addGifFrame(GifClip& gif, const unsigned char* pixels, std::string& error);

// After the second pass: the GIF's trailer, flushed into the file.
bool finishGifClip(GifClip& gif, std::string& error);

// Frees what it holds, whether it finished or not.
void discardGifClip(GifClip* gif);
