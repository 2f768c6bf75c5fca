#include "picture/read/formats.h"

int loadAnyBitmap(const PictureFile& picture, BitmapImage* image) {
    return loadBitmap(picture, image);
}
