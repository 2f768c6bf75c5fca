// Lists the formats the program reads, from its own table, for the files
// made at build time and the README's table:
//   format-list mime|mediatypes|names-and|names-or|readme
#include <cstdio>
#include <cstring>
#include <string>

#include "picture/picture.h"

namespace {

// Calls take(type) for each MIME type of each format, in the table's order.
template <typename Take> void eachMimeType(Take take) {
    for (size_t i = 0; i < pictureFormatCount; ++i) {
        std::string types = pictureFormats[i].mimeTypes;
        for (size_t start = 0, end = 0; start < types.size(); start = end + 1) {
            end = types.find(';', start);
            end = end == std::string::npos ? types.size() : end;
            take(types.substr(start, end - start));
        }
    }
}

const char* const storedAs[] = {"PNG", "JPEG", "JPEG if lossy, else PNG"};

} // namespace

int main(int argc, char** argv) {
    const std::string what = argc == 2 ? argv[1] : "";
    if (what == "mime") {
        eachMimeType([](const std::string& type) { std::printf("%s;", type.c_str()); });
        std::printf("\n");
    } else if (what == "mediatypes") {
        eachMimeType([](const std::string& type) {
            std::printf("    <mediatype>%s</mediatype>\n", type.c_str());
        });
    } else if (what == "names-and" || what == "names-or") {
        std::printf("%s\n", pictureFormatNames(what == "names-and" ? " and " : " or ").c_str());
    } else if (what == "readme") {
        std::printf(
            "| Format | First bytes | MIME types | In a model |\n| --- | --- | --- | --- |\n");
        for (size_t i = 0; i < pictureFormatCount; ++i) {
            const PictureFormat& format = pictureFormats[i];
            std::string types = format.mimeTypes;
            for (size_t at = 0; (at = types.find(';', at)) != std::string::npos; at += 2) {
                types.replace(at, 1, ", ");
            }
            std::printf("| %s | %s | %s | %s |\n", format.name, format.firstBytes, types.c_str(),
                        storedAs[format.compression]);
        }
    } else {
        std::fprintf(stderr, "usage: format-list mime|mediatypes|names-and|names-or|readme\n");
        return 2;
    }
    return 0;
}
