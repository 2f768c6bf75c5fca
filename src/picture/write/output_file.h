// Where a saved picture goes. A new or regular file is written under a
// temporary name beside it and renamed into place once complete, so a
// failed or killed write never leaves a partial file under its name. What
// exists and is not a regular file is written into, never replaced: a
// symbolic link is followed, so the file it names is replaced and the link
// stays; a device, FIFO or socket (or a descriptor named through /proc, such
// as /dev/stdout) is written as a shell's > writes it; a folder is refused.
#pragma once

#include <cstdio>
#include <string>

struct OutputFile {
    std::string path;          // as given; "-" for the stream
    std::string target;        // what the temporary file replaces: links followed
    std::string temporaryPath; // empty while none exists
    std::FILE* file = nullptr;
    std::string error; // why it failed, once it has
};

// Opens path for writing ("-": a duplicate of the descriptor `stream`, so
// that each picture on a stream can be closed on its own). With asNew the
// temporary file goes beside path whatever is there, for
// placeOutputFileAsNew. False with output.error set when it cannot.
bool openOutputFile(OutputFile& output, const std::string& path, int stream, bool asNew = false);

// Flushes and closes the file; one with a temporary name is on disk before
// it takes the place of an older one.
bool closeOutputFile(OutputFile& output);

// Renames the closed temporary file over the target; nothing to do for a
// stream, device or FIFO.
bool placeOutputFile(OutputFile& output);

// Links the closed temporary file to `path` only if nothing has that name
// yet (false with errno EEXIST if something has).
bool placeOutputFileAsNew(OutputFile& output, const std::string& path);

// Closes what is open and removes the temporary file if it is still there.
void discardOutputFile(OutputFile& output);
