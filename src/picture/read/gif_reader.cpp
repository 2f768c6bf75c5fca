#include "picture/read/formats.h"

int loadGif(const PictureFile& picture, BitmapImage* /*image*/) {
    return refuseDamaged(picture, "not read yet");
}
