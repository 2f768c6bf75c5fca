#include "picture_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <map>
#include <png.h>
#include <zlib.h>

namespace {

void appendBytes(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

// Packs samples of bitDepth bits into a PNG row, most significant first.
struct RowPacker {
    std::vector<unsigned char>& row;
    int bitDepth;
    int bitsUsed = 0;

    // value is an 8-bit sample, or an index when raw.
    void put(unsigned value, bool raw = false) {
        if (bitDepth == 16) {
            row.push_back(static_cast<unsigned char>(value));
            row.push_back(static_cast<unsigned char>(value)); // v * 257
        } else if (bitDepth == 8) {
            row.push_back(static_cast<unsigned char>(value));
        } else {
            const unsigned sample = raw ? value : value >> (8 - bitDepth);
            if (bitsUsed % 8 == 0) {
                row.push_back(0);
            }
            bitsUsed += bitDepth;
            row.back() |= static_cast<unsigned char>(sample << (8 - bitsUsed % 8) % 8);
        }
    }
};

} // namespace

std::vector<unsigned char> encodePng(int width, int height, const std::vector<unsigned char>& rgb,
                                     PngLayout layout) {
    static const int colourTypes[] = {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_RGB_ALPHA,
                                      PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA,
                                      PNG_COLOR_TYPE_PALETTE};
    std::vector<unsigned char> out;
    // The inputs are the tools' own: any libpng error ends the program.
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendBytes, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                 layout.bitDepth, colourTypes[layout.kind],
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, layout.compression);
    if (layout.orientation != 0) {
        std::vector<unsigned char> exif = exifBlock(layout.orientation, true);
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(exif.size()), exif.data());
    }

    std::map<std::uint32_t, unsigned> paletteIndex;
    std::vector<png_color> palette;
    if (layout.kind == PngLayout::palette) {
        for (size_t i = 0; i < rgb.size(); i += 3) {
            const std::uint32_t key = rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2];
            if (paletteIndex.emplace(key, palette.size()).second) {
                palette.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
            }
        }
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    if (layout.transparency) {
        // Each palette entry its own alpha; otherwise the first pixel's
        // colour is the transparent one.
        std::vector<png_byte> alphas;
        for (size_t i = 0; i < palette.size(); ++i) {
            alphas.push_back(static_cast<png_byte>(i * 37 + 11));
        }
        auto sample = [&](unsigned value) {
            return static_cast<png_uint_16>(
                layout.bitDepth == 16 ? value * 257 : value >> (8 - std::min(8, layout.bitDepth)));
        };
        png_color_16 colour = {0, sample(rgb[0]), sample(rgb[1]), sample(rgb[2]), sample(rgb[0])};
        png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), &colour);
    }
    png_write_info(png, info);

    std::vector<std::vector<unsigned char>> rows(height);
    std::vector<png_bytep> rowPointers;
    for (int y = 0; y < height; ++y) {
        RowPacker packer{rows[y], layout.bitDepth};
        for (int x = 0; x < width; ++x) {
            const size_t pixel = static_cast<size_t>(height - 1 - y) * width + x;
            const unsigned char* p = &rgb[pixel * 3];
            const auto alpha = static_cast<unsigned char>(pixel * 37 + 11);
            switch (layout.kind) {
            case PngLayout::rgb:
            case PngLayout::rgbAlpha:
                packer.put(p[0]);
                packer.put(p[1]);
                packer.put(p[2]);
                break;
            case PngLayout::grey:
            case PngLayout::greyAlpha:
                packer.put(p[0]);
                break;
            case PngLayout::palette:
                packer.put(paletteIndex[p[0] << 16 | p[1] << 8 | p[2]], true);
                break;
            }
            if (layout.kind == PngLayout::rgbAlpha || layout.kind == PngLayout::greyAlpha) {
                packer.put(alpha);
            }
        }
        rowPointers.push_back(rows[y].data());
    }
    png_set_interlace_handling(png);
    png_write_image(png, rowPointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<unsigned char> encodeJpeg(int width, int height, const std::vector<unsigned char>& rgb,
                                      JpegLayout layout) {
    jpeg_compress_struct encoder = {};
    jpeg_error_mgr errors = {};
    encoder.err = jpeg_std_error(&errors); // the tools' own inputs: errors end the program
    jpeg_create_compress(&encoder);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &buffer, &size);
    const bool ink = layout.ink != JpegLayout::none;
    encoder.image_width = static_cast<JDIMENSION>(width);
    encoder.image_height = static_cast<JDIMENSION>(height);
    encoder.input_components = layout.grey ? 1 : ink ? 4 : 3;
    encoder.in_color_space = layout.grey ? JCS_GRAYSCALE : ink ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&encoder);
    if (layout.ink == JpegLayout::ycckAdobe) {
        jpeg_set_colorspace(&encoder, JCS_YCCK);
    }
    if (layout.ink == JpegLayout::cmykPlain) {
        encoder.write_Adobe_marker = FALSE; // set for CMYK by jpeg_set_defaults
    }
    jpeg_set_quality(&encoder, layout.quality, TRUE);
    if (layout.progressive) {
        jpeg_simple_progression(&encoder);
    }
    jpeg_start_compress(&encoder, TRUE);
    if (layout.orientation != 0) {
        std::vector<unsigned char> exif = {'E', 'x', 'i', 'f', 0, 0};
        const std::vector<unsigned char> block = exifBlock(layout.orientation, false);
        exif.insert(exif.end(), block.begin(), block.end());
        jpeg_write_marker(&encoder, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    std::vector<unsigned char> row(static_cast<size_t>(width) * 4);
    while (encoder.next_scanline < encoder.image_height) {
        const size_t top = static_cast<size_t>(height - 1) - encoder.next_scanline;
        const unsigned char* source = &rgb[top * width * 3];
        for (int x = 0; x < width; ++x, source += 3) {
            if (!ink) {
                for (int c = 0; c < encoder.input_components; ++c) {
                    row[x * encoder.input_components + c] = source[c];
                }
                continue;
            }
            const int k = std::max({source[0], source[1], source[2]});
            for (int c = 0; c < 4; ++c) {
                const int inverted = c == 3 ? k : k == 0 ? 0 : (source[c] * 255 + k / 2) / k;
                row[x * 4 + c] = static_cast<unsigned char>(
                    layout.ink == JpegLayout::cmykPlain ? 255 - inverted : inverted);
            }
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&encoder, &rowPointer, 1);
    }
    jpeg_finish_compress(&encoder);
    std::vector<unsigned char> out(buffer, buffer + size);
    std::free(buffer);
    jpeg_destroy_compress(&encoder);
    return out;
}

namespace {

void putBe(std::vector<unsigned char>& bytes, size_t at, unsigned value, int length) {
    for (int i = 0; i < length; ++i) {
        bytes[at + i] = static_cast<unsigned char>(value >> (8 * (length - 1 - i)));
    }
}

} // namespace

std::vector<unsigned char> exifBlock(int orientation, bool bigEndian) {
    // TIFF header, then at offset 8 one directory of one entry: tag 0x0112
    // (orientation), type 3 (16-bit), count 1, the value, no next directory.
    const std::vector<std::pair<unsigned, int>> fields = {{bigEndian ? 0x4d4d : 0x4949, 2},
                                                          {42, 2},
                                                          {8, 4},
                                                          {1, 2},
                                                          {0x0112, 2},
                                                          {3, 2},
                                                          {1, 4},
                                                          {static_cast<unsigned>(orientation), 2},
                                                          {0, 2},
                                                          {0, 4}};
    std::vector<unsigned char> block;
    for (auto [value, length] : fields) {
        for (int i = 0; i < length; ++i) {
            const int shift = bigEndian ? 8 * (length - 1 - i) : 8 * i;
            block.push_back(static_cast<unsigned char>(value >> shift));
        }
    }
    return block;
}

void patchPngSize(std::vector<unsigned char>& png, unsigned width, unsigned height) {
    // Signature (8), IHDR length and type (8), then width and height; the
    // checksum covers the type and the 13 data bytes.
    putBe(png, 16, width, 4);
    putBe(png, 20, height, 4);
    putBe(png, 29, static_cast<unsigned>(crc32(0, &png[12], 17)), 4);
}

void patchJpegSize(std::vector<unsigned char>& jpeg, unsigned width, unsigned height) {
    // The first start-of-frame marker: length (2), precision (1), height, width.
    for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xff && (jpeg[i + 1] == 0xc0 || jpeg[i + 1] == 0xc2)) {
            putBe(jpeg, i + 5, height, 2);
            putBe(jpeg, i + 7, width, 2);
            return;
        }
    }
}
