// A clip as a video: RGB frames turned into the encoder's YUV by libswscale,
// compressed by libavcodec and muxed by libavformat into an output file
// that is already open, all on the calling thread. libavcodec brings some
// hundred libraries, so the writer lives in a module of its own, opened the
// first time a video is written; the tests link it in.
#pragma once

#include <string>

#include "picture/clip/clip_kinds.h"
#include "picture/write/output_file.h"

struct VideoClip;

// The CRF that --quality asks of a video.
int crfOf(const ClipKind& kind, int quality);

struct VideoClipWriter;
// The writer, linked in or from its module; nullptr with error set.
const VideoClipWriter* videoClipWriter(std::string& error);
// The module's one symbol; weak, so that only what links the writer has it.
extern "C" const VideoClipWriter* ovrikVideoClipWriter() __attribute__((weak));

struct VideoClipWriter {
    // Opens kind's encoder and muxer for width x height RGB frames into
    // file, which must stay open until end. A file under a temporary name is
    // seekable and gets the muxer's file options, anything else its stream
    // options. nullptr with error set; a missing encoder names the Debian
    // package that brings it.
    VideoClip* (*start)(const ClipKind& kind, int width, int height, double framesPerSecond,
                        int quality, OutputFile& file, std::string& error);

    // One frame, rows top first, 3 bytes a pixel.
    bool (*add)(VideoClip& clip, const unsigned char* rgb, std::string& error);

    // Drains the encoder and completes the file, which then is ready to close.
    bool (*finish)(VideoClip& clip, std::string& error);

    // Frees everything but the file.
    void (*end)(VideoClip* clip);
};
