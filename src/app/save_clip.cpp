#include "app/save_clip.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <functional>
#include <iterator>
#include <mutex>
#include <signal.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/save_view.h"
#include "picture/clip/clip_writer.h"

namespace {

// Hands the frames of a clip from the GL thread to the one that compresses
// them: one frame waits while the next is drawn.
struct FrameHandoff {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<unsigned char> waiting; // a frame drawn, not yet taken
    int waitingNumber = -1;             // -1: no frame waits
    bool drawingDone = false, failed = false;
};

void compressFrames(FrameHandoff& handoff, ClipOutput& output, const std::string& comment,
                    const ClipOptions& clip) {
    std::vector<unsigned char> frame;
    for (;;) {
        int number = -1;
        {
            std::unique_lock<std::mutex> hold(handoff.lock);
            handoff.changed.wait(
                hold, [&handoff] { return handoff.waitingNumber >= 0 || handoff.drawingDone; });
            if (handoff.waitingNumber < 0) {
                return;
            }
            std::swap(frame, handoff.waiting); // the drawer gets the old buffer back
            std::swap(number, handoff.waitingNumber);
        }
        handoff.changed.notify_all();
        if (!addClipFrame(
                output, frame.data(),
                savedText(clipFrameComment(comment, clip, number % std::max(clip.frames, 1))))) {
            const std::lock_guard<std::mutex> hold(handoff.lock);
            handoff.failed = true;
            handoff.changed.notify_all();
            return;
        }
    }
}

// Waits until the compressor has taken the frame before, then leaves it
// this one; false once the compressor has failed.
bool handOver(FrameHandoff& handoff, std::vector<unsigned char>& frame, int number) {
    {
        std::unique_lock<std::mutex> hold(handoff.lock);
        handoff.changed.wait(hold,
                             [&handoff] { return handoff.waitingNumber < 0 || handoff.failed; });
        if (handoff.failed) {
            return false;
        }
        std::swap(frame, handoff.waiting); // and gets an older buffer back
        handoff.waitingNumber = number;
    }
    handoff.changed.notify_all();
    return true;
}

// A clip stopped by Ctrl-C, a hang-up or kill stops drawing, removes its
// temporary file and then ends as the signal asked.
volatile std::sig_atomic_t stopSignal = 0;
const int stoppingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void stopClip(int signal) {
    stopSignal = signal;
}

// On a terminal, which frame is drawn, on one line rewritten in place.
void showProgress(int frame, int frames) {
    if (frames > 1 && isatty(STDERR_FILENO) == 1) {
        if (frame < frames) {
            std::fprintf(stderr, "\rframe %d of %d", frame + 1, frames);
        } else {
            std::fputs("\r\033[K", stderr); // cleared at the end
        }
    }
}

} // namespace

ViewState clipFrameView(const ViewState& start, const std::array<double, 3>& spin, int frame,
                        int frames) {
    ViewState view = start;
    const std::array<double, 3> turn =
        clipFrameTurn({start.angleX, start.angleY, start.angleZ}, spin, frame, frames);
    view.angleX = turn[0];
    view.angleY = turn[1];
    view.angleZ = turn[2];
    return view;
}

bool saveClip(const SaveSettings& settings, const ClipOptions& clip, const FrameView& view,
              const std::string& comment, const std::string& path, int stream,
              std::string& failedPath, std::string& error) {
    const int frames = std::max(clip.frames, 1);
    ClipOutput output;
    ViewDrawing drawing;
    // Before the temporary file exists; signals that are ignored (nohup)
    // stay ignored.
    struct sigaction previous[std::size(stoppingSignals)] = {}, stopping = {};
    stopping.sa_handler = stopClip;
    for (size_t i = 0; i < std::size(stoppingSignals); ++i) {
        sigaction(stoppingSignals[i], nullptr, &previous[i]);
        if (previous[i].sa_handler != SIG_IGN) {
            sigaction(stoppingSignals[i], &stopping, nullptr);
        }
    }
    bool started = startDrawing(drawing, settings, output.error);
    output.failedPath = started ? "" : path;
    started = started && startClip(output, path, stream,
                                   {settings.width, settings.height, settings.transparent, frames,
                                    clip.framesPerSecond, clip.quality});
    FrameHandoff handoff;
    std::thread compressor(compressFrames, std::ref(handoff), std::ref(output), std::cref(comment),
                           std::cref(clip));
    FrameView frameView = view;
    std::vector<unsigned char> frame;
    const size_t frameBytes = (settings.transparent ? 4 : 3) * static_cast<size_t>(settings.width) *
                              static_cast<size_t>(settings.height);
    // A GIF takes every frame twice, the first time for its palette: drawing
    // again costs less than holding the frames, and keeps memory flat.
    for (int number = 0; started && stopSignal == 0 && number < frames * output.passes; ++number) {
        frameView.state = clipFrameView(view.state, clip.spin, number % frames, frames);
        // Read straight into the buffer the compressor is handed.
        frame.resize(frameBytes);
        drawView(drawing, frameView, frame.data());
        if (!handOver(handoff, frame, number)) {
            break;
        }
        showProgress(number % frames, frames);
        if (number % frames == frames - 1 && number + 1 < frames * output.passes) {
            showProgress(frames, frames); // the next pass counts from the first frame
        }
    }
    {
        const std::lock_guard<std::mutex> hold(handoff.lock);
        handoff.drawingDone = true;
    }
    handoff.changed.notify_all();
    compressor.join();
    endDrawing(drawing);
    showProgress(frames, frames);
    const bool saved = started && stopSignal == 0 && !handoff.failed && finishClip(output);
    if (!saved) {
        failedPath = output.failedPath;
        error = output.error;
        if (output.format == ClipFormat::numberedPng && frames > 1) {
            error += " (" + std::to_string(output.written) + " of " + std::to_string(frames) +
                     " frames written)";
        }
    }
    discardClip(output);
    for (size_t i = 0; i < std::size(stoppingSignals); ++i) {
        sigaction(stoppingSignals[i], &previous[i], nullptr);
    }
    if (stopSignal != 0) {
        std::raise(stopSignal);
    }
    return saved;
}
