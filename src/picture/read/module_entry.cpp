// The one symbol a reader module offers: its reader, OVRIK_MODULE_READER.
#include "picture/read/formats.h"

extern "C" __attribute__((visibility("default"))) int ovrikReadPicture(const PictureFile& picture,
                                                                       BitmapImage* image) {
    return OVRIK_MODULE_READER(picture, image);
}
