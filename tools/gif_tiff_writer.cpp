#include "gif_tiff_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gif_lib.h>
#include <map>
#include <string>
#include <tiffio.h>

namespace {

using Bytes = std::vector<unsigned char>;

// The inputs are the tools' own: any library error ends the program.
void need(bool done, const char* what) {
    if (!done) {
        std::fprintf(stderr, "cannot encode: %s failed\n", what);
        std::exit(1);
    }
}

// A picture as palette indices, top row first, and its colours.
struct Indexed {
    std::vector<GifColorType> colours;
    Bytes indices;
};

const unsigned char* pixelAt(const Bytes& rgb, int width, int height, int x, int y) {
    return &rgb[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
}

Indexed indexColours(int width, int height, const Bytes& rgb) {
    Indexed out;
    std::map<std::uint32_t, unsigned char> known;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = pixelAt(rgb, width, height, x, y);
            const auto [at, added] =
                known.emplace(p[0] << 16 | p[1] << 8 | p[2], out.colours.size());
            if (added && out.colours.size() == 256) {
                // Too many: a 6 x 7 x 6 cube, each colour at its cell's centre.
                out.colours.clear();
                for (int i = 0; i < 6 * 7 * 6; ++i) {
                    out.colours.push_back({static_cast<GifByteType>((i / 42 * 2 + 1) * 255 / 12),
                                           static_cast<GifByteType>((i / 6 % 7 * 2 + 1) * 255 / 14),
                                           static_cast<GifByteType>((i % 6 * 2 + 1) * 255 / 12)});
                }
                out.indices.clear();
                for (int cy = 0; cy < height; ++cy) {
                    for (int cx = 0; cx < width; ++cx) {
                        const unsigned char* c = pixelAt(rgb, width, height, cx, cy);
                        out.indices.push_back(static_cast<unsigned char>(
                            c[0] * 6 / 256 * 42 + c[1] * 7 / 256 * 6 + c[2] * 6 / 256));
                    }
                }
                return out;
            }
            if (added) {
                out.colours.push_back({p[0], p[1], p[2]});
            }
            out.indices.push_back(at->second);
        }
    }
    return out;
}

int appendGif(GifFileType* gif, const GifByteType* bytes, int length) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), bytes, bytes + length);
    return length;
}

// Where the first image descriptor starts: after the screen, its colour
// map and the extensions.
size_t firstImageAt(const Bytes& gif) {
    size_t at = 13 + (gif[10] & 0x80 ? 3u << ((gif[10] & 7) + 1) : 0);
    while (at < gif.size() && gif[at] == 0x21) {
        for (at += 2; at < gif.size() && gif[at] != 0; at += gif[at] + 1) {
        }
        ++at;
    }
    return at;
}

void putLe16(Bytes& bytes, size_t at, unsigned value) {
    bytes[at] = static_cast<unsigned char>(value);
    bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}

} // namespace

Bytes encodeGif(int width, int height, const Bytes& rgb, GifLayout layout) {
    const Indexed picture = indexColours(width, height, rgb);
    std::vector<GifColorType> colours = picture.colours;
    colours.resize(size_t{1} << GifBitSize(static_cast<int>(colours.size())));
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    std::reverse(colours.begin(), colours.end());
    ColorMapObject* reversed = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGif, &error);
    need(gif != nullptr && map != nullptr, "EGifOpen");
    EGifSetGifVersion(gif, layout.transparent >= 0);
    const bool local = layout.map == GifLayout::local || layout.map == GifLayout::both;
    ColorMapObject* screenMap = layout.map == GifLayout::both ? reversed : local ? nullptr : map;
    need(EGifPutScreenDesc(gif, layout.screenWidth > 0 ? layout.screenWidth : width,
                           layout.screenHeight > 0 ? layout.screenHeight : height, 8,
                           layout.background, screenMap) != GIF_ERROR,
         "EGifPutScreenDesc");
    for (int frame = 0; frame < (layout.secondFrame ? 2 : 1); ++frame) {
        if (layout.transparent >= 0) {
            GraphicsControlBlock control = {DISPOSAL_UNSPECIFIED, false, 10, layout.transparent};
            GifByteType extension[4];
            const size_t length = EGifGCBToExtension(&control, extension);
            need(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length),
                                  extension) != GIF_ERROR,
                 "EGifPutExtension");
        }
        need(EGifPutImageDesc(gif, frame == 0 ? layout.left : 0, frame == 0 ? layout.top : 0, width,
                              height, layout.interlaced, local ? map : nullptr) != GIF_ERROR,
             "EGifPutImageDesc");
        // Interlaced rows go in the order of the four passes; the second
        // frame is the first upside down.
        static const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < (layout.interlaced ? 4 : 1); ++pass) {
            const int start = layout.interlaced ? starts[pass] : 0;
            for (int y = start; y < height; y += layout.interlaced ? steps[pass] : 1) {
                const int stored = frame == 0 ? y : height - 1 - y;
                Bytes row(picture.indices.begin() + static_cast<std::ptrdiff_t>(stored) * width,
                          picture.indices.begin() +
                              static_cast<std::ptrdiff_t>(stored + 1) * width);
                need(EGifPutLine(gif, row.data(), width) != GIF_ERROR, "EGifPutLine");
            }
        }
    }
    need(EGifCloseFile(gif, &error) != GIF_ERROR, "EGifCloseFile");
    GifFreeMapObject(map);
    GifFreeMapObject(reversed);
    if (layout.map == GifLayout::none) {
        // giflib writes no file without a colour map: the global one is
        // taken out afterwards.
        const size_t mapBytes = 3u << ((out[10] & 7) + 1);
        out.erase(out.begin() + 13, out.begin() + 13 + static_cast<std::ptrdiff_t>(mapBytes));
        out[10] &= 0x7f;
    }
    return out;
}

void patchGifSize(Bytes& gif, unsigned width, unsigned height) {
    const size_t image = firstImageAt(gif);
    for (const size_t at : {size_t{6}, image + 5}) {
        putLe16(gif, at, width);
        putLe16(gif, at + 2, height);
    }
}

namespace {

// A TIFF written to memory: libtiff seeks back to write the directory.
struct MemoryFile {
    Bytes bytes;
    std::uint64_t at = 0;
};

tmsize_t readMemory(thandle_t handle, void* data, tmsize_t length) {
    auto* file = static_cast<MemoryFile*>(handle);
    const auto available =
        static_cast<tmsize_t>(file->at < file->bytes.size() ? file->bytes.size() - file->at : 0);
    const tmsize_t done = std::min(length, available);
    std::memcpy(data, file->bytes.data() + file->at, static_cast<size_t>(done));
    file->at += static_cast<std::uint64_t>(done);
    return done;
}

tmsize_t writeMemory(thandle_t handle, void* data, tmsize_t length) {
    auto* file = static_cast<MemoryFile*>(handle);
    const size_t end = file->at + static_cast<size_t>(length);
    file->bytes.resize(std::max(file->bytes.size(), end));
    std::memcpy(file->bytes.data() + file->at, data, static_cast<size_t>(length));
    file->at = end;
    return length;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<MemoryFile*>(handle);
    file->at = (whence == SEEK_CUR   ? file->at
                : whence == SEEK_END ? file->bytes.size()
                                     : 0) +
               offset;
    return file->at;
}

int closeMemory(thandle_t) {
    return 0;
}

toff_t memorySize(thandle_t handle) {
    return static_cast<MemoryFile*>(handle)->bytes.size();
}

int mapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

// Samples of `bits` bits packed into rows, most significant first; 16, 32
// and 64-bit samples in the machine's order, as libtiff takes them. Values
// are 8-bit levels, scaled to the depth, or a palette's indices as they are.
struct SampleRows {
    int bits;
    bool floating, stretched, indices;
    Bytes bytes;
    size_t bitsUsed = 0;

    template <typename Wide> void putWide(Wide value) {
        bytes.resize(bytes.size() + sizeof value);
        std::memcpy(&bytes[bytes.size() - sizeof value], &value, sizeof value);
    }
    void put(unsigned level) {
        if (floating) {
            const double value = stretched ? level * 1.5 / 255 - 0.25 : level / 255.0;
            if (bits == 64) {
                putWide(value);
            } else if (bits == 32) {
                putWide(static_cast<float>(value));
            } else {
                putWide(toHalf(value));
            }
            return;
        }
        const unsigned largest = (1u << bits) - 1,
                       value = indices ? level : (level * largest + 127) / 255;
        if (bits == 16) {
            putWide(static_cast<std::uint16_t>(value));
            return;
        }
        for (int bit = bits - 1; bit >= 0; --bit, ++bitsUsed) {
            if (bitsUsed % 8 == 0) {
                bytes.push_back(0);
            }
            bytes.back() |= static_cast<unsigned char>((value >> bit & 1) << (7 - bitsUsed % 8));
        }
    }
    void endRow() { bitsUsed = 0; }
    // Rounded to nearest; the values written are normal or zero.
    static std::uint16_t toHalf(double value) {
        const std::uint16_t sign = value < 0 ? 0x8000 : 0;
        value = std::fabs(value);
        if (value < 1.0 / 16384) {
            return sign;
        }
        int exponent = 0;
        const double fraction = std::frexp(value, &exponent); // 0.5 .. 1
        auto mantissa = static_cast<unsigned>(std::lround(fraction * 2048));
        if (mantissa == 2048) {
            mantissa = 1024;
            ++exponent;
        }
        return static_cast<std::uint16_t>(sign | (exponent + 14) << 10 | (mantissa - 1024));
    }
};

} // namespace

Bytes encodeTiff(int width, int height, const Bytes& rgb, TiffLayout layout) {
    static const int samplesOf[] = {3, 1, 1, 4, 4};
    static const std::uint16_t compressions[] = {COMPRESSION_NONE, COMPRESSION_LZW,
                                                 COMPRESSION_ADOBE_DEFLATE, COMPRESSION_PACKBITS,
                                                 COMPRESSION_JPEG};
    const int samples = samplesOf[layout.kind];
    const int planes = layout.separatePlanes ? samples : 1;
    const bool jpeg = layout.compression == TiffLayout::jpeg;
    MemoryFile file;
    const std::string mode =
        std::string("w") + (layout.bigEndian ? "b" : "l") + (layout.bigTiff ? "8" : "");
    TIFF* tiff = TIFFClientOpen("memory", mode.c_str(), &file, readMemory, writeMemory, seekMemory,
                                closeMemory, memorySize, mapNothing, unmapNothing);
    need(tiff != nullptr, "TIFFClientOpen");
    static const std::uint16_t photometrics[] = {PHOTOMETRIC_RGB, PHOTOMETRIC_MINISBLACK,
                                                 PHOTOMETRIC_PALETTE, PHOTOMETRIC_SEPARATED,
                                                 PHOTOMETRIC_RGB};
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(layout.bitDepth));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(samples));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG,
                 layout.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, compressions[layout.compression]);
    if (layout.floating) {
        TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    }
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC,
                 jpeg && layout.kind == TiffLayout::rgb ? PHOTOMETRIC_YCBCR
                                                        : photometrics[layout.kind]);
    if (jpeg) {
        TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, 90);
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (layout.orientation != 0) {
        TIFFSetField(tiff, TIFFTAG_ORIENTATION, static_cast<std::uint16_t>(layout.orientation));
    }
    if (layout.kind == TiffLayout::rgbAlpha) {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (layout.kind == TiffLayout::cmyk) {
        TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
    }
    std::map<std::uint32_t, unsigned> paletteIndex;
    if (layout.kind == TiffLayout::palette) {
        std::vector<std::uint16_t> red(size_t{1} << layout.bitDepth), green(red.size()),
            blue(red.size());
        for (size_t i = 0; i < rgb.size(); i += 3) {
            const std::uint32_t key = rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2];
            const unsigned scale = layout.eightBitColourMap ? 1 : 257;
            if (paletteIndex.emplace(key, paletteIndex.size()).second) {
                red[paletteIndex.size() - 1] = static_cast<std::uint16_t>(rgb[i] * scale);
                green[paletteIndex.size() - 1] = static_cast<std::uint16_t>(rgb[i + 1] * scale);
                blue[paletteIndex.size() - 1] = static_cast<std::uint16_t>(rgb[i + 2] * scale);
            }
        }
        TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    const int tileSide = layout.tileSide;
    if (layout.tiled) {
        TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tileSide);
        TIFFSetField(tiff, TIFFTAG_TILELENGTH, tileSide);
    } else {
        TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP,
                     static_cast<std::uint32_t>(jpeg ? std::max(layout.rowsPerStrip, 16)
                                                     : layout.rowsPerStrip));
    }

    // Each plane's samples, top row first.
    std::vector<SampleRows> plane(static_cast<size_t>(planes),
                                  SampleRows{layout.bitDepth,
                                             layout.floating,
                                             layout.stretched,
                                             layout.kind == TiffLayout::palette,
                                             {}});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = pixelAt(rgb, width, height, x, y);
            const int light = std::max({p[0], p[1], p[2]});
            unsigned values[4] = {p[0], p[1], p[2],
                                  (static_cast<unsigned>(y * width + x) * 37u + 11u) & 0xff};
            if (layout.kind == TiffLayout::grey) {
                values[0] = p[0];
            } else if (layout.kind == TiffLayout::palette) {
                values[0] = paletteIndex[p[0] << 16 | p[1] << 8 | p[2]];
            } else if (layout.kind == TiffLayout::cmyk) {
                for (int c = 0; c < 3; ++c) {
                    values[c] = light == 0 ? 255u : 255u - (p[c] * 255u + light / 2) / light;
                }
                values[3] = 255u - light;
            }
            for (int s = 0; s < samples; ++s) {
                plane[static_cast<size_t>(layout.separatePlanes ? s : 0)].put(values[s]);
            }
        }
        for (SampleRows& rows : plane) {
            rows.endRow();
        }
    }
    for (int s = 0; s < planes; ++s) {
        Bytes& data = plane[static_cast<size_t>(s)].bytes;
        const size_t rowBytes = data.size() / static_cast<size_t>(height);
        const auto sample = static_cast<std::uint16_t>(s);
        if (!layout.tiled) {
            for (int y = 0; y < height; ++y) {
                need(TIFFWriteScanline(tiff, &data[rowBytes * y], static_cast<std::uint32_t>(y),
                                       sample) == 1,
                     "TIFFWriteScanline");
            }
            continue;
        }
        const auto tileRowBytes = static_cast<size_t>(TIFFTileRowSize(tiff));
        Bytes tile(static_cast<size_t>(TIFFTileSize(tiff)));
        for (int top = 0; top < height; top += tileSide) {
            for (int left = 0; left < width; left += tileSide) {
                std::fill(tile.begin(), tile.end(), 0);
                const size_t from = tileRowBytes * static_cast<size_t>(left / tileSide);
                for (int y = top; y < std::min(height, top + tileSide); ++y) {
                    const size_t length = std::min(tileRowBytes, rowBytes - from);
                    std::memcpy(&tile[tileRowBytes * (y - top)], &data[rowBytes * y + from],
                                length);
                }
                need(TIFFWriteTile(tiff, tile.data(), static_cast<std::uint32_t>(left),
                                   static_cast<std::uint32_t>(top), 0, sample) >= 0,
                     "TIFFWriteTile");
            }
        }
    }
    TIFFClose(tiff);
    return file.bytes;
}

void patchTiffSize(Bytes& tiff, std::uint32_t width, std::uint32_t height) {
    auto le = [&](size_t at, int length) {
        std::uint32_t value = 0;
        for (int i = length - 1; i >= 0; --i) {
            value = value << 8 | tiff[at + static_cast<size_t>(i)];
        }
        return value;
    };
    const size_t directory = le(4, 4);
    for (size_t entry = directory + 2; entry < directory + 2 + 12 * le(directory, 2); entry += 12) {
        const std::uint32_t tag = le(entry, 2);
        if (tag == TIFFTAG_IMAGEWIDTH || tag == TIFFTAG_IMAGELENGTH) {
            // As a LONG, which holds any size.
            putLe16(tiff, entry + 2, TIFF_LONG);
            const std::uint32_t value = tag == TIFFTAG_IMAGEWIDTH ? width : height;
            putLe16(tiff, entry + 8, value & 0xffff);
            putLe16(tiff, entry + 10, value >> 16);
        }
    }
}
