#include "picture/picture.h"
#include "picture/write/png_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <libheif/heif_version.h>
#include <optional>
#include <png.h>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "bitmap_writer.h"
#include "gif_tiff_writer.h"
#include "jxl_writer.h"
#include "marble.h"
#include "picture_writer.h"
#include "webp_heif_writer.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes readFile(const std::string& name) {
    std::ifstream file(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

Bytes patched(Bytes bytes, size_t at, std::uint32_t value, size_t length = SIZE_MAX) {
    patchLe32(bytes, at, value);
    bytes.resize(std::min(length, bytes.size()));
    return bytes;
}

const std::filesystem::path folder = std::filesystem::temp_directory_path() / "ovrik-pictures";
const std::string path = (folder / "picture").string(), fallbackPath = (folder / "marble").string();

// Writes the file and the fallback (none for nullopt) and reads them back
// with a side limit of 4096, as the marble or, with everyBitmap, as a named
// picture; unreadable, the file has no read permission for the reader (root
// reads it as nobody). The name read and the message printed have the
// file's name replaced by '@' and the fallback's by '%'.
struct Load {
    std::string read, printed;
    BitmapImage image;
};
Load load(const std::optional<Bytes>& file, const std::optional<Bytes>& fallback = {},
          const std::string& name = path, int reduceTo = 0, bool everyBitmap = false,
          bool unreadable = false) {
    std::filesystem::create_directories(folder);
    std::filesystem::remove(path);
    std::filesystem::remove(fallbackPath);
    EXPECT_TRUE(!file || writeFile(path, *file));
    EXPECT_TRUE(!fallback || writeFile(fallbackPath, *fallback));
    Load l{};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr(); // nothing may reach it
    const PictureRequest request = {+[] { return 4096; }, reduceTo, everyBitmap};
    const bool asNobody = unreadable && geteuid() == 0;
    EXPECT_TRUE(!unreadable || (chmod(path.c_str(), 0) == 0 && (!asNobody || seteuid(65534) == 0)));
    const char* read = loadPicture(name.c_str(), fallbackPath.c_str(), request, &l.image);
    EXPECT_TRUE(!asNobody || seteuid(0) == 0);
    l.printed = ::testing::internal::GetCapturedStdout();
    l.printed += ::testing::internal::GetCapturedStderr();
    l.read = read != nullptr ? read : "";
    for (std::string* text : {&l.read, &l.printed}) {
        for (auto [from, to] : {std::pair{fallbackPath, "%"}, {path, "@"}}) {
            if (size_t at = text->find(from); at != std::string::npos) {
                text->replace(at, from.size(), to);
            }
        }
    }
    return l;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif

// Runs the load in a child whose address space may grow by at most
// `limitMiB` (not under AddressSanitizer or valgrind, whose own memory
// counts as the child's; there it reports no growth): what
// it read, printed and showed, and its peak growth in MiB; peakMiB -1 when
// the child failed.
struct BoundedLoad {
    std::string read, printed;
    int width = 0, height = 0;
    Bytes pixels;
    long peakMiB = -1;
};
BoundedLoad loadInBoundedChild(const std::function<Load()>& run, long limitMiB) {
    int channel[2];
    if (pipe(channel) != 0) {
        return {"", "no pipe", 0, 0, {}};
    }
    struct Head {
        long peakMiB;
        int width, height;
        size_t readBytes, printedBytes, pixelBytes;
    };
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        auto statusKiB = [](const char* field) {
            std::ifstream status("/proc/self/status");
            std::string line;
            while (std::getline(status, line) && line.rfind(field, 0) != 0) {
            }
            return line.empty() ? 0L : std::atol(line.c_str() + std::strlen(field));
        };
        // valgrind's own memory counts as the child's: there the load is
        // only run, as under AddressSanitizer.
        const char* preloaded = std::getenv("LD_PRELOAD");
        const bool measured =
            !sanitized && (preloaded == nullptr || !std::strstr(preloaded, "vgpreload"));
        // The peak starts as the parent's, which may lie above what the
        // load takes: 5 resets it to what the child holds now.
        std::ofstream("/proc/self/clear_refs") << "5";
        const long startKiB = statusKiB("VmRSS:");
        const rlimit limit = {rlim_t(statusKiB("VmSize:") + limitMiB * 1024) * 1024, RLIM_INFINITY};
        if (measured) {
            setrlimit(RLIMIT_AS, &limit);
        }
        Load l = run();
        const size_t pixelBytes =
            l.image.pixels != nullptr ? size_t(l.image.width) * l.image.height * 3 : 0;
        const Head head = {measured ? (statusKiB("VmHWM:") - startKiB) / 1024 : 0,
                           l.image.width,
                           l.image.height,
                           l.read.size(),
                           l.printed.size(),
                           pixelBytes};
        std::string report(reinterpret_cast<const char*>(&head), sizeof head);
        report += l.read + l.printed;
        report.append(reinterpret_cast<const char*>(l.image.pixels), pixelBytes);
        std::free(l.image.pixels);
        bool sent = true;
        for (size_t at = 0; sent && at < report.size();) {
            const ssize_t put = write(channel[1], report.data() + at, report.size() - at);
            sent = put > 0;
            at += sent ? size_t(put) : 0;
        }
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    std::string report;
    char piece[65536];
    for (ssize_t got; (got = read(channel[0], piece, sizeof piece)) > 0;) {
        report.append(piece, size_t(got));
    }
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    Head head = {};
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.size() < sizeof head) {
        return {"", "child failed", 0, 0, {}};
    }
    std::memcpy(&head, report.data(), sizeof head);
    if (report.size() != sizeof head + head.readBytes + head.printedBytes + head.pixelBytes) {
        return {"", "child failed", 0, 0, {}};
    }
    const char* at = report.data() + sizeof head;
    BoundedLoad b;
    b.read.assign(at, head.readBytes);
    b.printed.assign(at + head.readBytes, head.printedBytes);
    b.width = head.width;
    b.height = head.height;
    b.pixels.assign(at + head.readBytes + head.printedBytes,
                    at + head.readBytes + head.printedBytes + head.pixelBytes);
    b.peakMiB = head.peakMiB;
    return b;
}

// Columns and rows cut from a bottom-up RGB picture of the given width.
Bytes cropped(const Bytes& rgb, int fromWidth, int width, int height) {
    Bytes out;
    for (int row = 0; row < height; ++row) {
        auto start = rgb.begin() + row * fromWidth * 3;
        out.insert(out.end(), start, start + width * 3);
    }
    return out;
}

// A picture as a viewer shows it whose file stores it as `rgb` (w x h, rows
// bottom-up) with an EXIF orientation: shown pixel (x, y), y from the top,
// is the stored pixel given here.
Bytes turned(const Bytes& rgb, int w, int h, int orientation) {
    const bool swapped = orientation >= 5;
    const int shownWidth = swapped ? h : w, shownHeight = swapped ? w : h;
    Bytes out(rgb.size());
    for (int y = 0; y < shownHeight; ++y) {
        for (int x = 0; x < shownWidth; ++x) {
            const int from[9][2] = {{},
                                    {x, y},
                                    {w - 1 - x, y},
                                    {w - 1 - x, h - 1 - y},
                                    {x, h - 1 - y},
                                    {y, x},
                                    {y, h - 1 - x},
                                    {w - 1 - y, h - 1 - x},
                                    {w - 1 - y, x}};
            const auto [storedX, storedY] = from[orientation];
            const size_t in = (size_t(h - 1 - storedY) * w + storedX) * 3;
            const size_t at = (size_t(shownHeight - 1 - y) * shownWidth + x) * 3;
            std::copy_n(&rgb[in], 3, &out[at]);
        }
    }
    return out;
}

// A GIF's screen, sw x sh of the background, with the frame (w x h) at
// (left, top) from the top left, clipped.
Bytes onScreen(const Bytes& frame, int w, int h, int sw, int sh, int left, int top,
               const unsigned char* background) {
    Bytes out;
    for (int i = 0; i < sw * sh; ++i) {
        out.insert(out.end(), background, background + 3);
    }
    for (int y = 0; y < h && top + y < sh; ++y) {
        for (int x = 0; x < w && left + x < sw; ++x) {
            std::copy_n(&frame[(size_t(h - 1 - y) * w + x) * 3], 3,
                        &out[(size_t(sh - 1 - top - y) * sw + left + x) * 3]);
        }
    }
    return out;
}

// The average of each fx x fy block, rounded.
Bytes blockAverage(const Bytes& rgb, int w, int h, int fx, int fy) {
    Bytes out;
    for (int y = 0; y < h / fy; ++y) {
        for (int x = 0; x < w / fx; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < fy; ++dy) {
                    for (int dx = 0; dx < fx; ++dx) {
                        sum += rgb[((size_t(y) * fy + dy) * w + x * fx + dx) * 3 + c];
                    }
                }
                out.push_back(static_cast<unsigned char>((sum + fx * fy / 2) / (fx * fy)));
            }
        }
    }
    return out;
}

TEST(PictureReader, ReadsEveryFormatAsPackedRgbBottomUp) {
    struct Case {
        Bytes file;
        int width, height;
        Bytes rgb;
        double meanError = 0;    // JPEG is lossy
        bool asFallback = false; // written only as the fallback, read as such
        int reduceTo = 0;
        bool everyBitmap = false;
        long boundMiB = 0; // read within this growth too, in a child process
    };
    std::vector<Case> cases;
    // BMP: unpadded and padded rows, a last row without its padding, larger
    // info headers whose offset field moves the pixels, top-down rows; then
    // every offset short of the classic 54 bytes, which is read from 54.
    struct {
        int width, height, infoHeaderSize, offset, missingBytes;
        bool topDown;
    } bitmaps[64] = {{256, 256, 40, 54, 0, false}, {1, 3, 40, 54, 0, false},
                     {2, 3, 40, 54, 0, false},     {6, 2, 40, 54, 0, false},
                     {7, 3, 40, 54, 0, false},     {3, 2, 40, 54, 3, false},
                     {5, 4, 108, 122, 0, false},   {6, 3, 124, 138, 0, false},
                     {4, 5, 40, 54, 0, true},      {3, 5, 40, 54, 0, true}};
    for (int offset = 0; offset < 54; ++offset) {
        bitmaps[10 + offset] = {4, 2, 40, offset, 0, false};
    }
    for (const auto& b : bitmaps) {
        const Bytes rgb = patternPicture(b.width, b.height);
        Bytes file = encodeBitmap(b.width, b.height, rgb, {b.infoHeaderSize, b.topDown});
        for (bool everyBitmap : {false, true}) {
            cases.push_back({patched(file, 10, b.offset, file.size() - b.missingBytes), b.width,
                             b.height, rgb, 0, false, 0, everyBitmap});
        }
    }
    // PNG, lossless in every layout; alpha and transparency are dropped.
    const Bytes pattern = patternPicture(7, 5), small = patternPicture(4, 3);
    Bytes grey = pattern, blackAndWhite = pattern;
    for (size_t i = 0; i < pattern.size(); ++i) {
        grey[i] = pattern[i - i % 3];
        blackAndWhite[i] = grey[i] & 0x80 ? 255 : 0;
    }
    const std::pair<PngLayout, const Bytes*> pngs[] = {
        {{PngLayout::rgb, 8}, &pattern},
        {{PngLayout::rgbAlpha, 8}, &pattern},
        {{PngLayout::rgb, 16, true, true}, &pattern},
        {{PngLayout::grey, 8, false, true}, &grey},
        {{PngLayout::grey, 1, true}, &blackAndWhite},
        {{PngLayout::greyAlpha, 16}, &grey},
        {{PngLayout::palette, 8, false, true}, &pattern},
        {{PngLayout::palette, 4, true}, &small}};
    for (const auto& [layout, rgb] : pngs) {
        const int width = rgb == &small ? 4 : 7, height = rgb == &small ? 3 : 5;
        cases.push_back({encodePng(width, height, *rgb, layout), width, height, *rgb, 0});
    }
    // Every other kind of BMP a named picture may be, each showing the
    // picture as its 24-bit file does: palettes of 1 to 8 bits (indices
    // beyond a short table show black), OS/2 headers, bit fields scaled
    // exactly, alpha dropped, RLE with its runs, stretches and skips (what
    // they leave unset shows black), rows top first.
    const Bytes few3 = fewColourPicture(13, 7, 3), few14 = fewColourPicture(15, 7, 14),
                few40 = fewColourPicture(37, 9, 40);
    using Masks = std::array<std::uint32_t, 4>;
    const Masks m565 = {0xf800, 0x7e0, 0x1f, 0}, m4444 = {0xf00, 0xf0, 0xf, 0xf000},
                m8164 = {0xff, 0xffff00, 0xf000000, 0xf0000000},
                m8888 = {0xff00, 0xff0000, 0xff000000, 0xff};
    const struct {
        int width, height;
        BitmapLayout layout;
        Bytes rgb;
    } bitmapKinds[] = {{9, 5, {40, false, 1}, checkerboardPicture(9, 5)},
                       {13, 7, {40, false, 2}, few3},
                       {15, 7, {40, true, 4}, few14},
                       {37, 9, {40, false, 8, 0, {}, true}, few40},
                       {37, 9, {12, false, 8}, few40},
                       {7, 5, {12, false, 24}, pattern},
                       {15, 7, {16, false, 4}, few14},
                       {37, 9, {64, false, 8}, few40},
                       {7, 5, {40, false, 16}, quantisedPicture(pattern, {5, 5, 5})},
                       {7, 5, {52, true, 16, 3, m565}, quantisedPicture(pattern, {5, 6, 5})},
                       {7, 5, {40, false, 16, 6, m4444}, quantisedPicture(pattern, {4, 4, 4})},
                       {7, 5, {108, true, 32}, pattern},
                       {7, 5, {56, false, 32, 3, m8888}, pattern},
                       {7, 5, {124, false, 32, 3, m8164}, quantisedPicture(pattern, {8, 16, 4})},
                       {37, 9, {40, false, 8, 1}, few40},
                       {37, 9, {124, false, 8, 1, {}, true}, few40},
                       {15, 7, {40, false, 4, 2}, few14},
                       {9, 5, {40, false, 4, 2}, checkerboardPicture(9, 5)}};
    // Each Windows kind also as a bare DIB, without its file header, as the
    // clipboard saves it, but for the short table, which only the file
    // header's offset can say.
    for (const auto& b : bitmapKinds) {
        const Bytes file = encodeBitmap(b.width, b.height, b.rgb, b.layout);
        for (const size_t skipped : {size_t{0}, size_t{14}}) {
            if (skipped == 0 || (b.layout.infoHeaderSize >= 40 && !b.layout.blackBeyondPalette)) {
                cases.push_back({Bytes(file.begin() + skipped, file.end()), b.width, b.height,
                                 b.rgb, 0, false, 0, true});
            }
        }
    }
    // Without bit fields, what a v5 header holds in their place is ignored.
    cases.push_back({patched(encodeBitmap(37, 9, few40, {124, false, 8}), 54, 0xf0f0), 37, 9, few40,
                     0, false, 0, true});

    // JPEG: baseline, progressive and grey, with partial blocks at the edges.
    const Bytes marble = cropped(makeMarble(64), 64, 61, 37);
    Bytes greyMarble = marble;
    for (size_t i = 0; i < marble.size(); ++i) {
        greyMarble[i] = marble[i - i % 3];
    }
    for (const JpegLayout layout :
         {JpegLayout{}, JpegLayout{false, true}, JpegLayout{true, true}}) {
        cases.push_back(
            {encodeJpeg(61, 37, marble, layout), 61, 37, layout.grey ? greyMarble : marble, 4.0});
    }

    // GIF: the first frame on its screen, which shows the global map's
    // background around it (index 0, the top left pixel's colour) or black
    // without a global map; interlaced, clipped, transparency ignored.
    const Bytes tallPattern = patternPicture(5, 13);
    const unsigned char black[3] = {};
    const struct {
        GifLayout layout;
        int width, height;
        const Bytes* rgb;
    } gifs[] = {{{}, 7, 5, &pattern},
                {{GifLayout::both}, 7, 5, &pattern},
                {{GifLayout::local, true}, 5, 13, &tallPattern},
                {{GifLayout::global, false, 10, 8, 2, 1}, 7, 5, &pattern},
                {{GifLayout::local, false, 9, 6, 1, 1}, 7, 5, &pattern},
                {{GifLayout::global, true, 6, 10, 2, 3}, 5, 13, &tallPattern},
                {{GifLayout::local, true, 4, 9, 3, 0}, 5, 13, &tallPattern},
                {{GifLayout::global, false, 5, 4, 1, 1, 0, 3, true}, 7, 5, &pattern},
                {{GifLayout::global, false, 4, 5, 6, 0}, 7, 5, &pattern}};
    // With no colour table at all, the indices show as a ramp of greys
    // over the table's declared size: here a grey picture whose colours
    // are that ramp, in the order they first appear.
    Bytes rampPicture;
    for (const int grey : {255, 0, 85, 170, 0, 85, 170, 255}) {
        rampPicture.insert(rampPicture.end(), 3, static_cast<unsigned char>(grey));
    }
    cases.push_back({encodeGif(4, 2, rampPicture, {GifLayout::none}), 4, 2, rampPicture});
    for (const auto& g : gifs) {
        const int sw = g.layout.screenWidth ? g.layout.screenWidth : g.width,
                  sh = g.layout.screenHeight ? g.layout.screenHeight : g.height;
        const unsigned char* background = g.layout.map == GifLayout::global
                                              ? &(*g.rgb)[size_t(g.height - 1) * g.width * 3]
                                              : black;
        cases.push_back(
            {encodeGif(g.width, g.height, *g.rgb, g.layout), sw, sh,
             onScreen(*g.rgb, g.width, g.height, sw, sh, g.layout.left, g.layout.top, background)});
    }
    // TIFF: lossless but for CMYK's rounding and JPEG. Every depth scaled to
    // 8 bits: the levels a 6-bit sample holds, each pixel with a channel at
    // full light, come back exactly from 6-bit RGB and from CMYK at any
    // depth. Floats clamped to 0 .. 1.
    using T = TiffLayout;
    Bytes levels = pattern, stretchedPattern = pattern;
    for (size_t i = 0; i < levels.size(); ++i) {
        const size_t pixel = i / 3;
        levels[i] =
            i % 3 == pixel % 3 ? 255 : static_cast<unsigned char>((i * 23 % 64 * 255 + 31) / 63);
        stretchedPattern[i] =
            static_cast<unsigned char>(std::clamp(std::lround(pattern[i] * 1.5 - 63.75), 0L, 255L));
    }
    const struct {
        TiffLayout layout;
        int width, height;
        const Bytes* rgb;
        double meanError;
    } tiffs[] = {
        {{}, 7, 5, &pattern, 0},
        {{T::rgb, 16, T::lzw, true, 2, false, 0, true}, 7, 5, &pattern, 0},
        {{T::grey, 8, T::deflate}, 7, 5, &grey, 0},
        {{T::grey, 16, T::packBits, true}, 7, 5, &grey, 0},
        {{T::palette, 8, T::lzw}, 7, 5, &pattern, 0},
        {{T::palette, 4, T::none, true}, 4, 3, &small, 0},
        {{T::cmyk, 8, T::deflate, false, 3, true}, 7, 5, &pattern, 0.5},
        {{T::rgbAlpha, 8, T::lzw}, 7, 5, &pattern, 0},
        {{T::rgbAlpha, 16, T::none, true, 3, true}, 7, 5, &pattern, 0},
        {{T::rgb, 8, T::deflate, true, 3, true, 0, true}, 7, 5, &pattern, 0},
        {{T::rgb, 8, T::packBits, false, 1, false, 0, true, true}, 7, 5, &pattern, 0},
        // libtiff warns of the 8-bit map, and the warning reaches no one.
        {{T::palette, 8, T::lzw, true, 3, false, 0, false, false, true}, 7, 5, &pattern, 0},
        {{T::rgb, 8, T::jpeg}, 61, 37, &marble, 4.0},
        {{T::rgb, 8, T::jpeg, true}, 61, 37, &marble, 4.0},
        {{T::cmyk, 6, T::lzw}, 7, 5, &levels, 0},
        {{T::cmyk, 8, T::none, true}, 7, 5, &levels, 0},
        {{T::cmyk, 12, T::deflate, true, 3, true}, 7, 5, &levels, 0},
        {{T::cmyk, 16, T::packBits, false, 2, false, 0, true}, 7, 5, &levels, 0},
        {{T::cmyk, 32, T::none, false, 3, true, 0, false, false, false, true}, 7, 5, &levels, 0},
        {{T::rgb, 6, T::none, true, 3, true}, 7, 5, &levels, 0},
        {{T::rgb, 12, T::lzw, false, 2, false, 0, true}, 7, 5, &pattern, 0},
        {{T::grey, 12, T::deflate, true, 3, false, 0, true}, 7, 5, &grey, 0},
        {{T::grey, 1, T::packBits}, 7, 5, &blackAndWhite, 0},
        {{T::rgb, 16, T::deflate, false, 3, false, 0, true, false, false, true}, 7, 5, &pattern, 0},
        {{T::rgb, 16, T::none, true, 3, true, 0, false, false, false, true, true},
         7,
         5,
         &stretchedPattern,
         0},
        {{T::rgb, 32, T::lzw, true, 3, false, 0, true, false, false, true, true},
         7,
         5,
         &stretchedPattern,
         0},
        {{T::rgb, 64, T::deflate, false, 2, true, 0, true, false, false, true}, 7, 5, &pattern, 0},
        {{T::grey, 32, T::none, false, 3, false, 0, false, false, false, true}, 7, 5, &grey, 0},
        {{T::rgbAlpha, 16, T::lzw, false, 3, false, 0, false, false, false, true},
         7,
         5,
         &pattern,
         0}};
    for (const auto& t : tiffs) {
        // A stretched file holds the pattern; its picture is clamped.
        const Bytes& stored = t.layout.stretched ? pattern : *t.rgb;
        cases.push_back({encodeTiff(t.width, t.height, stored, t.layout), t.width, t.height, *t.rgb,
                         t.meanError});
    }

    // With no file at all, the fallback stands in.
    cases.push_back(
        {encodeBitmap(4, 4, patternPicture(4, 4)), 4, 4, patternPicture(4, 4), 0, true});

    // EXIF orientations 1 to 8 turn and mirror the picture, from PNG's eXIf
    // (big-endian) and JPEG's APP1 (little-endian); an absurd or damaged
    // block means as stored.
    for (int o = 1; o <= 8; ++o) {
        const int w = o >= 5 ? 5 : 7, h = o >= 5 ? 7 : 5;
        cases.push_back({encodePng(7, 5, pattern, {PngLayout::rgb, 8, false, false, 6, o}), w, h,
                         turned(pattern, 7, 5, o)});
        cases.push_back({encodeJpeg(61, 37, marble, {false, o % 2 == 0, 90, o}), o >= 5 ? 37 : 61,
                         o >= 5 ? 61 : 37, turned(marble, 61, 37, o), 4.0});
        // TIFF's Orientation tag, in tiles and in strips.
        cases.push_back({encodeTiff(7, 5, pattern, {T::rgb, 8, T::lzw, o % 2 == 0, 2, false, o}), w,
                         h, turned(pattern, 7, 5, o)});
    }
    Bytes damagedExif = encodeJpeg(61, 37, marble, {false, false, 90, 6});
    const std::string tiffHeader = "II*";
    patchLe32(
        damagedExif,
        std::search(damagedExif.begin(), damagedExif.end(), tiffHeader.begin(), tiffHeader.end()) -
            damagedExif.begin() + 4,
        0xfff0); // the directory lies beyond the block
    cases.push_back({damagedExif, 61, 37, marble, 4.0});
    cases.push_back(
        {encodePng(7, 5, pattern, {PngLayout::rgb, 8, false, false, 6, 9}), 7, 5, pattern});

    // Stray bytes between segments cost no pixel: exactly the clean file's.
    const Bytes clean = encodeJpeg(61, 37, marble);
    Bytes stray = clean;
    stray.insert(stray.begin() + 4 + (stray[4] << 8 | stray[5]), {0x00, 0x42, 0x42});
    const Load cleanLoad = load(clean);
    ASSERT_NE(cleanLoad.image.pixels, nullptr);
    cases.push_back(
        {stray, 61, 37, Bytes(cleanLoad.image.pixels, cleanLoad.image.pixels + 61 * 37 * 3)});
    std::free(cleanLoad.image.pixels);
    // Ink: CMYK marked inverted by Adobe's marker, plain CMYK, and YCCK.
    for (auto ink : {JpegLayout::cmykAdobe, JpegLayout::cmykPlain, JpegLayout::ycckAdobe}) {
        cases.push_back(
            {encodeJpeg(61, 37, marble, {false, false, 95, 0, ink}), 61, 37, marble, 4.0});
    }

    // Reduced to at most reduceTo per side, never beyond the largest side
    // (4096), by the average of each block: a checkerboard becomes even grey.
    const Bytes wide = patternPicture(8192, 2), tall = patternPicture(3, 1000),
                board = checkerboardPicture(64, 64), square = patternPicture(64, 32);
    const Bytes evenGrey(16 * 16 * 3, 128), marble48 = cropped(makeMarble(64), 64, 64, 48);
    cases.push_back(
        {encodeBitmap(8192, 2, wide), 1024, 1, blockAverage(wide, 8192, 2, 8, 2), 0, false, 1024});
    cases.push_back(
        {encodeBitmap(8192, 2, wide), 4096, 1, blockAverage(wide, 8192, 2, 2, 2), 0, false, 8192});
    cases.push_back(
        {encodeBitmap(3, 1000, tall), 1, 10, blockAverage(tall, 3, 1000, 3, 100), 0, false, 10});
    cases.push_back({encodeBitmap(64, 32, square), 64, 32, square, 0, false, 64});
    for (const BitmapLayout layout : {BitmapLayout{40, false, 1}, BitmapLayout{40, false, 4, 2}}) {
        cases.push_back(
            {encodeBitmap(64, 64, board, layout), 16, 16, evenGrey, 0, false, 16, true});
    }
    cases.push_back({encodePng(64, 64, board), 16, 16, evenGrey, 0, false, 16});
    cases.push_back({encodePng(64, 32, board, {PngLayout::grey, 1, true}), 16, 8,
                     Bytes(evenGrey.begin(), evenGrey.begin() + 16 * 8 * 3), 0, false, 16});
    cases.push_back({encodePng(64, 32, square, {PngLayout::rgb, 8, false, false, 6, 6}), 8, 16,
                     turned(blockAverage(square, 64, 32, 4, 4), 16, 8, 6), 0, false, 16});
    cases.push_back(
        {encodeGif(64, 64, board, {GifLayout::local, true}), 16, 16, evenGrey, 0, false, 16});
    cases.push_back({encodeTiff(64, 64, board, {T::grey, 8, T::deflate, true}), 16, 16, evenGrey, 0,
                     false, 16});
    // Interlaced, reduced as the passes arrive: exactly the block average,
    // over odd sides and boxes, every colour kind and orientation.
    const Bytes photo105 = photoLikePicture(105, 63), few105 = fewColourPicture(105, 63, 40);
    Bytes blackAndWhite105 = photo105;
    for (size_t i = 0; i < photo105.size(); ++i) {
        blackAndWhite105[i] = photo105[i - i % 3] & 0x80 ? 255 : 0;
    }
    const std::pair<PngLayout, const Bytes*> interlacedPngs[] = {
        {{PngLayout::rgb, 8, true}, &photo105},
        {{PngLayout::rgb, 16, true, true}, &photo105},
        {{PngLayout::grey, 1, true}, &blackAndWhite105},
        {{PngLayout::palette, 8, true}, &few105}};
    for (const auto& [layout, rgb] : interlacedPngs) {
        for (const int reduceTo : {35, 15, 1}) {
            const int f = 105 / reduceTo;
            cases.push_back({encodePng(105, 63, *rgb, layout), 105 / f, std::max(63 / f, 1),
                             blockAverage(*rgb, 105, 63, f, std::min(f, 63)), 0, false, reduceTo});
        }
    }
    for (int o = 2; o <= 8; ++o) {
        cases.push_back({encodePng(105, 63, photo105, {PngLayout::rgb, 8, true, false, 6, o}),
                         o >= 5 ? 21 : 35, o >= 5 ? 35 : 21,
                         turned(blockAverage(photo105, 105, 63, 3, 3), 35, 21, o), 0, false, 35});
    }
    // GIF: the frame alone, and on a screen whose background shows around it
    // or that clips it.
    // Upside down, so that its top left pixel, the global map's background,
    // is not black.
    Bytes lit105;
    for (int y = 62; y >= 0; --y) {
        lit105.insert(lit105.end(), few105.begin() + y * 105 * 3,
                      few105.begin() + (y + 1) * 105 * 3);
    }
    const unsigned char* lit105Background = &lit105[size_t(62) * 105 * 3];
    const struct {
        GifLayout layout;
        int screenWidth, screenHeight, reduceTo, f;
    } interlacedGifs[] = {{{GifLayout::local, true}, 105, 63, 35, 3},
                          {{GifLayout::global, true, 111, 69, 4, 5}, 111, 69, 37, 3},
                          {{GifLayout::global, true, 100, 60, 0, 0}, 100, 60, 20, 5},
                          {{GifLayout::local, true, 99, 63, 2, 6}, 99, 63, 11, 9},
                          // Not interlaced: a frame as wide as the screen is
                          // reduced from its indices, with its own table
                          // over the global one; a narrower one is painted.
                          {{GifLayout::both}, 105, 63, 35, 3},
                          {{GifLayout::global, false, 111, 69, 4, 5}, 111, 69, 37, 3},
                          {{GifLayout::local, false, 105, 70, 0, 7}, 105, 70, 21, 5}};
    for (const auto& g : interlacedGifs) {
        const Bytes shown =
            onScreen(lit105, 105, 63, g.screenWidth, g.screenHeight, g.layout.left, g.layout.top,
                     g.layout.map == GifLayout::global ? lit105Background : black);
        cases.push_back(
            {encodeGif(105, 63, lit105, g.layout), g.screenWidth / g.f, g.screenHeight / g.f,
             blockAverage(shown, g.screenWidth, g.screenHeight, g.f, g.f), 0, false, g.reduceTo});
    }
    // Boxes of more pixels than a packed palette's fields can sum.
    const Bytes fewLarge = fewColourPicture(1000, 1000, 40);
    cases.push_back({encodeGif(1000, 1000, fewLarge), 10, 10,
                     blockAverage(fewLarge, 1000, 1000, 100, 100), 0, false, 10});
    // Bands of whole strips, several to a call and the last one short.
    const Bytes wideBand = patternPicture(8192, 40);
    for (const bool tiled : {false, true}) {
        cases.push_back({encodeTiff(8192, 40, wideBand, {T::rgb, 8, T::lzw, tiled, 3}), 1024, 5,
                         blockAverage(wideBand, 8192, 40, 8, 8), 0, false, 1024});
    }
    cases.push_back({encodeTiff(64, 32, square, {T::rgb, 8, T::deflate, true, 3, false, 8}), 8, 16,
                     turned(blockAverage(square, 64, 32, 4, 4), 16, 8, 8), 0, false, 16});
    // One strip holding a flat 4000 x 4000 picture, read a row at a time:
    // the strip and a raster of it would take 112 MiB.
    const Bytes flat(4000 * 4000 * 3, 90);
    cases.push_back({encodeTiff(4000, 4000, flat, {T::rgb, 8, T::deflate, false, 4000}), 16, 16,
                     Bytes(16 * 16 * 3, 90), 0, false, 16, false, 40});
    // JPEG: the decoder scales by 2/8, which averages much as blocks do.
    cases.push_back({encodeJpeg(64, 48, marble48, {false, false, 95}), 16, 12,
                     blockAverage(marble48, 64, 48, 4, 4), 3.0, false, 16});

    // WebP, HEIC and AVIF as their own libraries decode them. WebP: lossy and
    // lossless; alpha dropped, each pixel its own colour; an animation's
    // first frame; an EXIF chunk's orientation. HEIC and AVIF: odd sizes,
    // which libheif writes as grids or crops, 10 and 12 bits, rotation and
    // mirror.
    auto asDecoded = [&](const Bytes& file, int reduceTo = 0, double meanError = 0) {
        const bool jxl = file[0] == 0xff || file[4] == 'J', webp = file[8] == 'W';
        const DecodedPicture d = jxl    ? decodeJxlWithLibrary(file)
                                 : webp ? decodeWebpWithLibrary(file)
                                        : decodeHeifWithLibrary(file);
        const int f = reduceTo > 0 ? std::max(d.width, d.height) / reduceTo : 1;
        // libjxl from 0.9 on converts its own 8-bit output apart from the
        // floats the reader rounds, a level now and then; truncating would
        // cost half a level everywhere.
        cases.push_back({file, d.width / f, d.height / f,
                         blockAverage(d.rgb, d.width, d.height, f, f),
                         jxl ? std::max(meanError, 0.3) : meanError, false, reduceTo});
    };
    for (const WebpLayout layout :
         {WebpLayout{}, {false, 90, true}, {false, 75, false, true}, {true, 90, true, true}}) {
        asDecoded(encodeWebp(61, 37, marble, layout));
    }
    for (int o = 1; o <= 8; ++o) {
        const Bytes file = encodeWebp(7, 5, pattern, {true, 90, o % 2 == 0, false, o});
        cases.push_back({file, o >= 5 ? 5 : 7, o >= 5 ? 7 : 5, turned(pattern, 7, 5, o)});
        cases.push_back({encodeHeif(61, 37, marble, {o % 2 == 0, 90, 8, o}), o >= 5 ? 37 : 61,
                         o >= 5 ? 61 : 37, turned(marble, 61, 37, o), 4.0});
    }
    for (const HeifLayout layout :
         {HeifLayout{}, {false, 90, 10}, {true, 90, 12}, {false, 90, 8, 0, true}}) {
        asDecoded(encodeHeif(61, 37, marble, layout));
    }
    // Sides beyond 1024 that the codec's blocks do not divide: coded larger.
    const Bytes oddWide = photoLikePicture(1025, 9);
    for (const bool av1 : {false, true}) {
        asDecoded(encodeHeif(1025, 9, oddWide, {av1}));
    }
    // A handle whose size differs from the decoded picture, as libheif 1.15
    // gives for some turned or cropped AVIF: the decoded picture is shown.
    // Later versions refuse such a file themselves.
    Bytes smallerHandle = encodeHeif(64, 48, marble48, {true});
    patchHeifSize(smallerHandle, 48, 32);
    if (decodeHeifWithLibrary(smallerHandle).width > 0) {
        asDecoded(smallerHandle);
    }
    // libwebp scales while it decodes, within its rounding of the block
    // average; with alpha the row layout reduces, exactly.
    asDecoded(encodeWebp(64, 48, marble48), 16, 1.0);
    cases.push_back({encodeWebp(64, 32, square, {true, 90, true}), 16, 8,
                     blockAverage(square, 64, 32, 4, 4), 0, false, 16});
    asDecoded(encodeHeif(64, 48, marble48, {true}), 16);
    // A first frame that does not cover the canvas, whole and reduced.
    asDecoded(encodeWebp(61, 37, marble, {true, 90, false, true, 0, 2}));
    asDecoded(encodeWebp(60, 44, marble48, {false, 90, true, true, 0, 2}), 16);

    // JPEG XL: lossless at 8 and 16 bits, grey, with alpha (dropped, each
    // pixel its own colour), an animation's first frame, in its
    // container: the picture itself. Float samples beyond 0 .. 1 clamped.
    // Lossy, lossy with alpha, float and a recompressed JPEG as libjxl
    // decodes them. Every orientation; reduced, across groups of pixels too.
    using J = JxlLayout;
    Bytes stretched = marble;
    for (unsigned char& v : stretched) {
        v = static_cast<unsigned char>(std::clamp(std::lround(v * 1.25 - 25.5), 0L, 255L));
    }
    const struct {
        JxlLayout layout;
        const Bytes* rgb;
        double meanError;
    } jxls[] = {{{}, &marble, 0},
                {{0, J::uint16}, &marble, 0},
                {{0, J::uint8, true}, &greyMarble, 0},
                {{0, J::uint8, false, true}, &marble, 0},
                {{0, J::uint16, false, true}, &marble, 0},
                {{0, J::uint8, false, false, 1, true}, &marble, 0},
                {{0, J::uint8, false, false, 1, false, true}, &marble, 0},
                {{0, J::float32}, &stretched, 0.5}};
    for (const auto& j : jxls) {
        cases.push_back({encodeJxl(61, 37, marble, j.layout), 61, 37, *j.rgb, j.meanError});
    }
    for (const JxlLayout layout : {J{1}, J{1, J::uint8, false, true}, J{2, J::float32},
                                   J{1, J::uint16, false, false, 1, true, true},
                                   J{0, J::uint8, false, false, 1, false, true, true}}) {
        asDecoded(encodeJxl(61, 37, marble, layout));
    }
    for (int o = 1; o <= 8; ++o) {
        cases.push_back(
            {encodeJxl(7, 5, pattern, {0, J::uint8, false, o % 2 == 0, o, false, o > 6}),
             o >= 5 ? 5 : 7, o >= 5 ? 7 : 5, turned(pattern, 7, 5, o)});
    }
    cases.push_back({encodeJxl(64, 64, board), 16, 16, evenGrey, 0, false, 16});
    cases.push_back({encodeJxl(64, 32, square, {0, J::uint8, false, false, 6}), 8, 16,
                     turned(blockAverage(square, 64, 32, 4, 4), 16, 8, 6), 0, false, 16});
    const Bytes photo = photoLikePicture(700, 560);
    for (const int reduceTo : {0, 100}) {
        asDecoded(
            encodeJxl(700, 560, photo, {1, J::uint8, false, false, 1, false, false, false, 3}),
            reduceTo);
    }
    // A lossy 3 MP photograph reduced in some 2.5 bytes a pixel of libjxl's
    // own: 8-bit pieces would have it hold the frame as floats, 36 MiB.
    asDecoded(encodeJxl(2000, 1500, photoLikePicture(2000, 1500),
                        {1, J::uint8, false, false, 1, false, false, false, 3}),
              100);
    cases.back().boundMiB = 30;

    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.width << " x " << c.height << ", starting "
                     << std::string(c.file.begin(), c.file.begin() + 4) << ", kind " << +c.file[14]
                     << "/" << +c.file[28] << "/" << +c.file[30] << ", every " << c.everyBitmap);
        auto run = [&] {
            return c.asFallback ? load(std::nullopt, c.file)
                                : load(c.file, {}, path, c.reduceTo, c.everyBitmap);
        };
        if (c.boundMiB > 0) {
            const BoundedLoad b = loadInBoundedChild(run, c.boundMiB);
            EXPECT_EQ(b.printed, "");
            EXPECT_TRUE(b.peakMiB >= 0 && b.peakMiB <= c.boundMiB) << b.peakMiB;
        }
        Load l = run();
        EXPECT_EQ(std::tie(l.read, l.printed, l.image.width, l.image.height),
                  std::make_tuple(c.asFallback ? "%" : "@", "", c.width, c.height));
        ASSERT_NE(l.image.pixels, nullptr);
        double error = 0;
        for (size_t i = 0; i < c.rgb.size(); ++i) {
            error += std::abs(l.image.pixels[i] - c.rgb[i]);
        }
        EXPECT_LE(error / c.rgb.size(), c.meanError);
        std::free(l.image.pixels);
    }
}

TEST(PictureReader, RefusesWithOneMessageBeforeTakingMemory) {
    const Bytes file = encodeBitmap(4, 4, patternPicture(4, 4));
    auto cut = [](Bytes bytes, size_t length) {
        bytes.resize(length);
        return bytes;
    };
    auto sized = [&](std::uint32_t width, std::uint32_t height) {
        return patched(patched(file, 18, width), 22, height);
    };
    const Bytes png = encodePng(9, 7, makeMarble(9)), jpeg = encodeJpeg(9, 7, makeMarble(9));
    auto pngSized = [&](unsigned width, unsigned height) {
        Bytes lying = png;
        patchPngSize(lying, width, height);
        return lying;
    };
    auto jpegSized = [&](unsigned width, unsigned height) {
        Bytes lying = jpeg;
        patchJpegSize(lying, width, height);
        return lying;
    };
    auto progressiveSized = [&](unsigned width, unsigned height) {
        Bytes lying = encodeJpeg(9, 7, makeMarble(9), {true, true});
        patchJpegSize(lying, width, height);
        return lying;
    };
    auto padded = [](Bytes bytes, size_t length) {
        bytes.resize(std::max(bytes.size(), length));
        return bytes;
    };
    const Bytes gif = encodeGif(9, 7, makeMarble(9)),
                tiff = encodeTiff(9, 7, makeMarble(9), {TiffLayout::rgb, 8, TiffLayout::deflate});
    auto gifSized = [&](unsigned width, unsigned height) {
        Bytes lying = gif;
        patchGifSize(lying, width, height);
        return lying;
    };
    auto tiffSized = [&](std::uint32_t width, std::uint32_t height, const Bytes& from) {
        Bytes lying = from;
        patchTiffSize(lying, width, height);
        return lying;
    };
    const Bytes marble = makeMarble(64), lossy = encodeWebp(64, 64, marble),
                lossless = encodeWebp(9, 7, makeMarble(9), {true}),
                animated = encodeWebp(64, 64, marble, {false, 90, true, true}),
                heic = encodeHeif(64, 64, marble), avif = encodeHeif(64, 64, marble, {true});
    auto resized = [](Bytes bytes, unsigned width, unsigned height) {
        (bytes[8] == 'W' ? patchWebpSize : patchHeifSize)(bytes, width, height);
        return bytes;
    };
    auto mdatOf = [](const Bytes& heif) { // the offset of the box's type
        return std::search(heif.begin(), heif.end(), std::begin("mdat"), std::end("mdat") - 1) -
               heif.begin();
    };
    Bytes badLossless = lossless, noMeta = heic, badTile = avif;
    badLossless[30] ^= 0x55;
    noMeta[std::search(noMeta.begin(), noMeta.end(), std::begin("meta"), std::end("meta") - 1) -
           noMeta.begin()] = 'x';
    badTile[mdatOf(avif) + 4] = 0xff; // the first OBU's header
    const Bytes jxl = encodeJxl(64, 64, marble, {1}),
                jxlContainer =
                    encodeJxl(64, 64, marble, {0, JxlLayout::uint8, false, false, 1, false, true});
    auto jxlSized = [&](unsigned width, unsigned height) {
        Bytes lying = jxl;
        patchJxlSize(lying, width, height);
        return lying;
    };
    Bytes badJxl = jxl;
    std::fill_n(badJxl.begin() + badJxl.size() / 2, 16, 0x5a);
    Bytes badCrc = png, badScan = encodeJpeg(64, 64, makeMarble(64));
    Bytes badLzw = encodeGif(64, 64, makeMarble(64)), badDeflate = tiff;
    std::fill_n(badLzw.end() - 200, 8, 0xff);
    std::fill_n(badDeflate.begin() + 10, 8, 0xff);
    badCrc[badCrc.size() - 13] ^= 1; // the checksum of the pixel data
    badScan[badScan.size() / 2] = 0xff;
    const std::string reading = "Error reading image data from @.\n",
                      damaged = "Error reading image data from @: ",
                      tooLarge = "Size from @ is too large: ",
                      texture = "Texture from @ is too large for this OpenGL: ";
    // Not regular files are never read or waited for, and the fallback does
    // not stand in for them, nor for a damaged file.
    const std::string fifo = (folder / "fifo").string(), loop = (folder / "loop").string();
    mkfifo(fifo.c_str(), 0600);
    std::filesystem::remove(loop);
    std::filesystem::create_symlink(loop, loop); // there, but it cannot be opened
    struct Case {
        std::optional<Bytes> file;
        std::string message, name = path;
        std::optional<Bytes> fallback = {};
        int reduceTo = 0;
        bool everyBitmap = false;
        bool unreadable = false;
        // Refused within this many MiB, measured in a child process.
        long boundMiB = 0;
    };
    // Every kind of BMP, as a named picture: what is not read, headers that
    // contradict themselves, damaged RLE, and claims the file cannot back.
    const Bytes few = fewColourPicture(37, 9, 40), eight = encodeBitmap(37, 9, few, {40, false, 8}),
                rle = encodeBitmap(37, 9, few, {40, false, 8, 1});
    Bytes badDelta = rle;
    badDelta[(rle[10] | rle[11] << 8) + 7] = 9; // the first delta, moved 9 rows up
    auto every = [&](const Bytes& bytes, const std::string& message, int reduceTo = 0) {
        return Case{bytes, message, path, {}, reduceTo, true};
    };
    // Byte counts just beyond 2^31 - 1 and far beyond it are too large; just
    // within, the file does not hold them.
    const Case cases[] = {
        {std::nullopt, "File Not Found : @\n"},
        {cut(file, 0), "Header from @ is cut short: 0 of 30 bytes\n"},
        {cut(file, 29), "Header from @ is cut short: 29 of 30 bytes\n"},
        {patched(file, 26, 0 | 24u << 16), "Planes from @ is not 1: 0\n"},
        {patched(file, 26, 257 | 24u << 16), "Planes from @ is not 1: 257\n"},
        {patched(file, 26, 1 | 8u << 16), "Bpp from @ is not 24: 8\n"},
        {patched(file, 26, 1 | 32u << 16), "Bpp from @ is not 24: 32\n"},
        {patched(file, 26, 1 | 280u << 16), "Bpp from @ is not 24: 280\n"},
        {sized(-4, 4), "Width from @ is negative: -4\n"},
        {sized(-4, -4), "Width from @ is negative: -4\n"},
        {sized(65536, 10923), tooLarge + "65536 x 10923 pixels\n"},
        {sized(1, 715827883), tooLarge + "1 x 715827883 pixels\n"},
        {sized(1, 0x80000000u), tooLarge + "1 x -2147483648 pixels\n"},
        {sized(0x7fffffff, 0x7fffffff), tooLarge + "2147483647 x 2147483647 pixels\n"},
        {sized(65536, 10922), reading},
        {sized(715827882, 1), reading},
        {sized(1, -715827882), reading},
        {sized(0, 4), reading},
        {sized(4, 0), reading},
        {sized(0, 0x80000000u), reading},
        {cut(file, 30), reading},
        {cut(file, file.size() - 1), reading},
        {patched(file, 10, static_cast<std::uint32_t>(file.size()) + 1), reading},
        {encodeBitmap(4097, 1, patternPicture(4097, 1)),
         texture + "4097 x 1 pixels, at most 4096 per side\n"},
        {Bytes{'P', 'K', 3, 4}, "Format of @ is not known: BMP, PNG, JPEG, WebP, GIF, TIFF, HEIC, "
                                "AVIF and JPEG XL are read\n"},
        {cut(png, 20), damaged + "Read Error\n"},
        {cut(png, png.size() - 20), damaged + "Read Error\n"},
        {badCrc, damaged + "IDAT: CRC error\n"},
        {pngSized(30000, 30000), tooLarge + "30000 x 30000 pixels\n"},
        {pngSized(4097, 7), texture + "4097 x 7 pixels, at most 4096 per side\n"},
        {pngSized(4000, 4000), damaged + "too little data for 4000 x 4000 pixels\n"},
        {cut(jpeg, 3), damaged + "Premature end of JPEG file\n"},
        {cut(jpeg, jpeg.size() - 20), damaged + "Premature end of JPEG file\n"},
        {badScan, damaged + "Corrupt JPEG data: premature end of data segment\n"},
        {jpegSized(65500, 65500), tooLarge + "65500 x 65500 pixels\n"},
        {jpegSized(9, 4097), texture + "9 x 4097 pixels, at most 4096 per side\n"},
        {jpegSized(4000, 4000), damaged + "too little data for 4000 x 4000 pixels\n"},
        {cut(gif, 8), damaged + "No screen descriptor detected\n"},
        {cut(gif, gif.size() - 12), damaged + "Failed to read from given file\n"},
        {badLzw, damaged + "Image is defective, decoding aborted\n"},
        {gifSized(0, 7), damaged + "empty picture: 0 x 7 pixels\n"},
        {gifSized(65535, 65535), tooLarge + "65535 x 65535 pixels\n"},
        {pngSized(65536, 65536), tooLarge + "65536 x 65536 pixels\n"},
        {gifSized(4097, 7), texture + "4097 x 7 pixels, at most 4096 per side\n"},
        {encodeGif(9, 7, makeMarble(9), {GifLayout::global, false, 16000, 16000}),
         damaged + "too little data for 16000 x 16000 pixels\n",
         path,
         {},
         16},
        {cut(lossy, lossy.size() / 2), damaged + "not enough data\n"},
        {cut(animated, 40), damaged + "not enough data\n"},
        {badLossless, damaged + "bitstream error\n"},
        {resized(lossy, 9, 4097), texture + "9 x 4097 pixels, at most 4096 per side\n"},
        {resized(lossy, 16000, 16000),
         damaged + "too little data for 16000 x 16000 pixels\n",
         path,
         {},
         16},
        {gifSized(20000, 20000),
         damaged + "too little data for 20000 x 20000 pixels\n",
         path,
         {},
         16},
        {cut(tiff, 6), damaged + "Cannot read TIFF header\n"},
        {cut(tiff, tiff.size() - 20), damaged + "IO error during reading of \"BitsPerSample\"\n"},
        {badDeflate, damaged + "Decoding error at scanline 0, invalid block type\n"},
        {tiffSized(9, 8, encodeTiff(9, 7, makeMarble(9))),
         damaged + "Not enough data for scanline 7, expected a request for at most 0 bytes, got a "
                   "request for 27 bytes\n"},
        {tiffSized(0, 7, tiff), damaged + "Computed scanline size is zero\n"},
        {tiffSized(100000, 100000, tiff), tooLarge + "100000 x 100000 pixels\n"},
        {tiffSized(9, 4097, tiff), texture + "9 x 4097 pixels, at most 4096 per side\n"},
        // The same flat picture as one tile, which is decoded whole.
        {encodeTiff(4000, 4000, Bytes(4000 * 4000 * 3, 90),
                    {TiffLayout::rgb, 8, TiffLayout::deflate, true, 3, false, 0, false, false,
                     false, false, false, 4000}),
         damaged + "too little data for a tile of 4000 x 4000 pixels\n",
         path,
         {},
         16,
         false,
         false,
         16},
        {tiffSized(20000, 20000, tiff),
         damaged + "too little data for 20000 x 20000 pixels\n",
         path,
         {},
         16},
        {resized(lossless, 4097, 7), texture + "4097 x 7 pixels, at most 4096 per side\n"},
        {resized(animated, 30000, 30000), tooLarge + "30000 x 30000 pixels\n", path, {}, 16},
        // libwebp holds a lossless picture whole: a large claim needs data.
        {resized(lossless, 16383, 16383),
         damaged + "too little data for 16383 x 16383 pixels\n",
         path,
         {},
         16},
        // libheif's own words, which differ from one version to the next.
        {cut(heic, heic.size() - 20), damaged + heifRefusal(cut(heic, heic.size() - 20)) + "\n"},
        {noMeta, damaged + heifRefusal(noMeta) + "\n"},
        {badTile, damaged + heifRefusal(badTile) + "\n"},
        {resized(heic, 30000, 30000), tooLarge + "30000 x 30000 pixels\n", path, {}, 16},
        // libheif takes memory by the square its limit lets through: a long
        // thin claim must be backed as that square would be.
        {resized(heic, 27759, 1), damaged + "too little data for 27759 x 1 pixels\n", path, {}, 16},
        {readFile(OVRIK_CORPUS "/refuse-grid-larger-than-its-picture.heic"),
         // libheif's own words for its limit, from 1.16 on worded otherwise
         damaged + (LIBHEIF_NUMERIC_VERSION < 0x01100000
                        ? "Memory allocation error: Security limit exceeded: ..."
                        : "..."),
         path,
         {},
         0,
         false,
         false,
         100},
        {resized(avif, 4097, 64), texture + "4097 x 64 pixels, at most 4096 per side\n"},
        // Just beyond the square any file may decode.
        {resized(avif, 5400, 5400),
         damaged + "too little data for 5400 x 5400 pixels\n",
         path,
         {},
         16},
        {resized(heic, 16000, 16000),
         damaged + "too little data for 16000 x 16000 pixels\n",
         path,
         {},
         16},
        {cut(jxl, jxl.size() / 2), damaged + "not enough data\n"},
        {cut(jxlContainer, 40), damaged + "not enough data\n"},
        {badJxl, damaged + "damaged\n"},
        {jxlSized(30000, 30000), tooLarge + "30000 x 30000 pixels\n", path, {}, 16},
        {jxlSized(4097, 9), texture + "4097 x 9 pixels, at most 4096 per side\n"},
        {jxlSized(16000, 16000),
         damaged + "too little data for 16000 x 16000 pixels\n",
         path,
         {},
         16},
        {Bytes{'B', 'M'}, "Header from @ is cut short: 2 of 30 bytes\n", path, file},
        {std::nullopt, "File " + fifo + " is not a regular file\n", fifo, file},
        {std::nullopt, "File " + folder.string() + " is not a regular file\n", folder, file},
        {std::nullopt, "File /dev/null is not a regular file\n", "/dev/null", file},
        {std::nullopt, "File Not Found : " + loop + "\n", loop, file},
        // Unreadable: the marble has always said "not found"; a named picture
        // says why, and the fallback stands in for neither.
        {file, "File Not Found : @\n", path, file, 0, false, true},
        {file, "Cannot open @: Permission denied\n", path, file, 0, true, true},
        // A reduced picture too is refused for what the file cannot back.
        {pngSized(30000, 30000), tooLarge + "30000 x 30000 pixels\n", path, {}, 16},
        {jpegSized(4000, 4000), damaged + "too little data for 4000 x 4000 pixels\n", path, {}, 16},
        // libjpeg holds a progressive picture's coefficients whole, 776 MiB
        // here: the file must hold a byte for every two blocks, not one for
        // eight bits as a streamed one does.
        {padded(progressiveSized(20000, 20000), 900000),
         damaged + "too little data for 20000 x 20000 pixels\n",
         path,
         {},
         16,
         false,
         false,
         16},
        {sized(65536, 10923), tooLarge + "65536 x 10923 pixels\n", path, {}, 16},
        {eight, "Bpp from @ is not 24: 8\n"},
        every(cut(eight, 0), "Header from @ is cut short: 0 of 18 bytes\n"),
        every(cut(eight, 40), "Header from @ is cut short: 40 of 54 bytes\n"),
        every(patched(eight, 14, 100), damaged + "info header of 100 bytes is not known\n"),
        every(patched(eight, 18, 0), damaged + "a picture of 0 x 9 pixels cannot be shown\n"),
        every(patched(eight, 22, 0), damaged + "a picture of 37 x 0 pixels cannot be shown\n"),
        every(patched(eight, 18, -4u), damaged + "a picture of -4 x 9 pixels cannot be shown\n"),
        every(patched(eight, 30, 4), damaged + "compression 4 is not read\n"),
        every(patched(eight, 30, 5), damaged + "compression 5 is not read\n"),
        every(patched(encodeBitmap(37, 9, few, {64, false, 8}), 30, 3),
              damaged + "compression 3 is not read\n"), // OS/2's Huffman
        every(patched(eight, 26, 1 | 64u << 16), damaged + "64 bits per pixel are not read\n"),
        every(patched(eight, 30, 2), damaged + "compression 2 with 8 bits per pixel is not read\n"),
        every(patched(rle, 22, -9u), damaged + "RLE stored top-down is not read\n"),
        every(patched(encodeBitmap(4, 4, patternPicture(4, 4), {52, false, 16, 3}), 54, 0xf0f0),
              damaged + "bit fields 0xf0f0, 0x3e0, 0x1f are not runs of bits within 16 bits\n"),
        every(cut(eight, eight.size() - 4), damaged + "too little data for 37 x 9 pixels\n"),
        every(cut(rle, rle.size() - 3), damaged + "RLE data cut short\n"),
        every(badDelta, damaged + "RLE delta beyond the picture\n"),
        // RLE claims are held to 255 pixels a byte, reduced or not.
        every(patched(patched(rle, 18, 4000), 22, 4000),
              damaged + "too little data for 4000 x 4000 pixels\n"),
        every(patched(patched(rle, 18, 4000), 22, 4000),
              damaged + "too little data for 4000 x 4000 pixels\n", 16),
        every(patched(patched(eight, 18, 65536), 22, 10923), tooLarge + "65536 x 10923 pixels\n"),
        every(patched(eight, 18, 4097), texture + "4097 x 9 pixels, at most 4096 per side\n")};
    auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto filesBefore = openFiles();
    for (const Case& c : cases) {
        auto run = [&] {
            return load(c.file, c.fallback, c.name, c.reduceTo, c.everyBitmap, c.unreadable);
        };
        Load l = c.boundMiB == 0 ? run() : Load{};
        if (c.boundMiB > 0) {
            const BoundedLoad b = loadInBoundedChild(run, c.boundMiB);
            l.printed = b.printed;
            EXPECT_TRUE(b.peakMiB >= 0 && b.peakMiB <= c.boundMiB) << b.peakMiB << " " << b.printed;
            EXPECT_TRUE(b.read.empty() && b.pixels.empty()) << c.message;
        }
        // A message ending in "..." is a library's, whose words vary.
        const size_t kept = c.message.rfind("...") == c.message.size() - 3 ? c.message.size() - 3
                                                                           : std::string::npos;
        EXPECT_EQ(l.printed.substr(0, kept), c.message.substr(0, kept));
        EXPECT_TRUE(l.read.empty() && l.image.pixels == nullptr) << c.message;
    }
    EXPECT_EQ(openFiles(), filesBefore); // every file closed again
}

// Large interlaced pictures, written pass by pass without their pixels ever
// held, reduced within memory far below their RGB size: exactly the block
// average. Pixel (x, y) is white where both x's and y's pattern say so, the
// patterns changing every 500 pixels, so that each output pixel has its own
// count and a pixel summed in the wrong place or not at all shows.
bool patternX(std::uint32_t x) {
    return x % 8 < 1 + x / 500 % 7;
}
bool patternY(std::uint32_t y) {
    return y % 8 != y / 500 % 8;
}

void appendPng(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

Bytes interlacedPatternPng(std::uint32_t side) {
    Bytes file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &file, appendPng, nullptr);
    png_set_IHDR(png, info, side, side, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    const int passes = png_set_interlace_handling(png);
    Bytes row((side + 7) / 8);
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < side; ++y) {
            std::fill(row.begin(), row.end(), 0);
            for (std::uint32_t x = 0; patternY(y) && x < side; ++x) {
                row[x / 8] |= patternX(x) ? 0x80 >> x % 8 : 0;
            }
            png_write_row(png, row.data()); // libpng takes this pass's pixels
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

int appendGif(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

Bytes interlacedPatternGif(int side) {
    Bytes file;
    int error = 0;
    GifFileType* gif = EGifOpen(&file, appendGif, &error);
    GifColorType colours[2] = {{0, 0, 0}, {255, 255, 255}};
    ColorMapObject* map = GifMakeMapObject(2, colours);
    EGifPutScreenDesc(gif, side, side, 1, 0, map);
    EGifPutImageDesc(gif, 0, 0, side, side, true, nullptr);
    std::vector<GifPixelType> line(side);
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
        for (int y = start; y < side; y += step) {
            for (int x = 0; x < side; ++x) {
                line[x] = patternX(x) && patternY(y);
            }
            EGifPutLine(gif, line.data(), side);
        }
    }
    GifFreeMapObject(map);
    EGifCloseFile(gif, &error);
    return file;
}

TEST(PictureReader, ReducesLargeInterlacedPicturesInBoundedMemory) {
    const struct {
        Bytes file;
        int side, reduceTo;
        long boundMiB; // the whole picture held: 183 MiB of RGB, 34 MiB of indices
    } cases[] = {{interlacedPatternPng(8000), 8000, 16, 16},
                 {interlacedPatternGif(6000), 6000, 16, 8}};
    for (const auto& c : cases) {
        const int box = c.side / c.reduceTo;
        Bytes expected;
        for (int outY = c.reduceTo - 1; outY >= 0; --outY) {
            for (int outX = 0; outX < c.reduceTo; ++outX) {
                long across = 0, down = 0;
                for (int i = 0; i < box; ++i) {
                    across += patternX(outX * box + i);
                    down += patternY(outY * box + i);
                }
                const long area = long(box) * box;
                expected.insert(
                    expected.end(), 3,
                    static_cast<unsigned char>((255 * across * down + area / 2) / area));
            }
        }
        const BoundedLoad b =
            loadInBoundedChild([&] { return load(c.file, {}, path, c.reduceTo); }, c.boundMiB);
        EXPECT_EQ(std::tie(b.read, b.printed, b.width, b.height),
                  std::make_tuple("@", "", c.reduceTo, c.reduceTo));
        EXPECT_TRUE(b.peakMiB >= 0 && b.peakMiB <= c.boundMiB) << b.peakMiB;
        EXPECT_EQ(b.pixels, expected);
    }
}

// Each level from the one above at GL's sizes, odd sides too: every pixel
// within rounding of the exact area average, fractions of pixels included.
TEST(Mipmap, EachLevelIsTheAreaAverageOfTheOneAbove) {
    const struct {
        int width, height, belowWidth, belowHeight;
    } cases[] = {{8, 6, 4, 3}, {7, 5, 3, 2}, {5, 3, 2, 1}, {3, 2, 1, 1},
                 {1, 7, 1, 3}, {9, 1, 4, 1}, {2, 2, 1, 1}, {1024, 478, 512, 239}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        Bytes pixels = photoLikePicture(c.width, c.height); // sums of every remainder
        const BitmapImage above{c.width, c.height, pixels.data()};
        BitmapImage below;
        ASSERT_TRUE(halveForMipmap(above, &below));
        ASSERT_EQ(std::make_pair(below.width, below.height),
                  std::make_pair(c.belowWidth, c.belowHeight));
        const double spanX = double(c.width) / below.width, spanY = double(c.height) / below.height;
        auto share = [](int pixel, double from, double to) {
            return std::max(0.0, std::min(pixel + 1.0, to) - std::max(double(pixel), from));
        };
        double worst = 0;
        for (int y = 0; y < below.height; ++y) {
            for (int x = 0; x < below.width; ++x) {
                for (int channel = 0; channel < 3; ++channel) {
                    double sum = 0;
                    for (int row = int(y * spanY); row < (y + 1) * spanY; ++row) {
                        for (int column = int(x * spanX); column < (x + 1) * spanX; ++column) {
                            sum += share(row, y * spanY, (y + 1) * spanY) *
                                   share(column, x * spanX, (x + 1) * spanX) *
                                   pixels[(size_t(row) * c.width + column) * 3 + channel];
                        }
                    }
                    const double exact = sum / (spanX * spanY);
                    worst = std::max(
                        worst, std::abs(below.pixels[(size_t(y) * below.width + x) * 3 + channel] -
                                        exact));
                }
            }
        }
        EXPECT_LE(worst, 0.5 + 1e-9);
        std::free(below.pixels);
    }
}

// Written under a temporary name and renamed once whole: an existing file
// keeps its bytes until then, and a failed write leaves nothing.
TEST(PngWriter, WritesWholeFilesOrNone) {
    std::filesystem::create_directories(folder);
    const std::string target = (folder / "view.png").string();
    const Bytes older = {'o', 'l', 'd'};
    const int width = 64, height = 48;
    const Bytes rgb = cropped(makeMarble(64), 64, width, height);
    Bytes rgba;
    for (size_t i = 0; i < rgb.size(); i += 3) { // a view's edge: alpha falls off to the right
        rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], uint8_t(i / 3 % 64 * 4)});
    }
    auto write = [&](const std::string& to, bool replace, int stream = -1, bool alpha = false) {
        const Bytes before = readFile(target);
        PngOutput png;
        bool written =
            startPng(png, to, stream, width, height, alpha, {{"Comment", "--turn 1"}}, !replace);
        for (int y = height - 1; written && y >= 0; --y) {
            written = writePngRows(
                png, alpha ? &rgba[size_t(y) * width * 4] : &rgb[size_t(y) * width * 3], 1);
            EXPECT_EQ(readFile(target), before); // untouched until the end
        }
        written = written && completePng(png) && (replace ? placePng(png) : placePngAsNew(png, to));
        const std::string error = png.error;
        discardPng(png);
        return written ? std::string() : error;
    };
    auto leftovers = [] { return std::distance(std::filesystem::directory_iterator(folder), {}); };
    ASSERT_TRUE(writeFile(target, older));
    const auto filesBefore = leftovers();
    EXPECT_EQ(write(target, false), std::strerror(EEXIST));
    EXPECT_EQ(write((folder / "none" / "view.png").string(), true), std::strerror(ENOENT));
    const int full = open("/dev/full", O_WRONLY);
    EXPECT_EQ(write("-", true, full), std::strerror(ENOSPC));
    EXPECT_EQ(leftovers(), filesBefore);
    EXPECT_EQ(readFile(target), older);

    // Opaque, every row Paeth's and zlib's run-length strategy at level 1;
    // with alpha, libpng's pick of filter per row and zlib's filtered
    // strategy at level 5: the very bytes zlib gives at those settings.
    for (const auto& [alpha, strategy, level] :
         {std::tuple{true, Z_FILTERED, 5}, {false, Z_RLE, 1}}) {
        EXPECT_EQ(write(target, true, -1, alpha), "");
        const Bytes png = readFile(target);
        Bytes deflated, rows(size_t(height) * (width * (alpha ? 4 : 3) + 1)),
            again(rows.size() * 2);
        for (size_t at = 8, length = 0; at + 8 <= png.size(); at += 12 + length) {
            length = size_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
            if (std::equal(&png[at + 4], &png[at + 8], "IDAT")) {
                deflated.insert(deflated.end(), &png[at + 8], &png[at + 8] + length);
            }
        }
        uLongf size = rows.size();
        ASSERT_EQ(uncompress(rows.data(), &size, deflated.data(), deflated.size()), Z_OK);
        std::set<int> filters;
        for (size_t row = 0; row < rows.size(); row += rows.size() / height) {
            filters.insert(rows[row]);
        }
        EXPECT_TRUE(alpha ? filters.size() > 1 : filters == std::set<int>{4}) << *filters.begin();
        z_stream zlib = {};
        ASSERT_EQ(deflateInit2(&zlib, level, Z_DEFLATED, (deflated[0] >> 4) + 8, 8, strategy),
                  Z_OK);
        zlib.next_in = rows.data(), zlib.avail_in = uInt(rows.size());
        zlib.next_out = again.data(), zlib.avail_out = uInt(again.size());
        EXPECT_EQ(deflate(&zlib, Z_FINISH), Z_STREAM_END);
        again.resize(zlib.total_out);
        deflateEnd(&zlib);
        EXPECT_EQ(again, deflated) << (alpha ? "transparent" : "opaque");
    }
    const Load l = load(readFile(target)); // the opaque one
    ASSERT_NE(l.image.pixels, nullptr);
    EXPECT_EQ(Bytes(l.image.pixels, l.image.pixels + rgb.size()), rgb);
    std::free(l.image.pixels);
    struct stat status = {};
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask); // as any file the user makes
}

} // namespace
