// Where the frames of a clip go: one numbered PNG a frame, one animated
// WebP, MP4, WebM or GIF, or PNGs one after another on a stream (clip_kinds.h
// lists them). The frame loop hands each finished frame to addClipFrame,
// whatever the output; no GL here.
#pragma once

#include <string>

#include "picture/clip/clip_kinds.h"
#include "picture/write/output_file.h"
#include "picture/write/png_writer.h"

struct VideoClip;

// A name with one frame number in it: before, the number padded with zeros
// to `digits`, after. "%d" has 1 digit, "%03d" 3; "%%" stands for "%".
struct FrameNamePattern {
    std::string before, after;
    int digits = 0; // 0: the name holds no number
};

// Reads `name` as a pattern; nullptr, or what a name should have been.
const char* readFrameNamePattern(const std::string& name, FrameNamePattern& pattern);
std::string frameFileName(const FrameNamePattern& pattern, int number);

struct ClipSettings {
    int width = 0, height = 0;
    bool alpha = false;     // RGBA frames, else RGB
    int frames = 1;         // how many the clip will have
    double framesPerSecond; // WebP, GIF: frame i starts at round(i * 1000 / fps) ms; a video's rate
    int quality;            // 0 to 100, lossy; -1 lossless (WebP only); not the GIF's
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
    OutputFile file;        // the WebP, video or GIF, open from the start so a bad name fails first
    void* webpEncoder = nullptr;
    VideoClip* video = nullptr;
    GifClip* gif = nullptr;
};

// Chooses the format from the name as clipKindOf does; "-", "mp4:-" and
// "gif:-" are the stream descriptor. False with failedPath and error set.
bool startClip(ClipOutput& output, const std::string& name, int stream,
               const ClipSettings& settings);

// One frame: width x height pixels, 3 or 4 bytes each, rows top first.
// `text` goes into a PNG frame's tEXt chunks.
bool addClipFrame(ClipOutput& output, const unsigned char* pixels, const PngText& text);

// After the last frame: the WebP, video or GIF completed, written and
// renamed into place.
bool finishClip(ClipOutput& output);

// Frees the encoder and removes the temporary file if still there.
void discardClip(ClipOutput& output);
