#include "picture/clip/video_clip.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

struct VideoClip {
    AVFormatContext* muxer = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* encoder = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int64_t frames = 0; // handed to the encoder
};

namespace {

void endVideoClip(VideoClip* clip);

// The libraries say why through av_log, often in more words than their
// error codes: the last error they log is kept for the message, and
// nothing is printed.
std::mutex logLock;
std::string lastLogged;

void keepErrors(void* source, int level, const char* format, va_list arguments) {
    if (level > AV_LOG_ERROR) {
        return;
    }
    char line[512];
    int prefix = 0; // without the "[libx264 @ 0x...]" before it
    av_log_format_line2(source, level, format, arguments, line, sizeof line, &prefix);
    std::string text = line;
    text.erase(text.find_last_not_of(" \n") + 1);
    const std::lock_guard<std::mutex> hold(logLock);
    lastLogged = text;
}

bool fail(std::string& error, int code) {
    const std::lock_guard<std::mutex> hold(logLock);
    if (lastLogged.empty()) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        lastLogged = text;
    }
    error = lastLogged;
    lastLogged.clear();
    return false;
}

int descriptorOf(void* file) {
    return fileno(static_cast<OutputFile*>(file)->file);
}

// Straight to the descriptor: libavformat buffers already. The bytes are
// const from libavformat 61 on, so both forms are taken.
template <typename Byte> int writeBytes(void* file, Byte* bytes, int size) {
    for (int done = 0; done < size;) {
        const ssize_t written =
            write(descriptorOf(file), bytes + done, static_cast<size_t>(size - done));
        if (written < 0 && errno == EINTR) {
            continue; // a signal's handler ran; the frame loop sees it
        }
        if (written <= 0) {
            return AVERROR(written < 0 ? errno : EIO);
        }
        done += static_cast<int>(written);
    }
    return size;
}

int64_t seekBytes(void* file, int64_t offset, int whence) {
    if ((whence & AVSEEK_SIZE) != 0) {
        struct stat status = {};
        return fstat(descriptorOf(file), &status) == 0 ? status.st_size : AVERROR(errno);
    }
    const off_t place = lseek(descriptorOf(file), offset, whence & ~AVSEEK_FORCE);
    return place < 0 ? AVERROR(errno) : place;
}

// The drawing keeps one core busy; the encoder takes the others.
int encoderThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::max(cores, 2u) - 1);
}

// Hands a frame, or nullptr to drain, to the encoder and what it has
// finished to the muxer, each packet lasting one frame.
bool encode(VideoClip& clip, const AVFrame* frame, std::string& error) {
    int code = avcodec_send_frame(clip.encoder, frame);
    while (code >= 0) {
        code = avcodec_receive_packet(clip.encoder, clip.packet);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF) {
            return true;
        }
        if (code >= 0) {
            AVPacket& packet = *clip.packet;
            av_packet_rescale_ts(&packet, clip.encoder->time_base, clip.stream->time_base);
            packet.duration = av_rescale_q(1, clip.encoder->time_base, clip.stream->time_base);
            packet.stream_index = clip.stream->index;
            code = av_interleaved_write_frame(clip.muxer, &packet);
        }
    }
    return fail(error, code);
}

// Options as key=value:..., for opening something that must take them all.
AVDictionary* optionsOf(const char* text) {
    AVDictionary* options = nullptr;
    av_dict_parse_string(&options, text, "=", ":", 0);
    return options;
}

// What `code` opened with `options` says, and the options it did not take.
bool opened(int code, AVDictionary*& options, std::string& error) {
    const AVDictionaryEntry* left = av_dict_get(options, "", nullptr, AV_DICT_IGNORE_SUFFIX);
    const std::string leftKey = left != nullptr ? left->key : "";
    av_dict_free(&options);
    if (code < 0) {
        return fail(error, code);
    }
    if (!leftKey.empty()) {
        error = "no option " + leftKey;
        return false;
    }
    return true;
}

bool startEncoder(VideoClip& clip, const ClipKind& kind, const AVCodec* codec, int width,
                  int height, double framesPerSecond, int quality, std::string& error) {
    clip.encoder = avcodec_alloc_context3(codec);
    if (clip.encoder == nullptr) {
        return fail(error, AVERROR(ENOMEM));
    }
    AVCodecContext& encoder = *clip.encoder;
    encoder.width = width;
    encoder.height = height;
    encoder.pix_fmt = av_get_pix_fmt(kind.pixelFormat);
    encoder.framerate = av_d2q(framesPerSecond, 100000);
    encoder.time_base = av_inv_q(encoder.framerate);
    // What the frames are converted with, so players convert back alike.
    encoder.color_primaries = AVCOL_PRI_BT709;
    encoder.color_trc = AVCOL_TRC_BT709;
    encoder.colorspace = AVCOL_SPC_BT709;
    encoder.color_range = AVCOL_RANGE_MPEG;
    encoder.thread_count = encoderThreads();
    if ((clip.muxer->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
        encoder.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* options = optionsOf(kind.encoderOptions);
    av_dict_set_int(&options, "crf", crfOf(kind, quality), 0);
    return opened(avcodec_open2(clip.encoder, codec, &options), options, error);
}

bool startScaler(VideoClip& clip, std::string& error) {
    const AVCodecContext& encoder = *clip.encoder;
    clip.frame = av_frame_alloc();
    clip.packet = av_packet_alloc();
    if (clip.frame == nullptr || clip.packet == nullptr) {
        return fail(error, AVERROR(ENOMEM));
    }
    clip.frame->format = encoder.pix_fmt;
    clip.frame->width = encoder.width;
    clip.frame->height = encoder.height;
    if (const int code = av_frame_get_buffer(clip.frame, 0); code < 0) {
        return fail(error, code);
    }
    // Rounded, not truncated; the colour halved by a Lanczos filter over
    // every pixel, which on these frames keeps the most of it (0.45 dB
    // above a Gaussian, 0.05 dB above bicubic).
    clip.scaler = sws_getContext(encoder.width, encoder.height, AV_PIX_FMT_RGB24, encoder.width,
                                 encoder.height, encoder.pix_fmt,
                                 SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr,
                                 nullptr, nullptr);
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    // Full-range RGB in, limited-range YUV out.
    if (clip.scaler == nullptr ||
        sws_setColorspaceDetails(clip.scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16) < 0) {
        return fail(error, AVERROR(EINVAL));
    }
    return true;
}

VideoClip* startVideoClip(const ClipKind& kind, int width, int height, double framesPerSecond,
                          int quality, OutputFile& file, std::string& error) {
    av_log_set_callback(keepErrors);
    {
        const std::lock_guard<std::mutex> hold(logLock);
        lastLogged.clear();
    }
    if (width < 1 || height < 1 || std::max(width, height) > kind.largestSide ||
        (kind.evenSides && (width % 2 != 0 || height % 2 != 0))) {
        error = std::to_string(width) + "x" + std::to_string(height) + " is not a size " +
                kind.name + " takes";
        return nullptr;
    }
    const AVCodec* codec = avcodec_find_encoder_by_name(kind.encoder);
    if (codec == nullptr) {
        // The library's file name, and so its package's, carries its major
        // version.
        error = std::string("this libavcodec has no ") + kind.encoder +
                " encoder; Debian's libavcodec" + std::to_string(avcodec_version() >> 16) +
                " brings it";
        return nullptr;
    }
    VideoClip* clip = new VideoClip;
    // Seekable only under a temporary name: a pipe, device or FIFO is
    // written front to back.
    const bool seekable = !file.temporaryPath.empty();
    const int bufferSize = 1 << 16;
    unsigned char* buffer = nullptr;
    // The muxer opens its own name again to move the index to the front:
    // "file:" keeps a colon in it from reading as a protocol.
    int code = avformat_alloc_output_context2(&clip->muxer, nullptr, kind.muxer,
                                              ("file:" + file.temporaryPath).c_str());
    if (code >= 0) {
        buffer = static_cast<unsigned char*>(av_malloc(bufferSize));
        clip->io = buffer == nullptr
                       ? nullptr
                       : avio_alloc_context(buffer, bufferSize, 1, &file, nullptr, writeBytes,
                                            seekable ? seekBytes : nullptr);
        if (clip->io == nullptr) {
            av_free(buffer);
            code = AVERROR(ENOMEM);
        }
    }
    bool started = code >= 0 || fail(error, code);
    if (started) {
        clip->muxer->pb = clip->io;
        clip->muxer->flags |= AVFMT_FLAG_CUSTOM_IO;
        started = startEncoder(*clip, kind, codec, width, height, framesPerSecond, quality, error);
    }
    if (started) {
        clip->stream = avformat_new_stream(clip->muxer, nullptr);
        code = clip->stream == nullptr
                   ? AVERROR(ENOMEM)
                   : avcodec_parameters_from_context(clip->stream->codecpar, clip->encoder);
        started = code >= 0 || fail(error, code);
    }
    if (started) {
        clip->stream->time_base = clip->encoder->time_base;
        clip->stream->avg_frame_rate = clip->encoder->framerate;
        AVDictionary* options = optionsOf(seekable ? kind.fileOptions : kind.streamOptions);
        started = opened(avformat_write_header(clip->muxer, &options), options, error) &&
                  startScaler(*clip, error);
    }
    if (!started) {
        endVideoClip(clip);
        return nullptr;
    }
    return clip;
}

bool addVideoFrame(VideoClip& clip, const unsigned char* rgb, std::string& error) {
    if (const int code = av_frame_make_writable(clip.frame); code < 0) {
        return fail(error, code);
    }
    const unsigned char* const rows[] = {rgb};
    const int strides[] = {3 * clip.frame->width};
    sws_scale(clip.scaler, rows, strides, 0, clip.frame->height, clip.frame->data,
              clip.frame->linesize);
    clip.frame->pts = clip.frames++;
    return encode(clip, clip.frame, error);
}

bool finishVideoClip(VideoClip& clip, std::string& error) {
    if (!encode(clip, nullptr, error)) {
        return false;
    }
    const int code = av_write_trailer(clip.muxer);
    if (code < 0) {
        return fail(error, code);
    }
    return true;
}

void endVideoClip(VideoClip* clip) {
    if (clip == nullptr) {
        return;
    }
    sws_freeContext(clip->scaler);
    av_frame_free(&clip->frame);
    av_packet_free(&clip->packet);
    avcodec_free_context(&clip->encoder);
    avformat_free_context(clip->muxer);
    if (clip->io != nullptr) {
        av_freep(&clip->io->buffer);
    }
    avio_context_free(&clip->io);
    delete clip;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const VideoClipWriter* ovrikVideoClipWriter() {
    static const VideoClipWriter writer = {startVideoClip, addVideoFrame, finishVideoClip,
                                           endVideoClip};
    return &writer;
}
