// The outputs a clip can go to, one row each: how its name chooses it, what
// it takes, how its writer takes the frames, and for a video what
// libavformat and libavcodec make of it. The writers, the option checks and
// the messages read this table alone.
#pragma once

#include <string>
#include <string_view>

#include "picture/clip/gif_clip.h"

enum class ClipFormat { numberedPng, webp, pngStream, mp4, webm, gif };

struct ClipKind {
    ClipFormat format;
    const char* ending; // of a file's name, any case; nullptr: chosen otherwise
    const char* stream; // the name for standard output, or nullptr
    const char* name;   // in messages: "an MP4"
    bool oneFile;       // every frame in one file, timed by --fps
    bool lossless;      // takes --quality lossless
    bool alpha;         // takes --background transparent
    int largestSide;
    bool evenSides;                 // 4:2:0 colour covers 2 x 2 pixels
    bool quality = true;            // one file's: takes --quality
    int passes = 1;                 // how many times the frames are handed over, in order
    double mostFramesPerSecond = 0; // that players keep to; 0: any
    // A video's, by libavformat's and libavcodec's names.
    const char* muxer = nullptr;
    const char* encoder = nullptr;
    const char* pixelFormat = nullptr;
    const char* encoderOptions = nullptr; // key=value:...
    const char* fileOptions = nullptr;    // the muxer's, into a file it can seek in
    const char* streamOptions = nullptr;  // and into a pipe
    // --quality 100, 90 (the default) and 0 give these; steps between are even.
    int bestCrf = 0, defaultCrf = 0, worstCrf = 0;
};

constexpr int largestVideoSide = 4096; // what browsers and players decode

// The numbered PNGs first: the row for a name no other row claims.
inline constexpr ClipKind clipKinds[] = {
    {ClipFormat::numberedPng, nullptr, nullptr, "a numbered PNG", false, false, true, 16384, false},
    {ClipFormat::pngStream, nullptr, "-", "a PNG stream", false, false, true, 16384, false},
    {ClipFormat::webp, ".webp", nullptr, "a WebP", true, true, true, 16383, false},
    {ClipFormat::mp4, ".mp4", "mp4:-", "an MP4", true, false, false, largestVideoSide, true, true,
     1, 0, "mp4", "libx264", "yuv420p",
     // High profile whatever the picture, which the desktop's players and
     // every browser decode.
     "preset=medium:profile=high", "movflags=+faststart",
     // Fragments that need no seeking back, each from a key frame.
     "movflags=frag_keyframe+empty_moov+default_base_moof", 1, 23, 51},
    {ClipFormat::webm, ".webm", nullptr, "a WebM", true, false, false, largestVideoSide, true, true,
     1, 0, "webm", "libvpx-vp9", "yuv420p",
     // Constant quality (no bit rate) at a speed that keeps 1080p quick.
     "deadline=good:cpu-used=2:row-mt=1:b=0", nullptr, nullptr, 0, 32, 63},
    // One palette over every frame, found in a first pass (gif_clip.h); its
    // pixels clear or not, and browsers stretch delays under 20 ms.
    {ClipFormat::gif, ".gif", "gif:-", "a GIF", true, false, false, 65535, false, false,
     gifClipPasses, 50},
};

// The row a name chooses: by its ending or as a stream's name, else the
// numbered PNGs'.
// Takes the name by view: the row outlives any string it came from.
const ClipKind& clipKindOf(std::string_view name);

// "NAME-%03d.png, NAME.webp, ... or gif:-", the names that hold a clip;
// given `having`, only the files that hold every frame and have it.
using ClipColumn = const bool ClipKind::*;
std::string clipNames(ClipColumn having = nullptr);
