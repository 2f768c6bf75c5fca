// GIF through the system's giflib: the first frame as it shows on the
// logical screen, whose size is the picture's. What the frame leaves
// uncovered shows the background colour of the global colour map, black
// without one; a frame reaching beyond the screen is clipped to it.
// Transparent pixels show the colour they store: the logo stays opaque, as
// it does for PNG's alpha. Rows go to the row layout as they are decoded.
// An interlaced frame's rows arrive out of order: reduced, each is summed at
// the reduced size as it comes; kept at its size, the frame is held whole,
// one palette index per pixel.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>

#include "picture/read/formats.h"
#include "picture/read/row_layout.h"

namespace {

// The descriptor stays open: loadPicture closes the file it opened.
int readFromFile(GifFileType* gif, GifByteType* bytes, int length) {
    return static_cast<int>(std::fread(bytes, 1, static_cast<size_t>(std::max(length, 0)),
                                       static_cast<std::FILE*>(gif->UserData)));
}

// An LZW code is at most 12 bits and stands for at most 4096 pixels, once
// the code table is full and is never cleared again.
constexpr double lzwPixelsPerByte = 4096.0 * 8 / 12;

const char* gifReason(int error) {
    const char* text = GifErrorString(error);
    return text != nullptr ? text : "unknown giflib error";
}

// Skips the extensions before the first image and reads its descriptor. A
// graphics control block only marks transparency or timing, which a still
// opaque picture has no use for.
bool readFirstDescriptor(GifFileType* gif) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (type != IMAGE_DESC_RECORD_TYPE) {
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            return false;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            gif->Error = D_GIF_ERR_NO_IMAG_DSCR;
            return false;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
                return false;
            }
            while (block != nullptr) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                    return false;
                }
            }
        }
    }
    return DGifGetImageDesc(gif) != GIF_ERROR;
}

// The screen one row at a time: its background, and the part of the frame
// that lies on it.
struct Screen {
    std::uint32_t width = 0, height = 0;
    std::uint32_t left = 0, top = 0;               // the frame's corner on the screen
    std::uint32_t shownWidth = 0, shownHeight = 0; // the frame's pixels on the screen
    // R, G, B and a spare byte, so that each pixel is one 4-byte store;
    // black beyond the colour map's end.
    std::uint32_t palette[256] = {};
    std::uint64_t packed[256] = {}; // the same for the row layout's sums
    unsigned char background[3] = {};
};

void fillPalette(Screen& screen, const ColorMapObject& map) {
    const int colours = std::min(map.ColorCount, 256);
    for (int i = 0; i < colours; ++i) {
        const unsigned char rgb[4] = {map.Colors[i].Red, map.Colors[i].Green, map.Colors[i].Blue};
        std::memcpy(&screen.palette[i], rgb, 4);
        screen.packed[i] = packColour(rgb);
    }
}

void fillBackground(const Screen& screen, unsigned char* out, std::uint32_t pixels) {
    for (std::uint32_t x = 0; x < pixels; ++x, out += 3) {
        std::memcpy(out, screen.background, 3);
    }
}

// One screen row; indices are the frame's shown pixels on it, or null
// where the frame does not reach.
void paintRow(const Screen& screen, const GifPixelType* indices, unsigned char* row) {
    if (indices == nullptr) {
        fillBackground(screen, row, screen.width);
        return;
    }
    fillBackground(screen, row, screen.left);
    if (screen.shownWidth > 0) {
        unsigned char* out = row + static_cast<size_t>(screen.left) * 3;
        const std::uint32_t last = screen.shownWidth - 1; // its spare byte would pass the row's end
        for (std::uint32_t x = 0; x < last; ++x, out += 3) {
            std::memcpy(out, &screen.palette[indices[x]], 4);
        }
        std::memcpy(out, &screen.palette[indices[last]], 3);
    }
    const std::uint32_t right = screen.left + screen.shownWidth;
    fillBackground(screen, row + size_t{right} * 3, screen.width - right);
}

bool isFrameRow(const Screen& screen, std::uint32_t y) {
    return y >= screen.top && y - screen.top < screen.shownHeight;
}

// Rows in the order they are stored, each painted as soon as it is read;
// a frame as wide as the screen goes to the layout as indices.
bool streamRows(GifFileType* gif, const Screen& screen, GifPixelType* line, RowLayout& layout) {
    const bool screenWide = screen.left == 0 && screen.shownWidth == screen.width;
    for (std::uint32_t y = 0; y < screen.height; ++y) {
        const bool inFrame = isFrameRow(screen, y);
        if (inFrame && DGifGetLine(gif, line, gif->Image.Width) == GIF_ERROR) {
            return false;
        }
        if (inFrame && screenWide) {
            addIndexedRow(layout, line, screen.packed);
            continue;
        }
        unsigned char* row = nextRowTarget(layout);
        paintRow(screen, inFrame ? line : nullptr, row);
        addRow(layout, row);
    }
    return true;
}

// Rows 0, 8, 16...; 4, 12...; 2, 6...; then the odd ones, each decoded into
// line and handed to take(y) where it lies on the screen.
template <typename Take>
bool readPasses(GifFileType* gif, const Screen& screen, GifPixelType* line, Take take) {
    static const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
    const auto frameHeight = static_cast<std::uint32_t>(gif->Image.Height);
    for (int pass = 0; pass < 4; ++pass) {
        for (std::uint32_t y = starts[pass]; y < frameHeight; y += steps[pass]) {
            if (DGifGetLine(gif, line, gif->Image.Width) == GIF_ERROR) {
                return false;
            }
            if (y < screen.shownHeight) {
                take(y);
            }
        }
    }
    return true;
}

// The shown part of each row is kept until the frame is whole.
bool readInterlaced(GifFileType* gif, const Screen& screen, GifPixelType* line,
                    GifPixelType* held) {
    return readPasses(gif, screen, line, [&](std::uint32_t y) {
        std::memcpy(held + size_t{y} * screen.shownWidth, line, screen.shownWidth);
    });
}

// The reduced screen summed pass by pass: the background where the frame
// does not reach first, then each frame row as it arrives.
bool sumInterlaced(GifFileType* gif, const Screen& screen, GifPixelType* line, unsigned char* row,
                   PassSums& sums) {
    paintRow(screen, nullptr, row);
    for (std::uint32_t y = 0; y < screen.height; ++y) {
        if (!isFrameRow(screen, y)) {
            addPassPixels(sums, y, row, 0, 1);
        }
    }
    const bool read = readPasses(gif, screen, line, [&](std::uint32_t y) {
        paintRow(screen, line, row);
        addPassPixels(sums, screen.top + y, row, 0, 1);
    });
    if (read) {
        layOutPassSums(sums);
    }
    return read;
}

int readFrame(const PictureFile& picture, GifFileType* gif, const ColorMapObject& map,
              BitmapImage* image) {
    const GifImageDesc& frame = gif->Image;
    Screen screen;
    screen.width = static_cast<std::uint32_t>(std::max(gif->SWidth, 0));
    screen.height = static_cast<std::uint32_t>(std::max(gif->SHeight, 0));
    if (screen.width == 0 || screen.height == 0) {
        char reason[80];
        std::snprintf(reason, sizeof reason, "empty picture: %u x %u pixels", screen.width,
                      screen.height);
        return refuseDamaged(picture, reason);
    }
    // The frame's rows are all decoded, and the screen's are all laid out:
    // a file must hold as much as LZW would need for the larger of the two,
    // so a few bytes cannot claim a screen of gigabytes around a dot.
    const double pixels = std::max(static_cast<double>(frame.Width) * frame.Height,
                                   static_cast<double>(screen.width) * screen.height);
    if (!acceptClaimedSize(picture, screen.width, screen.height, pixels / lzwPixelsPerByte)) {
        return 0;
    }
    screen.left = std::min(static_cast<std::uint32_t>(frame.Left), screen.width);
    screen.top = std::min(static_cast<std::uint32_t>(frame.Top), screen.height);
    screen.shownWidth =
        std::min(static_cast<std::uint32_t>(frame.Width), screen.width - screen.left);
    // A frame without columns has no rows to decode either.
    screen.shownHeight = frame.Width > 0 ? std::min(static_cast<std::uint32_t>(frame.Height),
                                                    screen.height - screen.top)
                                         : 0;
    fillPalette(screen, map);
    const ColorMapObject* global = gif->SColorMap;
    if (global != nullptr && gif->SBackGroundColor >= 0 &&
        gif->SBackGroundColor < global->ColorCount) {
        const GifColorType& colour = global->Colors[gif->SBackGroundColor];
        screen.background[0] = colour.Red;
        screen.background[1] = colour.Green;
        screen.background[2] = colour.Blue;
    }

    RowLayout layout;
    PassSums sums;
    auto* line = static_cast<GifPixelType*>(std::malloc(std::max(frame.Width, 1)));
    const bool interlaced = frame.Interlace && screen.shownHeight > 0;
    const std::uint32_t target = reductionTarget(picture);
    const bool summed = interlaced && isReduced(screen.width, screen.height, target);
    const size_t heldBytes = static_cast<size_t>(screen.shownWidth) * screen.shownHeight;
    auto* held = interlaced && !summed
                     ? static_cast<GifPixelType*>(std::malloc(std::max<size_t>(heldBytes, 1)))
                     : nullptr;
    // cppcheck 2.10 takes the flag for a value this overwrites.
    // cppcheck-suppress redundantInitialization
    auto* summedRow =
        summed ? static_cast<unsigned char*>(std::malloc(size_t{screen.width} * 3)) : nullptr;
    int result = 0;
    if (line == nullptr || (interlaced && !summed && held == nullptr) ||
        (summed && summedRow == nullptr)) {
        refuseForLackOfMemory(picture);
    } else if (summed) {
        if (startPassSums(picture, sums, image, screen.width, screen.height, target, 1)) {
            result = sumInterlaced(gif, screen, line, summedRow, sums)
                         ? 1
                         : refuseDamaged(picture, gifReason(gif->Error));
        }
    } else if (startLayout(picture, layout, image, screen.width, screen.height, target, 1)) {
        bool read = true;
        if (!interlaced) {
            read = streamRows(gif, screen, line, layout);
        } else if ((read = readInterlaced(gif, screen, line, held))) {
            for (std::uint32_t y = 0; y < screen.height; ++y) {
                unsigned char* row = nextRowTarget(layout);
                const bool inFrame = isFrameRow(screen, y);
                paintRow(screen,
                         inFrame ? held + size_t{y - screen.top} * screen.shownWidth : nullptr,
                         row);
                addRow(layout, row);
            }
        }
        result = read ? 1 : refuseDamaged(picture, gifReason(gif->Error));
    }
    endLayout(layout);
    endPassSums(sums);
    std::free(line);
    std::free(held);
    std::free(summedRow);
    return result;
}

// Without any colour table, the indices show as a ramp of greys from black
// to white over as many entries as the screen descriptor's size field
// gives, as image editors show such a file.
ColorMapObject* greyRamp(int sizeBits) {
    const int colours = 1 << (sizeBits + 1);
    ColorMapObject* map = GifMakeMapObject(colours, nullptr);
    for (int i = 0; map != nullptr && i < colours; ++i) {
        const auto grey = static_cast<GifByteType>(i * 255 / (colours - 1));
        map->Colors[i] = {grey, grey, grey};
    }
    return map;
}

int readFirstFrame(const PictureFile& picture, GifFileType* gif, int sizeBits, BitmapImage* image) {
    if (!readFirstDescriptor(gif)) {
        return refuseDamaged(picture, gifReason(gif->Error));
    }
    const GifImageDesc& frame = gif->Image;
    ColorMapObject* ramp =
        frame.ColorMap == nullptr && gif->SColorMap == nullptr ? greyRamp(sizeBits) : nullptr;
    const ColorMapObject* map = frame.ColorMap != nullptr   ? frame.ColorMap
                                : gif->SColorMap != nullptr ? gif->SColorMap
                                                            : ramp;
    if (map == nullptr) {
        return refuseForLackOfMemory(picture);
    }
    const int result = readFrame(picture, gif, *map, image);
    GifFreeMapObject(ramp);
    return result;
}

} // namespace

int loadGif(const PictureFile& picture, BitmapImage* image) {
    // The screen descriptor's size field, which giflib keeps only with a
    // global colour table.
    unsigned char head[11] = {};
    const int sizeBits =
        std::fread(head, 1, sizeof head, picture.file) == sizeof head ? head[10] & 7 : 7;
    std::rewind(picture.file);
    int error = 0;
    GifFileType* gif = DGifOpen(picture.file, readFromFile, &error);
    if (gif == nullptr) {
        return refuseDamaged(picture, gifReason(error));
    }
    const int result = readFirstFrame(picture, gif, sizeBits, image);
    DGifCloseFile(gif, &error);
    return result;
}
