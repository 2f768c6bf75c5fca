// libFuzzer entry: arbitrary bytes through loadPicture, the viewer's own
// entry point for every picture format, from a file in memory: once at the
// picture's own size (the marble's way) and once reduced (a named picture's),
// then, as for a named picture, down its chain of mipmap levels; each picture
// read is encoded again as a model file carries it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "picture/picture.h"
#include "picture/write/model_picture.h"

namespace {

// Mesa's software renderer takes 16384 pixels per side.
int largestSide() {
    return 16384;
}

void ignoreLevel(int /*level*/, const BitmapImage& /*pixels*/, void* /*context*/) {}

void loadAndCheck(const char* path, const PictureRequest& request) {
    BitmapImage image;
    if (loadPicture(path, nullptr, request, &image) != nullptr) {
        // A success promises width * height * 3 readable bytes, which is
        // what the texture upload consumes; let ASan check every one.
        const int limit = request.reduceTo > 0 ? request.reduceTo : largestSide();
        if (image.width <= 0 || image.height <= 0 || image.width > limit || image.height > limit ||
            image.pixels == nullptr) {
            std::abort();
        }
        const std::size_t bytes = static_cast<std::size_t>(image.width) * image.height * 3;
        volatile unsigned char sink = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
            sink = sink ^ image.pixels[i];
        }
        // A named picture's mipmap levels, each from the one above.
        if (request.reduceTo > 0 && !makeMipmapLevels(image, ignoreLevel, nullptr)) {
            std::abort();
        }
        // Every picture the reader takes can go into a model file.
        ModelPicture picture;
        std::string error;
        if (!encodeModelPicture(image, image.lossy, picture, error) || picture.bytes.empty()) {
            std::abort();
        }
    } else if (image.pixels != nullptr) {
        std::abort(); // a refusal leaves no pixels behind
    }
    std::free(image.pixels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int memoryFile = memfd_create("fuzz-picture", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(memoryFile);
    if (memoryFile < 0 || ftruncate(memoryFile, 0) != 0 ||
        pwrite(memoryFile, data, size, 0) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    // A small, odd target reaches the reduction, with uneven boxes, from the
    // fuzzer's small pictures.
    for (const PictureRequest& request :
         {PictureRequest{largestSide, 0}, PictureRequest{largestSide, 7, true}}) {
        loadAndCheck(path.c_str(), request);
    }
    return 0;
}
