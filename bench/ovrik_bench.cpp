// Benchmarks, each against its floor or its peer measured in the same run:
//   BM_LoadBitmap vs BM_RawRead (one fread of the same bytes) and
//                    BM_StbLoad (stb_image on the same file)
//   BM_LoadPng    vs BM_PngDecoder (libpng's own simplified read, same file,
//                    full size), the PNG read as a named picture: reduced
//   BM_LoadJpeg   vs BM_JpegDecoder (libjpeg's plain decoding loop, same file,
//                    at the DCT scale the reader uses), likewise reduced
//   BM_LoadGif    vs BM_GifDecoder (giflib's own whole read of the same
//                    file, DGifSlurp, palette indices only) and
//   BM_LoadTiff   vs BM_TiffDecoder (libtiff's own whole RGBA read of the
//                    same LZW file, TIFFReadRGBAImageOriented), a phone's
//                    12 MP photograph read as a named picture: reduced
//   BM_LoadWebp   vs BM_WebpDecoder (WebPDecodeRGB, full size, on a phone's
//                    12-megapixel photograph as a lossy WebP), the WebP read
//                    as a named picture, which libwebp reduces as it decodes
//   BM_LoadHeif   vs BM_HeifDecoder (heif_decode_image to 8-bit RGB, the
//                    same photograph as HEIC), likewise reduced; BM_LoadAvif
//                    vs BM_AvifDecoder the same as AVIF
//   BM_LoadJxl    vs BM_JxlDecoder (libjxl into one RGB buffer of 8 bits, the
//                    same photograph as a lossy JPEG XL at distance 1, both
//                    with libjxl's thread pool), likewise reduced
//   BM_Frame      vs BM_ClearOnlyFrame (clear, swap and finish only)
//   BM_SaveView/N vs BM_PngWrite/N (the same N x N pixels written by libpng
//                    alone, with the same settings): the view saved as
//                    --output and F12 save it, here with the window's context
//   BM_Clip/72    per frame vs BM_PngWrite/400: a 72-frame turntable of 400 x
//                    400 numbered PNGs, 4 samples, from one context
//   BM_ClipWebp/72 vs BM_WebpEncode/72 (libwebp's animation encoder alone on
//                    the same 72 frames, with the same settings)
//   BM_Clip/72    per frame vs BM_DrawView/400: one 400 x 400 view drawn,
//                    resolved and read back with 4 samples, not encoded
//   BM_PngWriter/F vs BM_PngDefaults/F (libpng's default filters and zlib
//                    level) on frame F the viewer drew, and BM_PngSize/F, the
//                    file's size against the defaults'
//   BM_PngSettings/F/FILTER/STRATEGY/LEVEL, the settings the writer's were
//                    chosen from: time, and size as the counter `bytes` (run
//                    with --benchmark_filter=BM_PngSettings)
//   BM_Outline    the two 20-vertex layers
// Each ratio is the counter goal_ratio of the benchmark it is stated for, so
// it reaches every output format; the console also repeats it after the
// table. The frame benchmarks need an X display and are skipped without one.
#include <GL/freeglut.h>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gif_lib.h>
#include <jpeglib.h>
#include <jxl/decode.h>
#include <jxl/resizable_parallel_runner.h>
#include <libheif/heif.h>
#include <map>
#include <memory>
#include <png.h>
#include <stb/stb_image.h>
#include <string>
#include <tiffio.h>
#include <vector>
#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <zlib.h>

#include "app/options.h"
#include "app/render.h"
#include "app/save_clip.h"
#include "app/save_view.h"
#include "app/scene.h"
#include "bitmap_writer.h"
#include "gif_tiff_writer.h"
#include "jxl_writer.h"
#include "logo/outline.h"
#include "marble.h"
#include "picture/picture.h"
#include "picture/write/png_writer.h"
#include "picture_writer.h"
#include "texture/texture.h"
#include "webp_heif_writer.h"

namespace {

constexpr int bigSide = 4096;
std::vector<std::filesystem::path> bigFiles; // removed again when the run ends

// A 4096 x 4096 picture in the format `encode` writes, written once per run;
// the first read brings it into the page cache for the timed ones.
template <typename Encode> std::string writeBigFile(const char* name, Encode encode) {
    bigFiles.push_back(std::filesystem::temp_directory_path() / name);
    if (!writeFile(bigFiles.back().string(), encode())) {
        std::fprintf(stderr, "cannot write %s\n", bigFiles.back().string().c_str());
        std::exit(1);
    }
    return bigFiles.back().string();
}

// For the BMP reader, whose speed does not depend on the content: 48 MiB
// where any shift, swap or flip would show.
const std::string& bigBitmapPath() {
    static const std::string path = writeBigFile("ovrik-bench-4096.bmp", [] {
        return encodeBitmap(bigSide, bigSide, patternPicture(bigSide, bigSide));
    });
    return path;
}

// For the compressed formats, something like a photograph.
const std::vector<unsigned char>& photoLike() {
    static const std::vector<unsigned char> picture = photoLikePicture(bigSide, bigSide);
    return picture;
}

const std::string& bigPngPath() {
    static const std::string path = writeBigFile("ovrik-bench-4096.png", [] {
        return encodePng(bigSide, bigSide, photoLike(), {PngLayout::rgb, 8, false, false, 1});
    });
    return path;
}

const std::string& bigJpegPath() {
    static const std::string path = writeBigFile(
        "ovrik-bench-4096.jpg", [] { return encodeJpeg(bigSide, bigSide, photoLike()); });
    return path;
}

constexpr int64_t bigPixelBytes = int64_t{bigSide} * bigSide * 3;

// A phone's photograph, 4032 x 3024, in the formats photographs come in
// besides JPEG: a GIF of it (its colours mapped to a cube), an LZW TIFF, and
// lossy WebP, HEIC and AVIF, each at quality 90.
constexpr int photoWidth = 4032, photoHeight = 3024;
constexpr int64_t photoPixelBytes = int64_t{photoWidth} * photoHeight * 3;

const std::vector<unsigned char>& phonePhoto() {
    static const std::vector<unsigned char> picture = photoLikePicture(photoWidth, photoHeight);
    return picture;
}

const std::string& photoGifPath() {
    static const std::string path = writeBigFile(
        "ovrik-bench-12mp.gif", [] { return encodeGif(photoWidth, photoHeight, phonePhoto()); });
    return path;
}

const std::string& photoTiffPath() {
    static const std::string path = writeBigFile("ovrik-bench-12mp.tif", [] {
        return encodeTiff(photoWidth, photoHeight, phonePhoto(),
                          {TiffLayout::rgb, 8, TiffLayout::lzw, false, 16});
    });
    return path;
}

const std::string& photoWebpPath() {
    static const std::string path = writeBigFile(
        "ovrik-bench-photo.webp", [] { return encodeWebp(photoWidth, photoHeight, phonePhoto()); });
    return path;
}

const std::string& photoHeifPath(bool av1) {
    static const std::string heic = writeBigFile(
        "ovrik-bench-photo.heic", [] { return encodeHeif(photoWidth, photoHeight, phonePhoto()); });
    static const std::string avif = writeBigFile("ovrik-bench-photo.avif", [] {
        return encodeHeif(photoWidth, photoHeight, phonePhoto(), {true});
    });
    return av1 ? avif : heic;
}

const std::string& photoJxlPath() {
    static const std::string path = writeBigFile("ovrik-bench-photo.jxl", [] {
        return encodeJxl(photoWidth, photoHeight, phonePhoto(), {1});
    });
    return path;
}

struct Goal {
    std::string measured, floor, text;
    double items = 1;   // the measured time is divided by these first
    bool sizes = false; // the ratio of the files' sizes, not of the times
};
// The kinds of frame the PNG writer's settings are measured on, each drawn
// by the viewer: the marble or a named photograph, opaque or transparent.
struct PngFrame {
    const char* name;
    int width, height;
    bool photo, transparent;
};
const PngFrame pngFrames[] = {
    {"marble400", 400, 400, false, false},       {"photo400", 400, 400, true, false},
    {"transparent400", 400, 400, false, true},   {"marble1920x1080", 1920, 1080, false, false},
    {"photo1920x1080", 1920, 1080, true, false}, {"marble2048", 2048, 2048, false, false}};

// Every kind of frame the PNG writer is measured on keeps its size, too.
const std::vector<Goal> goals = [] {
    std::vector<Goal> all = {
        {"BM_PngWriter/marble400", "BM_PngDefaults/marble400", "goal: at most 0.35"},
        {"BM_PngWriter/marble2048", "BM_PngDefaults/marble2048", "goal: at most 0.4"},
        {"BM_Clip/72", "BM_DrawView/400", "per frame; goal: at most 1.2", 72},
        {"BM_LoadBitmap", "BM_RawRead", "goal: at most 1.5"},
        {"BM_StbLoad", "BM_LoadBitmap", "goal: at least 3"},
        {"BM_LoadPng", "BM_PngDecoder", "goal: at most 1.1"},
        {"BM_LoadJpeg", "BM_JpegDecoder", "goal: at most 1.1"},
        {"BM_LoadGif", "BM_GifDecoder", "goal: at most 1.2"},
        {"BM_LoadTiff", "BM_TiffDecoder", "goal: at most 1.1"},
        {"BM_LoadWebp", "BM_WebpDecoder", "goal: below 1, reduced while decoded"},
        {"BM_LoadHeif", "BM_HeifDecoder", "goal: at most 1.1"},
        {"BM_LoadAvif", "BM_AvifDecoder", "goal: at most 1.1"},
        {"BM_LoadJxl", "BM_JxlDecoder", "goal: at most 1.15"},
        {"BM_Frame", "BM_ClearOnlyFrame", "goal: at most 1.5"},
        {"BM_SaveView/400", "BM_PngWrite/400", "goal: at most 1.5"},
        {"BM_SaveView/2048", "BM_PngWrite/2048", "goal: at most 1.5"},
        {"BM_ClipWebp/72", "BM_WebpEncode/72", "goal: at most 1.25"}};
    for (const PngFrame& frame : pngFrames) {
        all.push_back({std::string("BM_PngSize/") + frame.name,
                       std::string("BM_PngDefaults/") + frame.name, "goal: at most 1.02", 1, true});
    }
    return all;
}();

// Wall-clock seconds per iteration of each benchmark's latest run. Floors
// are registered before what is measured against them, so they run first.
std::map<std::string, double> latestSeconds;
// The size of the file each PNG benchmark wrote last.
std::map<std::string, double> latestBytes;

// Runs the timed loop and gives the benchmark the counter goal_ratio: its
// time over its floor's, or 0 where no goal is stated. Every benchmark has
// the counter, as the CSV format wants the same columns in every row.
template <typename Body>
void timeLoop(benchmark::State& state, const std::string& name, Body body) {
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        body();
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    latestSeconds[name] =
        elapsed.count() / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["goal_ratio"] = 0;
    for (const Goal& goal : goals) {
        if (goal.measured == name && latestSeconds.count(goal.floor) != 0) {
            state.counters["goal_ratio"] =
                goal.sizes ? latestBytes[name] / latestBytes[goal.floor]
                           : latestSeconds[name] / goal.items / latestSeconds[goal.floor];
        }
    }
}

void BM_RawRead(benchmark::State& state) {
    const std::string& path = bigBitmapPath();
    timeLoop(state, "BM_RawRead", [&] {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        auto* pixels = static_cast<unsigned char*>(std::malloc(bigPixelBytes));
        std::fseek(file, 54, SEEK_SET);
        if (std::fread(pixels, bigPixelBytes, 1, file) != 1) {
            state.SkipWithError("short read");
        }
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
        std::fclose(file);
    });
    state.SetBytesProcessed(state.iterations() * bigPixelBytes);
}

// The viewer's own entry point, as it reads each format: the marble's way
// (reduceTo 0) or a named picture's.
void loadPictureLoop(benchmark::State& state, const char* name, const std::string& path,
                     int reduceTo = 0, int64_t pixelBytes = bigPixelBytes) {
    timeLoop(state, name, [&] {
        BitmapImage image;
        if (loadPicture(path.c_str(), nullptr, {nullptr, reduceTo, reduceTo > 0}, &image) ==
            nullptr) {
            state.SkipWithError("loadPicture failed");
        }
        benchmark::DoNotOptimize(image.pixels);
        std::free(image.pixels);
    });
    state.SetBytesProcessed(state.iterations() * pixelBytes);
}

void BM_LoadBitmap(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadBitmap", bigBitmapPath());
}

void BM_PngDecoder(benchmark::State& state) {
    const std::string& path = bigPngPath();
    timeLoop(state, "BM_PngDecoder", [&] {
        png_image image = {};
        image.version = PNG_IMAGE_VERSION;
        png_image_begin_read_from_file(&image, path.c_str());
        image.format = PNG_FORMAT_RGB;
        auto* pixels = static_cast<unsigned char*>(std::malloc(PNG_IMAGE_SIZE(image)));
        if (png_image_finish_read(&image, nullptr, pixels, 0, nullptr) == 0) {
            state.SkipWithError(image.message);
        }
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
    });
    state.SetBytesProcessed(state.iterations() * bigPixelBytes);
}

void BM_LoadPng(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadPng", bigPngPath(), namedPictureSide);
}

void BM_JpegDecoder(benchmark::State& state) {
    const std::string& path = bigJpegPath();
    timeLoop(state, "BM_JpegDecoder", [&] {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        jpeg_decompress_struct decoder = {};
        jpeg_error_mgr errors = {};
        decoder.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&decoder);
        jpeg_stdio_src(&decoder, file);
        jpeg_read_header(&decoder, TRUE);
        decoder.out_color_space = JCS_RGB;
        decoder.scale_num = 8 * namedPictureSide / bigSide; // as the reader scales
        decoder.scale_denom = 8;
        jpeg_start_decompress(&decoder);
        const size_t rowBytes = size_t{decoder.output_width} * 3;
        auto* pixels = static_cast<unsigned char*>(std::malloc(rowBytes * decoder.output_height));
        while (decoder.output_scanline < decoder.output_height) {
            JSAMPROW row = pixels + rowBytes * decoder.output_scanline;
            jpeg_read_scanlines(&decoder, &row, 1);
        }
        jpeg_finish_decompress(&decoder);
        jpeg_destroy_decompress(&decoder);
        std::fclose(file);
        benchmark::DoNotOptimize(pixels);
        std::free(pixels);
    });
    state.SetBytesProcessed(state.iterations() * bigPixelBytes);
}

void BM_LoadJpeg(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadJpeg", bigJpegPath(), namedPictureSide);
}

void BM_GifDecoder(benchmark::State& state) {
    const std::string& path = photoGifPath();
    timeLoop(state, "BM_GifDecoder", [&] {
        int error = 0;
        GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
        if (gif == nullptr || DGifSlurp(gif) == GIF_ERROR) {
            state.SkipWithError("DGifSlurp failed");
        } else {
            benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        }
        DGifCloseFile(gif, &error);
    });
    state.SetBytesProcessed(state.iterations() * photoPixelBytes);
}

void BM_WebpDecoder(benchmark::State& state) {
    const std::string& path = photoWebpPath();
    timeLoop(state, "BM_WebpDecoder", [&] {
        std::ifstream file(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
        int width = 0, height = 0;
        std::uint8_t* pixels = WebPDecodeRGB(bytes.data(), bytes.size(), &width, &height);
        if (pixels == nullptr) {
            state.SkipWithError("WebPDecodeRGB failed");
        }
        benchmark::DoNotOptimize(pixels);
        WebPFree(pixels);
    });
    state.SetBytesProcessed(state.iterations() * photoPixelBytes);
}

void BM_LoadGif(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadGif", photoGifPath(), namedPictureSide, photoPixelBytes);
}

void BM_TiffDecoder(benchmark::State& state) {
    const std::string& path = photoTiffPath();
    timeLoop(state, "BM_TiffDecoder", [&] {
        TIFF* tiff = TIFFOpen(path.c_str(), "r");
        auto* raster = static_cast<std::uint32_t*>(std::malloc(photoPixelBytes / 3 * 4));
        if (tiff == nullptr || !TIFFReadRGBAImageOriented(tiff, photoWidth, photoHeight, raster,
                                                          ORIENTATION_TOPLEFT, 1)) {
            state.SkipWithError("TIFFReadRGBAImageOriented failed");
        }
        benchmark::DoNotOptimize(raster);
        std::free(raster);
        TIFFClose(tiff);
    });
    state.SetBytesProcessed(state.iterations() * photoPixelBytes);
}

void BM_LoadWebp(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadWebp", photoWebpPath(), namedPictureSide, photoPixelBytes);
}

void heifDecoderLoop(benchmark::State& state, const char* name, bool av1) {
    const std::string& path = photoHeifPath(av1);
    static const heif_error started = heif_init(nullptr); // as the reader starts libheif
    static_cast<void>(started);
    timeLoop(state, name, [&] {
        heif_context* context = heif_context_alloc();
        heif_image_handle* handle = nullptr;
        heif_image* image = nullptr;
        heif_decoding_options* options = heif_decoding_options_alloc();
        options->convert_hdr_to_8bit = 1;
        if (heif_context_read_from_file(context, path.c_str(), nullptr).code != heif_error_Ok ||
            heif_context_get_primary_image_handle(context, &handle).code != heif_error_Ok ||
            heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                              options)
                    .code != heif_error_Ok) {
            state.SkipWithError("heif_decode_image failed");
        }
        benchmark::DoNotOptimize(image);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_decoding_options_free(options);
        heif_context_free(context);
    });
    state.SetBytesProcessed(state.iterations() * photoPixelBytes);
}

void BM_LoadTiff(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadTiff", photoTiffPath(), namedPictureSide, photoPixelBytes);
}

void BM_HeifDecoder(benchmark::State& state) {
    heifDecoderLoop(state, "BM_HeifDecoder", false);
}

void BM_LoadHeif(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadHeif", photoHeifPath(false), namedPictureSide, photoPixelBytes);
}

void BM_AvifDecoder(benchmark::State& state) {
    heifDecoderLoop(state, "BM_AvifDecoder", true);
}

void BM_LoadAvif(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadAvif", photoHeifPath(true), namedPictureSide, photoPixelBytes);
}

void BM_JxlDecoder(benchmark::State& state) {
    const std::string& path = photoJxlPath();
    timeLoop(state, "BM_JxlDecoder", [&] {
        std::ifstream file(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
        JxlDecoder* decoder = JxlDecoderCreate(nullptr);
        void* runner = JxlResizableParallelRunnerCreate(nullptr);
        JxlDecoderSetParallelRunner(decoder, JxlResizableParallelRunner, runner);
        JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
        JxlDecoderSetInput(decoder, bytes.data(), bytes.size());
        JxlDecoderCloseInput(decoder);
        const JxlPixelFormat format = {3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
        JxlBasicInfo info = {};
        std::vector<std::uint8_t> rgb;
        for (JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
             status != JXL_DEC_FULL_IMAGE; status = JxlDecoderProcessInput(decoder)) {
            if (status == JXL_DEC_BASIC_INFO &&
                JxlDecoderGetBasicInfo(decoder, &info) == JXL_DEC_SUCCESS) {
                JxlResizableParallelRunnerSetThreads(
                    runner, JxlResizableParallelRunnerSuggestThreads(info.xsize, info.ysize));
            } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
                rgb.resize(size_t{info.xsize} * info.ysize * 3);
                JxlDecoderSetImageOutBuffer(decoder, &format, rgb.data(), rgb.size());
            } else {
                state.SkipWithError("JxlDecoderProcessInput failed");
                break;
            }
        }
        benchmark::DoNotOptimize(rgb.data());
        JxlResizableParallelRunnerDestroy(runner);
        JxlDecoderDestroy(decoder);
    });
    state.SetBytesProcessed(state.iterations() * photoPixelBytes);
}

void BM_LoadJxl(benchmark::State& state) {
    loadPictureLoop(state, "BM_LoadJxl", photoJxlPath(), namedPictureSide, photoPixelBytes);
}

void BM_StbLoad(benchmark::State& state) {
    const std::string& path = bigBitmapPath();
    timeLoop(state, "BM_StbLoad", [&] {
        int width = 0, height = 0, channels = 0;
        unsigned char* pixels = stbi_load(path.c_str(), &width, &height, &channels, 3);
        if (pixels == nullptr) {
            state.SkipWithError("stbi_load failed");
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    });
    state.SetBytesProcessed(state.iterations() * bigPixelBytes);
}

void BM_Outline(benchmark::State& state) {
    Outline front{}, back{};
    timeLoop(state, "BM_Outline", [&] {
        buildLayers(scene.shape, front, back);
        benchmark::DoNotOptimize(front);
        benchmark::DoNotOptimize(back);
    });
}

// The viewer's own 400 x 400 window, opened once for both frame benchmarks.
bool windowReady() {
    static const bool ready = [] {
        if (std::getenv("DISPLAY") == nullptr) {
            return false;
        }
        static char name[] = "ovrik-bench";
        static char* argv[] = {name, nullptr};
        int argc = 1;
        openWindow(&argc, argv);
        for (int i = 0; i < 50; ++i) {
            glutMainLoopEvent(); // map and expose the window
        }
        return true;
    }();
    return ready;
}

void BM_Frame(benchmark::State& state) {
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    timeLoop(state, "BM_Frame", [] {
        display();
        glFinish();
    });
}

void BM_ClearOnlyFrame(benchmark::State& state) {
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    const auto& c = scene.clearColor;
    timeLoop(state, "BM_ClearOnlyFrame", [&] {
        glClearColor(c[0], c[1], c[2], c[3]);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glutSwapBuffers();
        glFinish();
    });
}

std::string savedViewPath(int side) {
    return (std::filesystem::temp_directory_path() /
            ("ovrik-bench-view-" + std::to_string(side) + ".png"))
        .string();
}

bool saveBenchView(int side) {
    SaveSettings settings;
    settings.width = settings.height = side;
    std::string error;
    const LightPlacement light = {0, 0};
    return saveView(settings, savedView(settings, light),
                    savedComment(settings, viewOptionsText(scene.view, light)), savedViewPath(side),
                    -1, error);
}

// Pixels, rows top first, written by libpng alone into `path`: with its
// defaults (all five filters tried on every row, zlib level 6) or with
// `encoding`. Returns the file's size.
long writeWithLibpng(const std::string& path, const unsigned char* pixels, int width, int height,
                     bool alpha, const PngEncoding* encoding) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (encoding != nullptr) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, encoding->filters);
        png_set_compression_strategy(png, encoding->strategy);
        png_set_compression_level(png, encoding->level);
    }
    png_write_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, pixels + rowBytes * y);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    const long size = std::ftell(file);
    std::fclose(file);
    return size;
}

// The pixels of the saved view, written by libpng alone with the settings
// the viewer writes them with.
void BM_PngWrite(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    if (!windowReady() || !saveBenchView(side)) {
        state.SkipWithError("no X display, or the view could not be saved");
        return;
    }
    bigFiles.push_back(savedViewPath(side));
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_file(&image, savedViewPath(side).c_str());
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    const std::string path = savedViewPath(side) + ".alone";
    bigFiles.push_back(path);
    const PngEncoding encoding = savedPngEncoding(false);
    timeLoop(state, "BM_PngWrite/" + std::to_string(side),
             [&] { writeWithLibpng(path, pixels.data(), side, side, false, &encoding); });
}

void BM_SaveView(benchmark::State& state) {
    const int side = static_cast<int>(state.range(0));
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    timeLoop(state, "BM_SaveView/" + std::to_string(side), [&] {
        if (!saveBenchView(side)) {
            state.SkipWithError("the view could not be saved");
        }
    });
}

// A turntable of `frames` views at 400 x 400 from the window's context,
// as --frames draws it.
bool saveBenchClip(const std::string& output, int frames) {
    ClipOptions clip;
    clip.frames = frames;
    const SaveSettings settings;
    const LightPlacement light = {0, 0};
    std::string failed, error;
    return saveClip(settings, clip, savedView(settings, light),
                    savedComment(settings, viewOptionsText(scene.view, light)), output, -1, failed,
                    error);
}

const std::filesystem::path clipFolder =
    std::filesystem::temp_directory_path() / "ovrik-bench-clip";

// Times the turntable of state.range(0) frames written to `name` in the
// clip folder.
void timeClip(benchmark::State& state, const std::string& benchmark, const char* name) {
    const int frames = static_cast<int>(state.range(0));
    std::filesystem::create_directories(clipFolder);
    bigFiles.push_back(clipFolder);
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    timeLoop(state, benchmark + "/" + std::to_string(frames), [&] {
        if (!saveBenchClip((clipFolder / name).string(), frames)) {
            state.SkipWithError("the clip could not be saved");
        }
    });
}

void BM_Clip(benchmark::State& state) {
    timeClip(state, "BM_Clip", "frame-%02d.png");
}

// The frames BM_Clip wrote, read back as RGB.
std::vector<std::vector<unsigned char>> clipFrames(int frames) {
    std::vector<std::vector<unsigned char>> pixels;
    for (int i = 0; i < frames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%02d.png", i);
        png_image image = {};
        image.version = PNG_IMAGE_VERSION;
        if (png_image_begin_read_from_file(&image, (clipFolder / name).c_str()) == 0) {
            return {};
        }
        image.format = PNG_FORMAT_RGB;
        pixels.emplace_back(PNG_IMAGE_SIZE(image));
        png_image_finish_read(&image, nullptr, pixels.back().data(), 0, nullptr);
    }
    return pixels;
}

// libwebp alone: the same frames through its animation encoder with the
// settings the viewer uses (lossy, quality 90, 30 frames a second, every
// frame a key frame).
void BM_WebpEncode(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    if (!windowReady() || !saveBenchClip((clipFolder / "frame-%02d.png").string(), frames)) {
        state.SkipWithError("no X display, or the clip could not be saved");
        return;
    }
    const auto pixels = clipFrames(frames);
    const std::string path = (clipFolder / "alone.webp").string();
    timeLoop(state, "BM_WebpEncode/" + std::to_string(frames), [&] {
        WebPAnimEncoderOptions options;
        WebPAnimEncoderOptionsInit(&options);
        options.kmax = 1; // every frame a key frame
        WebPAnimEncoder* encoder = WebPAnimEncoderNew(400, 400, &options);
        for (int i = 0; i < frames; ++i) {
            WebPConfig config;
            WebPConfigInit(&config);
            config.quality = 90;
            WebPPicture picture;
            WebPPictureInit(&picture);
            picture.use_argb = 1;
            picture.width = picture.height = 400;
            WebPPictureImportRGB(&picture, pixels[i].data(), 400 * 3);
            WebPAnimEncoderAdd(encoder, &picture, static_cast<int>(std::lround(i * 1000.0 / 30)),
                               &config);
            WebPPictureFree(&picture);
        }
        WebPAnimEncoderAdd(encoder, nullptr, static_cast<int>(std::lround(frames * 1000.0 / 30)),
                           nullptr);
        WebPData data;
        WebPDataInit(&data);
        WebPAnimEncoderAssemble(encoder, &data);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(data.bytes, 1, data.size, file);
        std::fclose(file);
        WebPDataClear(&data);
        WebPAnimEncoderDelete(encoder);
    });
}

void BM_ClipWebp(benchmark::State& state) {
    timeClip(state, "BM_ClipWebp", "clip.webp");
}

// One 400 x 400 view with 4 samples, drawn, resolved and read back as a
// clip's frame is, without any encoding: the floor of a clip's frame.
void BM_DrawView(benchmark::State& state) {
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    SaveSettings settings;
    settings.width = settings.height = static_cast<int>(state.range(0));
    ViewDrawing drawing;
    std::string error;
    if (!startDrawing(drawing, settings, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<unsigned char> frame(size_t{3} * settings.width * settings.height);
    const FrameView view = savedView(settings, {0, 0});
    timeLoop(state, "BM_DrawView/" + std::to_string(settings.width),
             [&] { drawView(drawing, view, frame.data()); });
    endDrawing(drawing);
}

// The frame's pixels, rows top first, drawn once per run.
const std::vector<unsigned char>& pngFramePixels(const PngFrame& frame) {
    static std::map<std::string, std::vector<unsigned char>> drawn;
    std::vector<unsigned char>& pixels = drawn[frame.name];
    if (!pixels.empty()) {
        return pixels;
    }
    // What the writers write it to.
    bigFiles.push_back(savedViewPath(0) + "." + frame.name);
    bigFiles.push_back(savedViewPath(0) + ".alone." + frame.name);
    static const unsigned int photoTexture = [] {
        const std::string path = writeBigFile("ovrik-bench-photo.jpg", [] {
            return encodeJpeg(1600, 1200, photoLikePicture(1600, 1200));
        });
        return loadNamedTexture(path.c_str());
    }();
    const unsigned int marble = scene.textureName;
    scene.textureName = frame.photo ? photoTexture : marble;
    SaveSettings settings;
    settings.width = frame.width;
    settings.height = frame.height;
    settings.transparent = frame.transparent;
    ViewDrawing drawing;
    std::string error;
    pixels.resize(size_t{frame.transparent ? 4u : 3u} * frame.width * frame.height);
    if (startDrawing(drawing, settings, error)) {
        drawView(drawing, savedView(settings, {0, 0}), pixels.data());
    }
    endDrawing(drawing);
    scene.textureName = marble;
    return pixels;
}

// The frame written by libpng alone, with `encoding` or with its defaults.
long encodePngFrame(const PngFrame& frame, const PngEncoding* encoding) {
    const std::string path = savedViewPath(0) + ".alone." + frame.name;
    return writeWithLibpng(path, pngFramePixels(frame).data(), frame.width, frame.height,
                           frame.transparent, encoding);
}

void BM_PngDefaults(benchmark::State& state, const PngFrame& frame) {
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    const std::string name = std::string("BM_PngDefaults/") + frame.name;
    pngFramePixels(frame); // drawn before the timing
    timeLoop(state, name, [&] { latestBytes[name] = encodePngFrame(frame, nullptr); });
    state.counters["bytes"] = latestBytes[name];
}

// The viewer's own writer, as --output, F12 and clips write every PNG: a
// file under a temporary name, renamed into place.
void BM_PngWriter(benchmark::State& state, const PngFrame& frame, const char* benchmark) {
    if (!windowReady()) {
        state.SkipWithError("no X display");
        return;
    }
    const std::vector<unsigned char>& pixels = pngFramePixels(frame);
    const std::string path = savedViewPath(0) + "." + frame.name, name = benchmark;
    timeLoop(state, name + "/" + frame.name, [&] {
        PngOutput png;
        if (!startPng(png, path, -1, frame.width, frame.height, frame.transparent,
                      savedText("--size")) ||
            !writePngRows(png, pixels.data(), frame.height) || !completePng(png) ||
            !placePng(png)) {
            state.SkipWithError(png.error.c_str());
        }
        discardPng(png);
        latestBytes[name + "/" + frame.name] = std::filesystem::file_size(path);
    });
    state.counters["bytes"] = latestBytes[name + "/" + frame.name];
}

// Every candidate on every frame: time, and size as the counter `bytes`.
// RLE finds runs only, which zlib's level does not change.
void registerPngSettings() {
    const std::pair<const char*, int> filters[] = {{"none", PNG_FILTER_NONE},
                                                   {"sub", PNG_FILTER_SUB},
                                                   {"up", PNG_FILTER_UP},
                                                   {"paeth", PNG_FILTER_PAETH},
                                                   {"all", PNG_ALL_FILTERS}};
    const std::pair<const char*, int> strategies[] = {
        {"default", Z_DEFAULT_STRATEGY}, {"rle", Z_RLE}, {"filtered", Z_FILTERED}};
    for (const PngFrame& frame : pngFrames) {
        for (const auto& [filterName, filter] : filters) {
            for (const auto& [strategyName, strategy] : strategies) {
                for (int level = 1; level <= (strategy == Z_RLE ? 1 : 9); ++level) {
                    const std::string name = std::string("BM_PngSettings/") + frame.name + "/" +
                                             filterName + "/" + strategyName + "/" +
                                             std::to_string(level);
                    const PngEncoding encoding = {filter, strategy, level};
                    benchmark::RegisterBenchmark(name.c_str(), [&frame, encoding,
                                                                name](benchmark::State& state) {
                        if (!windowReady()) {
                            state.SkipWithError("no X display");
                            return;
                        }
                        size_t bytes = 0;
                        timeLoop(state, name, [&] { bytes = encodePngFrame(frame, &encoding); });
                        state.counters["bytes"] = static_cast<double>(bytes);
                    })->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
}

// Floors first, as timeLoop wants them.
void registerPngWriter() {
    for (const PngFrame& frame : pngFrames) {
        benchmark::RegisterBenchmark((std::string("BM_PngDefaults/") + frame.name).c_str(),
                                     BM_PngDefaults, frame)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_PngWriter/") + frame.name).c_str(),
                                     BM_PngWriter, frame, "BM_PngWriter")
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_PngSize/") + frame.name).c_str(),
                                     BM_PngWriter, frame, "BM_PngSize")
            ->Unit(benchmark::kMillisecond);
    }
}

BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBitmap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StbLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadGif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TiffDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTiff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWebp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HeifDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadHeif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JxlDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadJxl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AvifDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadAvif)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClearOnlyFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Outline);
BENCHMARK(BM_PngWrite)->Arg(400)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveView)->Arg(400)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawView)->Arg(400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Clip)->Arg(72)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebpEncode)->Arg(72)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClipWebp)->Arg(72)->Unit(benchmark::kMillisecond);

// The reporter --benchmark_format asks for; on the console it repeats each
// goal ratio after the table (the median one with --benchmark_repetitions).
class GoalReporter : public benchmark::BenchmarkReporter {
  public:
    GoalReporter() : inner_(benchmark::CreateDefaultDisplayReporter()) {}

    bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            // A benchmark skipped for an error stops before timeLoop, so it
            // has no goal_ratio counter to repeat.
            for (const Goal& goal : goals) {
                auto counter = run.counters.find("goal_ratio");
                if ((single || median) && run.run_name.str() == goal.measured &&
                    counter != run.counters.end()) {
                    char line[160];
                    std::snprintf(line, sizeof line, "ratio %s / %s = %.2f (%s)\n",
                                  goal.measured.c_str(), goal.floor.c_str(), counter->second.value,
                                  goal.text.c_str());
                    ratioLines_ += line;
                }
            }
        }
        inner_->ReportRuns(runs);
    }

    void Finalize() override {
        inner_->Finalize();
        if (dynamic_cast<benchmark::ConsoleReporter*>(inner_.get()) != nullptr) {
            std::fputs(ratioLines_.c_str(), stdout);
        }
    }

  private:
    std::unique_ptr<benchmark::BenchmarkReporter> inner_;
    std::string ratioLines_;
};

} // namespace

int main(int argc, char** argv) {
    registerPngWriter();
    registerPngSettings();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& file : bigFiles) {
        std::filesystem::remove_all(file);
    }
    return 0;
}
