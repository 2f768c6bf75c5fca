#include "picture/read/formats.h"

int loadWebp(const PictureFile& picture, BitmapImage* /*image*/) {
    return refuseDamaged(picture, "not read yet");
}
