#include "picture/read/formats.h"

int loadHeif(const PictureFile& picture, BitmapImage* /*image*/) {
    return refuseDamaged(picture, "not read yet");
}
