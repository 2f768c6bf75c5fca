#include "jxl_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jxl/decode.h>
#include <jxl/encode.h>

#include "picture_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The tools' own inputs: a failure of the library is a fault of the tool.
void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "jxl_writer: %s failed\n", what);
        std::abort();
    }
}

// One frame as the encoder takes it: top row first, in the layout's
// samples, the colours inverted for the second frame of an animation.
Bytes framePixels(int width, int height, const Bytes& rgb, const JxlLayout& layout, bool inverted,
                  JxlPixelFormat* format) {
    const int colours = layout.grey ? 1 : 3, channels = colours + (layout.alpha ? 1 : 0);
    const int sampleBytes = layout.samples == JxlLayout::uint8    ? 1
                            : layout.samples == JxlLayout::uint16 ? 2
                                                                  : 4;
    *format = {static_cast<std::uint32_t>(channels),
               layout.samples == JxlLayout::uint8    ? JXL_TYPE_UINT8
               : layout.samples == JxlLayout::uint16 ? JXL_TYPE_UINT16
                                                     : JXL_TYPE_FLOAT,
               JXL_NATIVE_ENDIAN, 0};
    Bytes out(size_t(width) * height * channels * sampleBytes);
    unsigned char* at = out.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* in = &rgb[(size_t(height - 1 - y) * width + x) * 3];
            const int alpha = (x * 37 + y * 91) % 5 * 63;
            for (int c = 0; c < channels; ++c) {
                int value = c == colours ? alpha : inverted ? 255 - in[c] : in[c];
                if (layout.samples == JxlLayout::uint8) {
                    *at++ = static_cast<unsigned char>(value);
                } else if (layout.samples == JxlLayout::uint16) {
                    const auto wide = static_cast<std::uint16_t>(value * 257);
                    std::memcpy(at, &wide, 2), at += 2;
                } else {
                    const float real =
                        c == colours ? value / 255.0f : value / 255.0f * 1.25f - 0.1f;
                    std::memcpy(at, &real, 4), at += 4;
                }
            }
        }
    }
    return out;
}

void setBasicInfo(JxlEncoder* encoder, int width, int height, const JxlLayout& layout) {
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = static_cast<std::uint32_t>(width);
    info.ysize = static_cast<std::uint32_t>(height);
    info.bits_per_sample = layout.samples == JxlLayout::uint8    ? 8
                           : layout.samples == JxlLayout::uint16 ? 16
                                                                 : 32;
    info.exponent_bits_per_sample = layout.samples == JxlLayout::float32 ? 8 : 0;
    info.uses_original_profile = layout.distance == 0 ? JXL_TRUE : JXL_FALSE;
    info.num_color_channels = layout.grey ? 1 : 3;
    info.orientation = static_cast<JxlOrientation>(layout.orientation);
    if (layout.alpha) {
        info.num_extra_channels = 1;
        info.alpha_bits = info.bits_per_sample;
        info.alpha_exponent_bits = info.exponent_bits_per_sample;
    }
    if (layout.animated) {
        info.have_animation = JXL_TRUE;
        info.animation.tps_numerator = 100;
        info.animation.tps_denominator = 1;
    }
    require(JxlEncoderSetBasicInfo(encoder, &info) == JXL_ENC_SUCCESS, "JxlEncoderSetBasicInfo");
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, layout.grey ? JXL_TRUE : JXL_FALSE);
    require(JxlEncoderSetColorEncoding(encoder, &colour) == JXL_ENC_SUCCESS,
            "JxlEncoderSetColorEncoding");
}

Bytes finish(JxlEncoder* encoder) {
    JxlEncoderCloseInput(encoder);
    Bytes out(4096);
    size_t written = 0;
    for (;;) {
        std::uint8_t* next = out.data() + written;
        size_t room = out.size() - written;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &room);
        written = static_cast<size_t>(next - out.data());
        if (status != JXL_ENC_NEED_MORE_OUTPUT) {
            require(status == JXL_ENC_SUCCESS, "JxlEncoderProcessOutput");
            break;
        }
        out.resize(out.size() * 2);
    }
    out.resize(written);
    return out;
}

// Bits as a codestream holds them, least significant first.
struct BitReader {
    const Bytes& bytes;
    size_t at = 0; // in bits
    std::uint32_t read(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++at) {
            value |= std::uint32_t((bytes[at / 8] >> (at % 8)) & 1) << i;
        }
        return value;
    }
};

void writeBits(Bytes& bytes, size_t& at, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i, ++at) {
        if (at / 8 >= bytes.size()) {
            bytes.push_back(0);
        }
        bytes[at / 8] = static_cast<unsigned char>(bytes[at / 8] | ((value >> i) & 1) << (at % 8));
    }
}

} // namespace

Bytes encodeJxl(int width, int height, const Bytes& rgb, const JxlLayout& layout) {
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    require(encoder != nullptr, "JxlEncoderCreate");
    require(JxlEncoderUseContainer(encoder, layout.container ? JXL_TRUE : JXL_FALSE) ==
                JXL_ENC_SUCCESS,
            "JxlEncoderUseContainer");
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    require(settings != nullptr &&
                JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT,
                                                 layout.effort) == JXL_ENC_SUCCESS,
            "JxlEncoderFrameSettingsCreate");
    if (layout.fromJpeg) {
        const Bytes jpeg = encodeJpeg(width, height, rgb);
        require(JxlEncoderStoreJPEGMetadata(encoder, JXL_TRUE) == JXL_ENC_SUCCESS &&
                    JxlEncoderAddJPEGFrame(settings, jpeg.data(), jpeg.size()) == JXL_ENC_SUCCESS,
                "JxlEncoderAddJPEGFrame");
    } else {
        setBasicInfo(encoder, width, height, layout);
        require((layout.distance == 0
                     ? JxlEncoderSetFrameLossless(settings, JXL_TRUE)
                     : JxlEncoderSetFrameDistance(settings, layout.distance)) == JXL_ENC_SUCCESS,
                "JxlEncoderSetFrameDistance");
        for (int frame = 0; frame < (layout.animated ? 2 : 1); ++frame) {
            if (layout.animated) {
                JxlFrameHeader header;
                JxlEncoderInitFrameHeader(&header);
                header.duration = 10;
                require(JxlEncoderSetFrameHeader(settings, &header) == JXL_ENC_SUCCESS,
                        "JxlEncoderSetFrameHeader");
            }
            JxlPixelFormat format;
            const Bytes pixels = framePixels(width, height, rgb, layout, frame == 1, &format);
            require(JxlEncoderAddImageFrame(settings, &format, pixels.data(), pixels.size()) ==
                        JXL_ENC_SUCCESS,
                    "JxlEncoderAddImageFrame");
        }
    }
    Bytes out = finish(encoder);
    JxlEncoderDestroy(encoder);
    return out;
}

DecodedPicture decodeJxlWithLibrary(const Bytes& file) {
    DecodedPicture decoded;
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    JxlBasicInfo info;
    const JxlPixelFormat format = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    Bytes rgba;
    bool done = decoder == nullptr ||
                JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) !=
                    JXL_DEC_SUCCESS ||
                JxlDecoderSetUnpremultiplyAlpha(decoder, JXL_TRUE) != JXL_DEC_SUCCESS ||
                JxlDecoderSetInput(decoder, file.data(), file.size()) != JXL_DEC_SUCCESS;
    JxlDecoderCloseInput(decoder);
    while (!done) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
        if (status == JXL_DEC_BASIC_INFO) {
            done = JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS;
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            rgba.resize(size_t(info.xsize) * info.ysize * 4);
            done = JxlDecoderSetImageOutBuffer(decoder, &format, rgba.data(), rgba.size()) !=
                   JXL_DEC_SUCCESS;
        } else if (status == JXL_DEC_FULL_IMAGE) {
            decoded.width = static_cast<int>(info.xsize);
            decoded.height = static_cast<int>(info.ysize);
            for (size_t y = info.ysize; y-- > 0;) {
                for (size_t x = 0; x < info.xsize; ++x) {
                    const unsigned char* pixel = &rgba[(y * info.xsize + x) * 4];
                    decoded.rgb.insert(decoded.rgb.end(), pixel, pixel + 3);
                }
            }
            done = true;
        } else {
            done = true;
        }
    }
    JxlDecoderDestroy(decoder);
    return decoded;
}

void patchJxlSize(Bytes& jxl, unsigned width, unsigned height) {
    static const int sizeBits[4] = {9, 13, 18, 30};
    BitReader in{jxl, 16};
    if (in.read(1) == 1) {
        in.read(5);
        if (in.read(3) == 0) {
            in.read(5);
        }
    } else {
        in.read(sizeBits[in.read(2)]);
        if (in.read(3) == 0) {
            in.read(sizeBits[in.read(2)]);
        }
    }
    Bytes out = {0xff, 0x0a};
    size_t at = 16;
    writeBits(out, at, 0, 1); // not small
    writeBits(out, at, 3, 2), writeBits(out, at, height - 1, 30);
    writeBits(out, at, 0, 3); // no ratio: the width follows
    writeBits(out, at, 3, 2), writeBits(out, at, width - 1, 30);
    while (in.at < jxl.size() * 8) {
        writeBits(out, at, in.read(1), 1);
    }
    jxl = out;
}
