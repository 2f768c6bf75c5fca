// Writing a PNG row by row through the system's libpng, so that a large
// picture is never held whole. A named file is written as output_file.h
// says: under a temporary name, renamed into place once complete, so a
// failed write leaves no partial file and never damages an existing one.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "picture/write/output_file.h"

struct PngOutput {
    OutputFile out;
    void* png = nullptr; // libpng's write and info structures
    void* info = nullptr;
    std::string error; // why the write failed, once it has
};

using PngText = std::vector<std::pair<std::string, std::string>>; // tEXt keyword, text

// How the rows are compressed: libpng's row filters (its PNG_FILTER_* bits)
// and zlib's strategy and level.
struct PngEncoding {
    int filters;
    int strategy;
    int level;
};

// What every PNG the program writes is compressed with, chosen by measuring
// its own views, large flat backgrounds around one textured slab (see the
// README's table).
PngEncoding savedPngEncoding(bool alpha);

// Starts an 8-bit RGB (or RGBA) PNG of width x height with the given tEXt
// chunks, compressed as savedPngEncoding says. path "-" writes to `stream` (standard output's
// descriptor, say) instead of a file. Each call returns false once output.error says why;
// discardPng then removes what was written.
bool startPng(PngOutput& output, const std::string& path, int stream, int width, int height,
              bool alpha, const PngText& text, bool asNew = false);
// rowCount rows, the top one first, each width * 3 (or 4) bytes.
bool writePngRows(PngOutput& output, const unsigned char* rows, int rowCount);
// Completes the PNG, on disk, under its temporary name.
bool completePng(PngOutput& output);
// Gives the completed file its name, replacing what is there.
bool placePng(PngOutput& output);
// Started with asNew: gives the completed file the name `path` only if
// nothing has it (false with errno EEXIST if something has).
bool placePngAsNew(PngOutput& output, const std::string& path);
// Ends the output; removes the temporary file if it is still there.
void discardPng(PngOutput& output);
