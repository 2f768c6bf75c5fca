#include "picture/read/formats.h"

int loadTiff(const PictureFile& picture, BitmapImage* /*image*/) {
    return refuseDamaged(picture, "not read yet");
}
