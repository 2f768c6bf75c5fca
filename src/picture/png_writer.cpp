#include "picture/png_writer.h"

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

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

void writeData(png_structp png, png_bytep data, size_t length) {
    auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, output->file) != length) {
        output->error = std::strerror(errno);
        png_error(png, "write failed");
    }
}

void flushData(png_structp png) {
    auto* output = static_cast<PngOutput*>(png_get_io_ptr(png));
    std::fflush(output->file);
}

bool fail(PngOutput& output, int error) {
    output.error = std::strerror(error);
    return false;
}

// A file in the same folder as path, so that renaming it there cannot
// cross file systems; readable as a file the user made would be.
std::FILE* openTemporaryFile(PngOutput& output) {
    const size_t slash = output.path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : output.path.substr(0, slash + 1);
    const std::string name =
        slash == std::string::npos ? output.path : output.path.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        fail(output, errno);
        return nullptr;
    }
    output.temporaryPath = pattern;
    const mode_t mask = umask(0);
    umask(mask);
    std::FILE* file = fchmod(descriptor, 0666 & ~mask) == 0 ? fdopen(descriptor, "wb") : nullptr;
    if (file == nullptr) {
        fail(output, errno);
        close(descriptor);
    }
    return file;
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
    png_write_info(png, info);
    return true;
}

} // namespace

bool startPng(PngOutput& output, const std::string& path, int stream, int width, int height,
              bool alpha, const PngText& text) {
    output.path = path;
    output.file = path == "-" ? fdopen(stream, "wb") : openTemporaryFile(output);
    if (output.file == nullptr) {
        return output.error.empty() ? fail(output, errno) : false;
    }
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, onPngError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    output.png = png;
    output.info = info;
    if (info == nullptr) {
        return fail(output, ENOMEM);
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
    std::FILE* file = output.file;
    output.file = nullptr;
    // On disk before it takes the place of an older file.
    const bool written =
        std::fflush(file) == 0 && (output.temporaryPath.empty() || fsync(fileno(file)) == 0);
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        return fail(output, written ? errno : error);
    }
    return true;
}

bool placePng(PngOutput& output, const std::string& path, bool replace) {
    if (output.temporaryPath.empty()) {
        return true; // the stream has no name to give
    }
    if (replace) {
        if (std::rename(output.temporaryPath.c_str(), path.c_str()) != 0) {
            return fail(output, errno);
        }
    } else if (link(output.temporaryPath.c_str(), path.c_str()) == 0) {
        unlink(output.temporaryPath.c_str());
    } else if (errno != EPERM && errno != EOPNOTSUPP) {
        return fail(output, errno);
    } else {
        // A file system without hard links (FAT, say): look, then rename.
        struct stat existing;
        if (lstat(path.c_str(), &existing) == 0) {
            errno = EEXIST;
            return fail(output, errno);
        }
        if (std::rename(output.temporaryPath.c_str(), path.c_str()) != 0) {
            return fail(output, errno);
        }
    }
    output.temporaryPath.clear();
    return true;
}

void discardPng(PngOutput& output) {
    png_structp png = pngOf(output);
    png_infop info = infoOf(output);
    png_destroy_write_struct(&png, &info);
    output.png = output.info = nullptr;
    if (output.file != nullptr) {
        std::fclose(output.file);
        output.file = nullptr;
    }
    if (!output.temporaryPath.empty()) {
        unlink(output.temporaryPath.c_str());
        output.temporaryPath.clear();
    }
}
