// Writes the viewer's marble texture: make-marble OUTPUT.bmp
#include <cstdio>

#include "bitmap_writer.h"
#include "marble.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-marble OUTPUT.bmp\n");
        return 2;
    }
    const int size = 256;
    if (!writeFile(argv[1], encodeBitmap(size, size, makeMarble(size)))) {
        std::fprintf(stderr, "make-marble: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
