// The readers whose libraries are heavy (libheif with its codecs, libtiff,
// libjxl) live in modules of their own, opened the first time a picture of
// their format is read, so that the marble's window never loads them. The
// tests, the fuzzer and the benchmarks link the readers in; the program
// takes them from the modules installed beside it.
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>

#include "picture/program_modules.h"
#include "picture/read/formats.h"

namespace {

using Reader = int (*)(const PictureFile&, BitmapImage*);

// Null after the refusal.
Reader openModule(const PictureFile& picture, const char* module) {
    void* handle = openProgramModule(module);
    if (handle == nullptr) {
        refuse(picture, "Cannot read %s: the reader %s is missing (%s)\n", picture.name, module,
               dlerror());
        return nullptr;
    }
    auto reader = reinterpret_cast<Reader>(dlsym(handle, "ovrikReadPicture"));
    if (reader == nullptr) {
        refuse(picture, "Cannot read %s: the reader %s is damaged\n", picture.name, module);
    }
    return reader;
}

// Each module once for the process; a failed open is tried again.
int readWith(Reader linked, Reader& opened, const char* module, const PictureFile& picture,
             BitmapImage* image) {
    if (linked != nullptr) {
        return linked(picture, image);
    }
    opened = opened != nullptr ? opened : openModule(picture, module);
    return opened != nullptr ? opened(picture, image) : 0;
}

Reader heifReader = nullptr, tiffReader = nullptr, jxlReader = nullptr;

} // namespace

int readHeif(const PictureFile& picture, BitmapImage* image) {
    return readWith(loadHeif, heifReader, "ovrik-heif.so", picture, image);
}

int readTiff(const PictureFile& picture, BitmapImage* image) {
    return readWith(loadTiff, tiffReader, "ovrik-tiff.so", picture, image);
}

int readJxl(const PictureFile& picture, BitmapImage* image) {
    return readWith(loadJxl, jxlReader, "ovrik-jxl.so", picture, image);
}
