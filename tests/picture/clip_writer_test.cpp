#include "picture/clip/clip_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>
#include <webp/demux.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "picture/clip/video_clip.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// One folder a process, as ctest -j runs each test in a process of its own;
// removed at the process's end.
const fs::path scratch = fs::temp_directory_path() / ("ovrik-clips-" + std::to_string(getpid()));
const struct RemovedAtExit {
    ~RemovedAtExit() {
        std::error_code ignored;
        fs::remove_all(scratch, ignored);
    }
} removedAtExit;

Bytes readAll(const fs::path& name) {
    std::ifstream file(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

// Temporary files are named .NAME.XXXXXX.
bool holdsTemporaryFile(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string()[0] == '.') {
            return true;
        }
    }
    return false;
}

std::string oldFile(const fs::path& name) {
    std::ofstream(name) << "old";
    return name.string();
}

// Frames that differ from each other and from top to bottom, with alpha 0,
// 128 and 255 where there is alpha.
Bytes frameOf(int number, int width, int height, int channels) {
    Bytes pixels;
    for (int i = 0; i < width * height; ++i) {
        pixels.push_back(static_cast<unsigned char>(i * 7 + number * 40));
        pixels.push_back(static_cast<unsigned char>(i / width * 15));
        pixels.push_back(static_cast<unsigned char>(number * 60));
        if (channels == 4) {
            pixels.push_back(static_cast<unsigned char>(i % 3 * 128 - (i % 3 == 2)));
        }
    }
    return pixels;
}

// Whatever exists at a name is written into, never replaced: each row
// makes something, writes "picture" there through the output file and
// checks what became of it.
TEST(OutputFile, WhatExistsIsWrittenIntoAndOnlyAFileIsReplaced) {
    const fs::path where = scratch / "outputs", elsewhere = scratch / "elsewhere";
    int pipeEnds[2] = {-1, -1};
    ASSERT_EQ(pipe(pipeEnds), 0);
    std::string fromFifo;
    std::thread fifoReader;
    const auto holdsPicture = [](const fs::path& name) { return readAll(name).size() == 7; };
    const struct {
        const char* name;
        std::function<std::string()> make; // the name to write to
        std::function<bool()> check;
        int error;
    } cases[] = {
        {"a regular file is replaced whole", [&] { return oldFile(where / "old.png"); },
         [&] { return holdsPicture(where / "old.png"); }, 0},
        {"a chain of links is followed into another folder, and stays",
         [&] {
             fs::create_symlink("../elsewhere/target.png", where / "first.png");
             fs::create_symlink("second.png", elsewhere / "target.png");
             oldFile(elsewhere / "second.png");
             return (where / "first.png").string();
         },
         [&] {
             return fs::is_symlink(where / "first.png") &&
                    fs::is_symlink(elsewhere / "target.png") &&
                    holdsPicture(elsewhere / "second.png");
         },
         0},
        {"a link to nothing yet makes its target",
         [&] {
             fs::create_symlink("made.png", where / "dangling.png");
             return (where / "dangling.png").string();
         },
         [&] { return fs::is_symlink(where / "dangling.png") && holdsPicture(where / "made.png"); },
         0},
        {"a FIFO is written to its reader",
         [&] {
             mkfifo((where / "fifo").c_str(), 0600);
             fifoReader = std::thread([&] {
                 const Bytes read = readAll(where / "fifo");
                 fromFifo.assign(read.begin(), read.end());
             });
             return (where / "fifo").string();
         },
         [&] {
             fifoReader.join();
             return fs::is_fifo(where / "fifo") && fromFifo == "picture";
         },
         0},
        {"an open descriptor named through /proc is written, not replaced",
         [&] { return "/dev/fd/" + std::to_string(pipeEnds[1]); },
         [&] {
             char read[16] = {};
             close(pipeEnds[1]);
             return ::read(pipeEnds[0], read, sizeof read) == 7 && std::string(read) == "picture";
         },
         0},
        {"a device stays a device (made by root only, never the real one)",
         [&] {
             mknod((where / "null").c_str(), S_IFCHR | 0666, makedev(1, 3));
             return (where / "null").string();
         },
         [&] { return fs::is_character_file(where / "null"); }, 0},
        {"a folder is refused",
         [&] {
             fs::create_directory(where / "folder");
             return (where / "folder").string();
         },
         [&] { return fs::is_empty(where / "folder"); }, EISDIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (std::strstr(c.name, "root") != nullptr && getuid() != 0) {
            continue;
        }
        fs::remove_all(scratch);
        fs::create_directories(where);
        fs::create_directories(elsewhere);
        OutputFile output;
        const std::string name = c.make();
        const bool written = openOutputFile(output, name, -1) &&
                             std::fputs("picture", output.file) >= 0 && closeOutputFile(output) &&
                             placeOutputFile(output);
        discardOutputFile(output);
        EXPECT_EQ(written ? "" : output.error, c.error != 0 ? std::strerror(c.error) : "");
        EXPECT_TRUE(c.check());
        EXPECT_FALSE(holdsTemporaryFile(where) || holdsTemporaryFile(elsewhere));
    }
    close(pipeEnds[0]);
}

// Rows top first, RGB or RGBA as asked; empty if it is no PNG.
Bytes decodePng(const unsigned char* data, size_t size, int channels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Bytes pixels;
    if (png_image_begin_read_from_memory(&image, data, size) != 0) {
        image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
        pixels.resize(PNG_IMAGE_SIZE(image));
        png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    }
    return pixels;
}

ClipSettings clipSettings(bool alpha, int frames, double framesPerSecond = 30, int quality = 90) {
    return {24, 16, alpha, frames, framesPerSecond, quality};
}

// Hands `frames` frames to the output, as many times as it asks, frameOf's unless `frame` makes
// them; the first that fails ends it.
bool writeClip(ClipOutput& output, const std::string& name, int stream,
               const ClipSettings& settings, std::function<Bytes(int)> frame = nullptr) {
    bool written = startClip(output, name, stream, settings);
    for (int n = 0; written && n < settings.frames * output.passes; ++n) {
        const int i = n % settings.frames;
        const PngText text = {{"Comment", "frame " + std::to_string(i)}};
        written = addClipFrame(
            output, (frame ? frame(i) : frameOf(i, 24, 16, settings.alpha ? 4 : 3)).data(), text);
    }
    written = written && finishClip(output);
    discardClip(output);
    return written;
}

// Read back with libwebp's own demuxer: the frames, when each ends, the
// loop, the alpha, and lossless pixels exactly; a single frame is a still.
TEST(ClipWriter, WebpHoldsEveryFrameAtItsTimeAndLoopsForever) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const std::string name = (scratch / "clip.webp").string();
    for (const ClipSettings& settings :
         {clipSettings(true, 5, 7, -1), clipSettings(false, 3, 120, -1), clipSettings(true, 1)}) {
        SCOPED_TRACE(::testing::Message()
                     << settings.frames << " frames, alpha " << settings.alpha);
        ClipOutput output;
        ASSERT_TRUE(writeClip(output, name, -1, settings)) << output.error;
        EXPECT_FALSE(holdsTemporaryFile(scratch));
        const Bytes file = readAll(name);
        const WebPData data = {file.data(), file.size()};
        WebPAnimDecoderOptions options;
        WebPAnimDecoderOptionsInit(&options);
        options.color_mode = MODE_RGBA;
        WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
        ASSERT_NE(decoder, nullptr);
        WebPAnimInfo info;
        WebPAnimDecoderGetInfo(decoder, &info);
        const uint32_t flags =
            WebPDemuxGetI(WebPAnimDecoderGetDemuxer(decoder), WEBP_FF_FORMAT_FLAGS);
        EXPECT_EQ(info.frame_count, static_cast<uint32_t>(settings.frames));
        EXPECT_EQ(info.loop_count, settings.frames > 1 ? 0u : 1u); // a still plays once
        EXPECT_EQ((flags & ALPHA_FLAG) != 0, settings.alpha);
        EXPECT_EQ((flags & ANIMATION_FLAG) != 0, settings.frames > 1);
        for (int i = 0; WebPAnimDecoderHasMoreFrames(decoder); ++i) {
            uint8_t* canvas = nullptr;
            int end = 0;
            ASSERT_TRUE(WebPAnimDecoderGetNext(decoder, &canvas, &end));
            if (settings.frames > 1) { // a still has no timing
                EXPECT_EQ(end, std::lround((i + 1) * 1000.0 / settings.framesPerSecond)) << i;
            }
            const Bytes frame = frameOf(i, 24, 16, settings.alpha ? 4 : 3);
            const int channels = settings.alpha ? 4 : 3;
            int worst = 0, total = 0, count = 0;
            for (int p = 0; p < 24 * 16; ++p) {
                const int alpha = settings.alpha ? frame[p * 4 + 3] : 255;
                for (int c = 0; c < 4; ++c) { // colour where it shows, and alpha
                    const int difference =
                        std::abs(canvas[p * 4 + c] - (c == 3 ? alpha : frame[p * channels + c]));
                    worst = std::max(worst, alpha != 0 || c == 3 ? difference : 0);
                    total += alpha != 0 || c == 3 ? difference : 0;
                    count += alpha != 0 || c == 3;
                }
            }
            // Lossless exactly; lossy within a mean of 24 on this noisy pattern.
            EXPECT_LE(settings.quality < 0 ? worst : total / count, settings.quality < 0 ? 0 : 24)
                << "frame " << i;
        }
        WebPAnimDecoderDelete(decoder);
    }
}

// Every frame of a WebP, RGBA, as its viewer shows them.
std::vector<Bytes> webpFrames(const fs::path& name) {
    const Bytes file = readAll(name);
    const WebPData data = {file.data(), file.size()};
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, nullptr);
    std::vector<Bytes> frames;
    WebPAnimInfo info;
    uint8_t* canvas = nullptr;
    int end = 0;
    while (decoder != nullptr && WebPAnimDecoderGetInfo(decoder, &info) &&
           WebPAnimDecoderGetNext(decoder, &canvas, &end)) {
        frames.emplace_back(canvas, canvas + size_t{info.canvas_width} * info.canvas_height * 4);
    }
    WebPAnimDecoderDelete(decoder);
    return frames;
}

// A marbled bar on grey that narrows as it turns away: no frame of the lossy
// clip keeps more of the earlier, wider bars on the grey around it (more
// than 2 levels off, over 4 pixels from the bar) than the same frame saved
// alone as a still.
TEST(ClipWriter, LossyClipLeavesNoGhostsOfEarlierFrames) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const int width = 160, height = 96, frames = 9, grey = 102;
    const auto halfWidth = [](int i) { return 70 * std::cos(i * M_PI / 16); };
    const auto frame = [&](int i) {
        Bytes pixels(size_t{width} * height * 3, grey);
        for (int p = 0; p < width * height; ++p) {
            if (std::abs(p % width + 0.5 - width / 2.0) < halfWidth(i) && p / width % 80 > 16) {
                for (int c = 0; c < 3; ++c) {
                    pixels[p * 3 + c] = static_cast<unsigned char>(60 + (p * 37 + c * 11) % 150);
                }
            }
        }
        return pixels;
    };
    const auto ghosts = [&](const Bytes& shown, int i) {
        int count = 0;
        for (int p = 0; p < width * height; ++p) {
            const bool far =
                std::abs(p % width + 0.5 - width / 2.0) > halfWidth(i) + 4 || p / width % 80 < 12;
            count += far && std::abs(shown[p * 4 + 1] - grey) > 2;
        }
        return count;
    };
    ClipOutput clip;
    ASSERT_TRUE(writeClip(clip, (scratch / "clip.webp").string(), -1,
                          {width, height, false, frames, 30, 90}, frame));
    const std::vector<Bytes> shown = webpFrames(scratch / "clip.webp");
    ASSERT_EQ(shown.size(), size_t{frames});
    for (int i = 1; i < frames; ++i) {
        ClipOutput still;
        ASSERT_TRUE(writeClip(still, (scratch / "still.webp").string(), -1,
                              {width, height, false, 1, 30, 90}, [&](int) { return frame(i); }));
        EXPECT_LE(ghosts(shown[i], i), 2 * ghosts(webpFrames(scratch / "still.webp")[0], i) + 20)
            << "frame " << i;
    }
}

// A bar that moves across grey, in marbled colours: read back with giflib,
// every frame at its time, looping forever, the first and last as shown on
// the screen close to what was drawn, and each later frame only the
// rectangle that changed, the rest of it transparent.
TEST(ClipWriter, GifLoopsForeverAndStoresOnlyWhatChanged) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const int width = 64, height = 40, frames = 7;
    const double framesPerSecond = 24;
    const auto frame = [&](int i) {
        Bytes pixels(size_t{width} * height * 3, 102);
        for (int p = 0; p < width * height; ++p) {
            if (std::abs(p % width - 8 - 6 * i) < 5 && p / width > 6) {
                for (int c = 0; c < 3; ++c) {
                    pixels[p * 3 + c] = static_cast<unsigned char>(60 + (p * 37 + c * 11) % 150);
                }
            }
        }
        return pixels;
    };
    const std::string name = (scratch / "clip.gif").string();
    ClipOutput output;
    ASSERT_TRUE(
        writeClip(output, name, -1, {width, height, false, frames, framesPerSecond, 90}, frame))
        << output.error;
    EXPECT_FALSE(holdsTemporaryFile(scratch));
    int error = 0;
    GifFileType* gif = DGifOpenFileName(name.c_str(), &error);
    ASSERT_NE(gif, nullptr);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK);
    ASSERT_EQ(gif->ImageCount, frames);
    const ExtensionBlock* loop = gif->SavedImages[0].ExtensionBlocks;
    ASSERT_GE(gif->SavedImages[0].ExtensionBlockCount, 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(loop[0].Bytes), 11), "NETSCAPE2.0");
    EXPECT_EQ(Bytes(loop[1].Bytes, loop[1].Bytes + 3), Bytes({1, 0, 0})); // loops forever
    Bytes screen(size_t{width} * height * 3);
    for (int i = 0; i < frames; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const GifImageDesc& at = image.ImageDesc;
        GraphicsControlBlock control;
        ASSERT_EQ(DGifSavedExtensionToGCB(gif, i, &control), GIF_OK);
        EXPECT_EQ(control.DelayTime, std::lround((i + 1) * 100 / framesPerSecond) -
                                         std::lround(i * 100 / framesPerSecond));
        EXPECT_EQ(control.DisposalMode, DISPOSE_DO_NOT);
        // The bar moves 6 pixels: the frame spans its old and new places.
        EXPECT_EQ(std::make_tuple(at.Left, at.Width, at.Height),
                  i == 0 ? std::make_tuple(0, width, height) : std::make_tuple(6 * i - 2, 15, 33))
            << i;
        int transparent = 0;
        for (int y = 0; y < at.Height; ++y) {
            for (int x = 0; x < at.Width; ++x) {
                const int index = image.RasterBits[y * at.Width + x];
                transparent += index == control.TransparentColor;
                if (index != control.TransparentColor) {
                    const GifColorType& colour = gif->SColorMap->Colors[index];
                    std::copy_n(&colour.Red, 3, &screen[((at.Top + y) * width + at.Left + x) * 3]);
                }
            }
        }
        EXPECT_EQ(transparent > at.Width, i > 0) << i; // the grey between the bars
        if (i == 0 || i == frames - 1) {
            const Bytes drawn = frame(i);
            double squares = 0;
            for (size_t p = 0; p < drawn.size(); ++p) {
                squares += (drawn[p] - screen[p]) * (drawn[p] - screen[p]);
            }
            EXPECT_GE(10 * std::log10(255.0 * 255 * drawn.size() / std::max(squares, 1.0)), 30)
                << i;
        }
    }
    DGifCloseFile(gif, &error);
}

// A stream of PNGs splits back into the frames; numbered files are each
// whole, and one that cannot be written says which, and how many were.
TEST(ClipWriter, PngFramesAreWholeFilesOneAfterAnother) {
    fs::remove_all(scratch);
    fs::create_directories(scratch / "f-02.png");
    const std::string streamName = (scratch / "stream").string();
    const int stream = open(streamName.c_str(), O_WRONLY | O_CREAT, 0600);
    ClipOutput piped, numbered;
    EXPECT_TRUE(writeClip(piped, "-", stream, clipSettings(true, 3)));
    close(stream);
    EXPECT_FALSE(
        writeClip(numbered, (scratch / "f-%02d.png").string(), -1, clipSettings(false, 4)));
    EXPECT_EQ(
        std::make_tuple(numbered.written, numbered.failedPath, numbered.error),
        std::make_tuple(2, (scratch / "f-02.png").string(), std::string(std::strerror(EISDIR))));
    const Bytes all = readAll(streamName);
    const std::string end = "IEND";
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t next = std::search(all.begin() + start, all.end(), end.begin(), end.end()) -
                            all.begin() + 8; // the chunk's name and CRC
        ASSERT_LE(next, all.size());
        EXPECT_EQ(decodePng(&all[start], next - start, 4), frameOf(i, 24, 16, 4)) << i;
        const std::string text(all.begin() + start, all.begin() + next);
        EXPECT_NE(text.find("frame " + std::to_string(i)), std::string::npos);
        start = next;
    }
    EXPECT_EQ(start, all.size());
    for (int i = 0; i < 2; ++i) {
        const Bytes file = readAll(scratch / ("f-0" + std::to_string(i) + ".png"));
        EXPECT_EQ(decodePng(file.data(), file.size(), 3), frameOf(i, 24, 16, 3)) << i;
    }
    EXPECT_FALSE(holdsTemporaryFile(scratch));
}

// A video read back as a player reads it: its stream's figures and every
// frame in RGB through the matrix it is tagged with.
struct Video {
    std::string codec;
    int profile = -1, frames = 0;
    AVRational rate{};
    std::string tags; // primaries, transfer, matrix, range
    Bytes first, last;
};

Video decodeVideo(const std::string& name) {
    Video video;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, name.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format, nullptr) < 0) {
        return video;
    }
    const AVStream& stream = *format->streams[0];
    const AVCodecParameters& p = *stream.codecpar;
    video.codec = avcodec_get_name(p.codec_id);
    video.profile = p.profile;
    video.rate = stream.avg_frame_rate;
    video.tags = std::string(av_color_primaries_name(p.color_primaries)) + " " +
                 av_color_transfer_name(p.color_trc) + " " + av_color_space_name(p.color_space) +
                 " " + av_color_range_name(p.color_range);
    const AVCodec* codec = avcodec_find_decoder(p.codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    avcodec_parameters_to_context(decoder, &p);
    avcodec_open2(decoder, codec, nullptr);
    for (bool more = true; more;) {
        more = av_read_frame(format, packet) >= 0;
        avcodec_send_packet(decoder, more ? packet : nullptr);
        av_packet_unref(packet);
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            Bytes rgb(size_t{3} * frame->width * frame->height);
            SwsContext* scaler = sws_getContext(
                frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC | SWS_ACCURATE_RND,
                nullptr, nullptr, nullptr);
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(scaler, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
            unsigned char* rows[] = {rgb.data()};
            const int strides[] = {3 * frame->width};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, rows, strides);
            sws_freeContext(scaler);
            (video.frames++ == 0 ? video.first : video.last) = rgb;
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return video;
}

double psnr(const Bytes& a, const Bytes& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size() && a.size() == b.size(); ++i) {
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    }
    return a.size() == b.size() ? 10 * std::log10(255.0 * 255 * a.size() / std::max(sum, 1.0)) : 0;
}

// Smooth colour that moves from frame to frame, as a turntable's does.
Bytes smoothFrame(int number) {
    Bytes pixels;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 64; ++x) {
            pixels.push_back(static_cast<unsigned char>(40 + x * 2 + number * 9));
            pixels.push_back(static_cast<unsigned char>(200 - y * 3));
            pixels.push_back(
                static_cast<unsigned char>(std::abs(x / 2 - number * 3) < 5 ? 230 : 30));
        }
    }
    return pixels;
}

// Each video holds every frame at its rate, tagged BT.709 in limited range,
// its first and last frames what was drawn within the codec's margin; a
// file has its index in front, a stream is fragmented.
TEST(ClipWriter, VideosHoldEveryFrameTaggedAsConverted) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    const std::string streamName = (scratch / "stream.mp4").string();
    const struct {
        const char* name;
        const char* codec;
        int profile;
        const char* index; // what comes first of the index and the frames
    } cases[] = {{"clip.mp4", "h264", FF_PROFILE_H264_HIGH, "moov"},
                 {"clip.WEBM", "vp9", FF_PROFILE_VP9_0, nullptr},
                 {"mp4:-", "h264", FF_PROFILE_H264_HIGH, "moof"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int stream = open(streamName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string file = c.name[3] == ':' ? streamName : (scratch / c.name).string();
        ClipOutput output;
        ASSERT_TRUE(writeClip(output, c.name[3] == ':' ? c.name : file, stream,
                              {64, 48, false, 7, 12.5, 90}, smoothFrame))
            << output.error;
        close(stream);
        EXPECT_FALSE(holdsTemporaryFile(scratch));
        const Video video = decodeVideo(file);
        EXPECT_EQ(std::make_tuple(video.codec, video.profile, video.frames, video.tags),
                  std::make_tuple(std::string(c.codec), c.profile, 7,
                                  std::string("bt709 bt709 bt709 tv")));
        EXPECT_EQ(av_cmp_q(video.rate, AVRational{25, 2}), 0);
        EXPECT_GE(psnr(video.first, smoothFrame(0)), 33);
        EXPECT_GE(psnr(video.last, smoothFrame(6)), 33);
        if (c.index != nullptr) {
            const Bytes bytes = readAll(file);
            const std::string text(bytes.begin(), bytes.end());
            EXPECT_LT(text.find(c.index), text.find("mdat"));
        }
    }
}

// What a video cannot be costs one line, and leaves nothing.
TEST(ClipWriter, VideoThatCannotBeMadeSaysWhy) {
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    ClipOutput transparent;
    EXPECT_FALSE(
        writeClip(transparent, (scratch / "a.webm").string(), -1, {64, 48, true, 2, 30, 90}));
    EXPECT_EQ(transparent.error, "a WebM holds no alpha");
    ClipKind missing = clipKindOf("a.mp4");
    missing.encoder = "libnone";
    OutputFile file;
    std::string error;
    ASSERT_TRUE(openOutputFile(file, (scratch / "b.mp4").string(), -1));
    EXPECT_EQ(videoClipWriter(error)->start(missing, 64, 48, 30, 90, file, error), nullptr);
    discardOutputFile(file);
    EXPECT_EQ(error, "this libavcodec has no libnone encoder; Debian's libavcodec" +
                         std::to_string(LIBAVCODEC_VERSION_MAJOR) + " brings it");
    EXPECT_TRUE(fs::is_empty(scratch));
}

// --quality 90 is each codec's default CRF, 100 its best and 0 its worst.
TEST(ClipWriter, QualityMapsOntoTheCodecsCrf) {
    for (const char* name : {"a.mp4", "a.webm"}) {
        const ClipKind& kind = clipKindOf(name);
        EXPECT_EQ(std::make_tuple(crfOf(kind, 100), crfOf(kind, 90), crfOf(kind, 0)),
                  std::make_tuple(kind.bestCrf, kind.defaultCrf, kind.worstCrf))
            << name;
        EXPECT_LT(crfOf(kind, 95), kind.defaultCrf);
        EXPECT_GT(crfOf(kind, 45), kind.defaultCrf);
    }
}

TEST(ClipWriter, FrameNamesAreNumberedAsTheirPatternSays) {
    const struct {
        const char* pattern;
        int number;
        const char* name;
    } cases[] = {{"spin-%03d.png", 7, "spin-007.png"},
                 {"%d", 123456, "123456"},
                 {"100%%-%09d.png", 42, "100%-000000042.png"},
                 {"%02d.png", 100, "100.png"},
                 {"plain%%.png", 3, "plain%.png"}};
    for (const auto& c : cases) {
        FrameNamePattern pattern;
        ASSERT_EQ(readFrameNamePattern(c.pattern, pattern), nullptr) << c.pattern;
        EXPECT_EQ(frameFileName(pattern, c.number), c.name);
    }
}

} // namespace
