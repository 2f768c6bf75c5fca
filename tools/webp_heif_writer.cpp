#include "webp_heif_writer.h"

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <libheif/heif.h>
#include <string>
#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include "picture_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

// The picture as libwebp takes it: top row first, R, G, B and, with alpha,
// an alpha that runs through every value, 0 included, from pixel to pixel.
Bytes topDownPixels(int width, int height, const Bytes& rgb, bool alpha, bool inverted) {
    const int channels = alpha ? 4 : 3;
    Bytes out(size_t(width) * height * channels);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* in = &rgb[(size_t(height - 1 - y) * width + x) * 3];
            unsigned char* pixel = &out[(size_t(y) * width + x) * channels];
            for (int c = 0; c < 3; ++c) {
                pixel[c] = static_cast<unsigned char>(inverted ? 255 - in[c] : in[c]);
            }
            if (alpha) {
                pixel[3] = static_cast<unsigned char>((x * 37 + y * 91) % 5 * 63);
            }
        }
    }
    return out;
}

// The tools' own inputs: a failure of the library is a fault of the tool.
void require(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "webp_heif_writer: %s failed\n", what);
        std::abort();
    }
}

void importPicture(WebPPicture& picture, int width, int height, const Bytes& pixels, bool alpha) {
    require(WebPPictureInit(&picture) != 0, "WebPPictureInit");
    picture.width = width;
    picture.height = height;
    picture.use_argb = 1;
    require((alpha ? WebPPictureImportRGBA(&picture, pixels.data(), width * 4)
                   : WebPPictureImportRGB(&picture, pixels.data(), width * 3)) != 0,
            "WebPPictureImport");
}

Bytes withExif(const Bytes& webp, int orientation) {
    const WebPData image = {webp.data(), webp.size()};
    WebPMux* mux = WebPMuxCreate(&image, 0);
    const Bytes block = exifBlock(orientation, false);
    const WebPData exif = {block.data(), block.size()};
    WebPData assembled = {nullptr, 0};
    require(mux != nullptr && WebPMuxSetChunk(mux, "EXIF", &exif, 1) == WEBP_MUX_OK &&
                WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK,
            "WebPMux");
    Bytes out(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    WebPMuxDelete(mux);
    return out;
}

// Once: libheif's encoder and decoder plugins, where it has them.
void startLibheif() {
    static const heif_error started = heif_init(nullptr);
    static_cast<void>(started);
}

heif_error appendHeif(heif_context*, const void* data, size_t size, void* userdata) {
    auto* out = static_cast<Bytes*>(userdata);
    const auto* bytes = static_cast<const unsigned char*>(data);
    out->insert(out->end(), bytes, bytes + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

} // namespace

Bytes encodeWebp(int width, int height, const Bytes& rgb, const WebpLayout& layout) {
    WebPConfig config;
    require(WebPConfigInit(&config) != 0, "WebPConfigInit");
    config.lossless = layout.lossless ? 1 : 0;
    config.quality = static_cast<float>(layout.quality);
    config.exact = 1; // the colour under a transparent pixel is the picture's
    Bytes out;
    if (layout.animated && layout.border > 0) {
        WebpLayout still = layout;
        still.animated = false;
        still.orientation = 0;
        WebPMux* mux = WebPMuxNew();
        const int canvasWidth = width + 2 * layout.border,
                  canvasHeight = height + 2 * layout.border;
        const Bytes frames[] = {encodeWebp(width, height, rgb, still),
                                encodeWebp(canvasWidth, canvasHeight,
                                           Bytes(size_t(canvasWidth) * canvasHeight * 3, 255),
                                           still)};
        const WebPMuxAnimParams animation = {0, 0};
        bool ok = mux != nullptr &&
                  WebPMuxSetCanvasSize(mux, canvasWidth, canvasHeight) == WEBP_MUX_OK &&
                  WebPMuxSetAnimationParams(mux, &animation) == WEBP_MUX_OK;
        for (int frame = 0; frame < 2 && ok; ++frame) {
            const int offset = frame == 0 ? layout.border : 0;
            WebPMuxFrameInfo info = {};
            info.bitstream = {frames[frame].data(), frames[frame].size()};
            info.x_offset = info.y_offset = offset;
            info.duration = 100;
            info.id = WEBP_CHUNK_ANMF;
            info.dispose_method = WEBP_MUX_DISPOSE_NONE;
            info.blend_method = WEBP_MUX_NO_BLEND;
            ok = WebPMuxPushFrame(mux, &info, 1) == WEBP_MUX_OK;
        }
        WebPData assembled = {nullptr, 0};
        require(ok && WebPMuxAssemble(mux, &assembled) == WEBP_MUX_OK, "WebPMux");
        out.assign(assembled.bytes, assembled.bytes + assembled.size);
        WebPDataClear(&assembled);
        WebPMuxDelete(mux);
    } else if (layout.animated) {
        WebPAnimEncoderOptions options;
        require(WebPAnimEncoderOptionsInit(&options) != 0, "WebPAnimEncoderOptionsInit");
        WebPAnimEncoder* encoder = WebPAnimEncoderNew(width, height, &options);
        require(encoder != nullptr, "WebPAnimEncoderNew");
        for (int frame = 0; frame < 2; ++frame) {
            WebPPicture picture;
            importPicture(picture, width, height,
                          topDownPixels(width, height, rgb, layout.alpha, frame == 1),
                          layout.alpha);
            require(WebPAnimEncoderAdd(encoder, &picture, frame * 100, &config) != 0,
                    "WebPAnimEncoderAdd");
            WebPPictureFree(&picture);
        }
        WebPData assembled = {nullptr, 0};
        require(WebPAnimEncoderAdd(encoder, nullptr, 200, nullptr) != 0 &&
                    WebPAnimEncoderAssemble(encoder, &assembled) != 0,
                "WebPAnimEncoderAssemble");
        out.assign(assembled.bytes, assembled.bytes + assembled.size);
        WebPDataClear(&assembled);
        WebPAnimEncoderDelete(encoder);
    } else {
        WebPPicture picture;
        importPicture(picture, width, height,
                      topDownPixels(width, height, rgb, layout.alpha, false), layout.alpha);
        WebPMemoryWriter writer;
        WebPMemoryWriterInit(&writer);
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &writer;
        require(WebPEncode(&config, &picture) != 0, "WebPEncode");
        out.assign(writer.mem, writer.mem + writer.size);
        WebPMemoryWriterClear(&writer);
        WebPPictureFree(&picture);
    }
    return layout.orientation != 0 ? withExif(out, layout.orientation) : out;
}

Bytes encodeHeif(int width, int height, const Bytes& rgb, HeifLayout layout) {
    startLibheif();
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    require(heif_context_get_encoder_for_format(
                context, layout.av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
                    .code == heif_error_Ok,
            "heif_context_get_encoder_for_format");
    heif_encoder_set_lossy_quality(encoder, layout.quality);
    const bool deep = layout.bitDepth > 8;
    // x265's default preset takes half a minute over a 12-megapixel picture.
    if (!layout.av1) {
        heif_encoder_set_parameter_string(encoder, "preset", "ultrafast");
    }
    if (layout.av1 && deep) {
        heif_encoder_set_parameter_string(encoder, "chroma", "444");
    }
    heif_image* image = nullptr;
    require(
        heif_image_create(width, height, heif_colorspace_RGB,
                          deep ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB,
                          &image)
                    .code == heif_error_Ok &&
            heif_image_add_plane(image, heif_channel_interleaved, width, height, layout.bitDepth)
                    .code == heif_error_Ok,
        "heif_image_create");
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = &rgb[size_t(height - 1 - y) * width * 3];
        std::uint8_t* row = plane + size_t(y) * stride;
        for (int i = 0; i < width * 3; ++i) {
            if (deep) {
                const unsigned sample = unsigned{in[i]} << (layout.bitDepth - 8);
                row[i * 2] = static_cast<std::uint8_t>(sample);
                row[i * 2 + 1] = static_cast<std::uint8_t>(sample >> 8);
            } else {
                row[i] = in[i];
            }
        }
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->macOS_compatibility_workaround = layout.cropBox ? 0 : 1;
    if (layout.orientation > 1) {
        options->image_orientation = static_cast<heif_orientation>(layout.orientation);
    }
    require(heif_context_encode_image(context, image, encoder, options, nullptr).code ==
                heif_error_Ok,
            "heif_context_encode_image");
    Bytes out;
    heif_writer writer = {1, appendHeif};
    require(heif_context_write(context, &writer, &out).code == heif_error_Ok, "heif_context_write");
    heif_encoding_options_free(options);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return out;
}

DecodedPicture decodeWebpWithLibrary(const Bytes& file) {
    DecodedPicture decoded;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK) {
        return decoded;
    }
    Bytes topDown;
    int channels = 3;
    if (features.has_animation) {
        const WebPData data = {file.data(), file.size()};
        WebPAnimDecoderOptions options;
        WebPAnimDecoderOptionsInit(&options);
        options.color_mode = MODE_RGBA;
        WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
        WebPAnimInfo info;
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (decoder != nullptr && WebPAnimDecoderGetInfo(decoder, &info) != 0 &&
            WebPAnimDecoderGetNext(decoder, &canvas, &timestamp) != 0) {
            decoded.width = static_cast<int>(info.canvas_width);
            decoded.height = static_cast<int>(info.canvas_height);
            topDown.assign(canvas, canvas + size_t(decoded.width) * decoded.height * 4);
            channels = 4;
        }
        WebPAnimDecoderDelete(decoder);
    } else if (std::uint8_t* rgb =
                   WebPDecodeRGB(file.data(), file.size(), &decoded.width, &decoded.height)) {
        topDown.assign(rgb, rgb + size_t(decoded.width) * decoded.height * 3);
        WebPFree(rgb);
    }
    for (int y = decoded.height - 1; y >= 0; --y) {
        for (int x = 0; x < decoded.width; ++x) {
            const unsigned char* pixel = &topDown[(size_t(y) * decoded.width + x) * channels];
            decoded.rgb.insert(decoded.rgb.end(), pixel, pixel + 3);
        }
    }
    return decoded;
}

namespace {

// The first error libheif meets, from reading the file to decoding its
// primary image at 8 bits, cut at its first line break; empty when none.
std::string decodeHeif(const Bytes& file, DecodedPicture& decoded) {
    startLibheif();
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    heif_decoding_options* options = heif_decoding_options_alloc();
    options->convert_hdr_to_8bit = 1;
    heif_error error =
        heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr);
    if (error.code == heif_error_Ok) {
        error = heif_context_get_primary_image_handle(context, &handle);
    }
    if (error.code == heif_error_Ok) {
        error = heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                                  options);
    }
    std::string message;
    if (error.code != heif_error_Ok) {
        message = error.message;
        message.resize(std::min(message.size(), message.find('\n')));
    } else {
        decoded.width = heif_image_get_width(image, heif_channel_interleaved);
        decoded.height = heif_image_get_height(image, heif_channel_interleaved);
        int stride = 0;
        const std::uint8_t* plane =
            heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        for (int y = decoded.height - 1; y >= 0; --y) {
            decoded.rgb.insert(decoded.rgb.end(), plane + size_t(y) * stride,
                               plane + size_t(y) * stride + size_t(decoded.width) * 3);
        }
    }
    heif_decoding_options_free(options);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return message;
}

} // namespace

DecodedPicture decodeHeifWithLibrary(const Bytes& file) {
    DecodedPicture decoded;
    decodeHeif(file, decoded);
    return decoded;
}

std::string heifRefusal(const Bytes& file) {
    DecodedPicture decoded;
    return decodeHeif(file, decoded);
}

void patchWebpSize(Bytes& webp, unsigned width, unsigned height) {
    // RIFF header (12), then the first chunk's tag and size (8).
    const std::string chunk(webp.begin() + 12, webp.begin() + 16);
    if (chunk == "VP8 ") { // after the frame tag (3) and start code (3): 14 bits each
        webp[26] = static_cast<unsigned char>(width);
        webp[27] = static_cast<unsigned char>((webp[27] & 0xc0) | (width >> 8 & 0x3f));
        webp[28] = static_cast<unsigned char>(height);
        webp[29] = static_cast<unsigned char>((webp[29] & 0xc0) | (height >> 8 & 0x3f));
    } else if (chunk == "VP8L") { // after the signature byte: 14 bits each, less one
        std::uint32_t bits = webp[21] | webp[22] << 8 | webp[23] << 16 | unsigned{webp[24]} << 24;
        bits = (bits & ~0x0fffffffu) | (width - 1) | (height - 1) << 14;
        for (int i = 0; i < 4; ++i) {
            webp[21 + i] = static_cast<unsigned char>(bits >> 8 * i);
        }
    } else { // VP8X: flags (4), then 24 bits each, less one
        for (int i = 0; i < 3; ++i) {
            webp[24 + i] = static_cast<unsigned char>((width - 1) >> 8 * i);
            webp[27 + i] = static_cast<unsigned char>((height - 1) >> 8 * i);
        }
    }
}

void patchHeifSize(Bytes& heif, unsigned width, unsigned height) {
    const std::string ispe = "ispe";
    for (auto at = std::search(heif.begin(), heif.end(), ispe.begin(), ispe.end());
         at != heif.end(); at = std::search(at + 1, heif.end(), ispe.begin(), ispe.end())) {
        // After the type: version and flags (4), then width and height.
        for (int i = 0; i < 4; ++i) {
            at[8 + i] = static_cast<unsigned char>(width >> (24 - 8 * i));
            at[12 + i] = static_cast<unsigned char>(height >> (24 - 8 * i));
        }
    }
}
