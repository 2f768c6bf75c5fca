// The EXIF orientation through the system's libexif. A damaged block is
// read as far as libexif can; whatever it cannot give means "as stored".
#include <cstring>
#include <libexif/exif-data.h>
#include <vector>

#include "picture/read/formats.h"

namespace {

constexpr unsigned char exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

int orientationOf(ExifData* exif) {
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 ||
        entry->size < 2 || entry->data == nullptr) {
        return 1;
    }
    const int orientation = exif_get_short(entry->data, exif_data_get_byte_order(exif));
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

} // namespace

int exifOrientation(const unsigned char* data, size_t size) {
    // libexif finds the block by the header JPEG puts before it; PNG's
    // chunk starts at the TIFF header, so it gets one.
    std::vector<unsigned char> withHeader;
    if (size < sizeof exifHeader || std::memcmp(data, exifHeader, sizeof exifHeader) != 0) {
        withHeader.assign(exifHeader, exifHeader + sizeof exifHeader);
        withHeader.insert(withHeader.end(), data, data + size);
        data = withHeader.data();
        size = withHeader.size();
    }
    ExifData* exif = exif_data_new();
    if (exif == nullptr) {
        return 1;
    }
    exif_data_load_data(exif, data, static_cast<unsigned int>(size));
    const int orientation = orientationOf(exif);
    exif_data_unref(exif);
    return orientation;
}
