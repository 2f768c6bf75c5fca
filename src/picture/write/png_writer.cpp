#include "picture/write/png_writer.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <png.h>
#include <zlib.h>

namespace {

png_structp pngOf(const PngOutput& output) {
    return static_cast<png_structp>(output.png);
}

png_infop infoOf(const PngOutput& output) {
    return static_cast<png_infop>(output.info);
}

// libpng's errors jump back to the call that started the work, with the
// reason kept; a failed write keeps the system's reason instead.
[[noreturn]] void onPngError(png_structp png, png_const_charp message) {
    auto* output = static_cast<PngOutput*>(png_get_error_ptr(png));
    if (output->error.empty()) {
        output->error = message;
    }
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// What the file's own step returned, its reason taken over on failure.
bool fileStep(PngOutput& output, bool done) {
    if (!done) {
        output.error = output.out.error;
    }
    return done;
}

void writeData(png_structp png, png_bytep data, size_t length) {
    auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, output->out.file) != length) {
        output->error = std::strerror(errno);
        png_error(png, "write failed");
    }
}

void flushData(png_structp png) {
    auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
    std::fflush(output->out.file);
}

// Kept apart from startPng: only libpng's frames may lie between setjmp and
// a jump back.
bool writeHeader(PngOutput& output, int width, int height, bool alpha, png_text* chunks,
                 int chunkCount) {
    png_structp png = pngOf(output);
    png_infop info = infoOf(output);
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, &output, writeData, flushData);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_text(png, info, chunks, chunkCount);
    const PngEncoding encoding = savedPngEncoding(alpha);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, encoding.filters);
    png_set_compression_strategy(png, encoding.strategy);
    png_set_compression_level(png, encoding.level);
    png_write_info(png, info);
    return true;
}

} // namespace

PngEncoding savedPngEncoding(bool alpha) {
    // Opaque, Paeth's prediction leaves runs of zeros that zlib's run-length
    // strategy finds at a fraction of the cost of its usual search, in files
    // no larger. With alpha every fourth byte breaks those runs, and only
    // libpng's choice of filter per row with zlib's search keeps the size.
    return alpha ? PngEncoding{PNG_ALL_FILTERS, Z_FILTERED, 5}
                 : PngEncoding{PNG_FILTER_PAETH, Z_RLE, 1};
}

bool startPng(PngOutput& output, const std::string& path, int stream, int width, int height,
              bool alpha, const PngText& text, bool asNew) {
    if (!fileStep(output, openOutputFile(output.out, path, stream, asNew))) {
        return false;
    }
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, onPngError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    output.png = png;
    output.info = info;
    if (info == nullptr) {
        output.error = std::strerror(ENOMEM);
        return false;
    }
    // No time chunk: the same view gives the same bytes.
    std::vector<png_text> chunks(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
        chunks[i].key = const_cast<char*>(text[i].first.c_str());
        chunks[i].text = const_cast<char*>(text[i].second.c_str());
    }
    return writeHeader(output, width, height, alpha, chunks.data(),
                       static_cast<int>(chunks.size()));
}

// Not const: libpng's handlers write why a row failed into output.
// cppcheck-suppress constParameterReference
bool writePngRows(PngOutput& output, const unsigned char* rows, int rowCount) {
    png_structp png = pngOf(output);
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    const size_t rowBytes = png_get_rowbytes(png, infoOf(output));
    for (int y = 0; y < rowCount; ++y) {
        png_write_row(png, rows + rowBytes * static_cast<size_t>(y));
    }
    return true;
}

bool completePng(PngOutput& output) {
    png_structp png = pngOf(output);
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_write_end(png, infoOf(output));
    return fileStep(output, closeOutputFile(output.out));
}

bool placePng(PngOutput& output) {
    return fileStep(output, placeOutputFile(output.out));
}

bool placePngAsNew(PngOutput& output, const std::string& path) {
    return fileStep(output, placeOutputFileAsNew(output.out, path));
}

void discardPng(PngOutput& output) {
    png_structp png = pngOf(output);
    png_infop info = infoOf(output);
    png_destroy_write_struct(&png, &info);
    output.png = output.info = nullptr;
    discardOutputFile(output.out);
}
