// Where the frames of a clip go: one numbered PNG a frame, one animated
// WebP or GIF, or PNGs or a GIF one after another on a stream. The frame loop hands each
// finished frame to addClipFrame, whatever the output; no GL here.
#pragma once

#include <string>

#include "picture/write/gif_clip.h"
#include "picture/write/output_file.h"
#include "picture/write/png_writer.h"

// A name with one frame number in it: before, the number padded with zeros
// to `digits`, after. "%d" has 1 digit, "%03d" 3; "%%" stands for "%".
struct FrameNamePattern {
    std::string before, after;
    int digits = 0; // 0: the name holds no number
};

// Reads `name` as a pattern; nullptr, or what a name should have been.
const char* readFrameNamePattern(const std::string& name, FrameNamePattern& pattern);
std::string frameFileName(const FrameNamePattern& pattern, int number);

bool isWebpName(const std::string& name);
constexpr int largestWebpSide = 16383;
// NAME.gif, or gif:- for the stream.
bool isGifName(const std::string& name);

enum class ClipFormat { numberedPng, webp, pngStream, gif };

struct ClipSettings {
    int width = 0, height = 0;
    bool alpha = false;     // RGBA frames, else RGB
    int frames = 1;         // how many the clip will have
    double framesPerSecond; // WebP, GIF: frame i starts at round(i * 1000 / fps) ms
    int quality;            // WebP: 0 to 100, lossy; -1 lossless
};

struct ClipOutput {
    ClipFormat format = ClipFormat::pngStream;
    ClipSettings settings;
    FrameNamePattern pattern;
    int stream = -1;
    int written = 0;        // frames complete
    std::string failedPath; // the file that could not be written
    std::string error;      // why, once it failed
    int passes = 1;         // how many times the clip's frames are handed over, in order
    OutputFile file;        // the WebP or GIF, open from the start so a bad name fails first
    void* webpEncoder = nullptr;
    GifClip* gif = nullptr;
};

// Chooses the format from the name: one with a number, a .webp or .gif name,
// or "-" or "gif:-" (the stream descriptor). False with failedPath and error set.
bool startClip(ClipOutput& output, const std::string& name, int stream,
               const ClipSettings& settings);

// One frame: width x height pixels, 3 or 4 bytes each, rows top first.
// `text` goes into a PNG frame's tEXt chunks.
bool addClipFrame(ClipOutput& output, const unsigned char* pixels, const PngText& text);

// After the last frame: the WebP assembled, or the GIF ended, written and
// renamed into place.
bool finishClip(ClipOutput& output);

// Frees the encoder and removes a WebP's or GIF's temporary file if still there.
void discardClip(ClipOutput& output);
