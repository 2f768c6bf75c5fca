#include "picture/write/output_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

bool fail(OutputFile& output, int error) {
    output.error = std::strerror(error);
    return false;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Links in /proc (/dev/stdout ends at /proc/self/fd/1) name a descriptor
// that is open already, a pipe or a terminal as often as a file: replacing
// what they point at would send the picture nowhere.
bool isDescriptorLink(const std::string& link) {
    const std::string folder = folderOf(link);
    struct statfs system = {};
    return statfs(folder.empty() ? "." : folder.c_str(), &system) == 0 &&
           system.f_type == PROC_SUPER_MAGIC;
}

// Follows a chain of symbolic links to the file it ends at, each relative
// link read from its own folder. False with errno set when a link cannot be
// read or the chain does not end.
bool followLinks(const std::string& path, std::string& target, bool& descriptor) {
    target = path;
    descriptor = false;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status = {};
        if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            return true; // a file, or nothing yet: the write makes it
        }
        if (isDescriptorLink(target)) {
            descriptor = true;
            return true;
        }
        std::string next(PATH_MAX, '\0');
        const ssize_t length = readlink(target.c_str(), next.data(), next.size());
        if (length < 0) {
            return false;
        }
        next.resize(static_cast<size_t>(length));
        target = next[0] == '/' ? next : folderOf(target) + next;
    }
    errno = ELOOP;
    return false;
}

// A file beside target, so that renaming it there cannot cross file
// systems; readable as a file the user made would be.
bool openTemporaryFile(OutputFile& output) {
    const std::string folder = folderOf(output.target);
    std::string pattern = folder + "." + output.target.substr(folder.size()) + ".XXXXXX";
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) {
        return fail(output, errno);
    }
    output.temporaryPath = pattern;
    const mode_t mask = umask(0);
    umask(mask);
    output.file = fchmod(descriptor, 0666 & ~mask) == 0 ? fdopen(descriptor, "wb") : nullptr;
    if (output.file == nullptr) {
        const int error = errno;
        close(descriptor);
        return fail(output, error);
    }
    return true;
}

} // namespace

bool openOutputFile(OutputFile& output, const std::string& path, int stream, bool asNew) {
    output.path = output.target = path;
    if (path == "-") {
        const int descriptor = dup(stream);
        output.file = descriptor >= 0 ? fdopen(descriptor, "wb") : nullptr;
        if (output.file == nullptr) {
            const int error = errno;
            close(descriptor);
            return fail(output, error);
        }
        return true;
    }
    if (asNew) {
        return openTemporaryFile(output);
    }
    bool descriptor = false;
    if (!followLinks(path, output.target, descriptor)) {
        return fail(output, errno);
    }
    struct stat status = {};
    const bool exists = stat(output.target.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode)) {
        return fail(output, EISDIR);
    }
    if (descriptor || (exists && !S_ISREG(status.st_mode))) {
        // As a shell's > opens it: a FIFO waits for its reader here.
        output.file = std::fopen(path.c_str(), "wb");
        if (output.file == nullptr) {
            return fail(output, errno);
        }
        return true;
    }
    return openTemporaryFile(output);
}

bool closeOutputFile(OutputFile& output) {
    std::FILE* file = output.file;
    output.file = nullptr;
    const bool written =
        std::fflush(file) == 0 && (output.temporaryPath.empty() || fsync(fileno(file)) == 0);
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        return fail(output, written ? errno : error);
    }
    return true;
}

bool placeOutputFile(OutputFile& output) {
    if (output.temporaryPath.empty()) {
        return true; // written in place
    }
    if (std::rename(output.temporaryPath.c_str(), output.target.c_str()) != 0) {
        return fail(output, errno);
    }
    output.temporaryPath.clear();
    return true;
}

bool placeOutputFileAsNew(OutputFile& output, const std::string& path) {
    if (link(output.temporaryPath.c_str(), path.c_str()) == 0) {
        unlink(output.temporaryPath.c_str());
    } else if (errno != EPERM && errno != EOPNOTSUPP) {
        return fail(output, errno);
    } else {
        // A file system without hard links (FAT, say): look, then rename.
        struct stat existing = {};
        if (lstat(path.c_str(), &existing) == 0) {
            errno = EEXIST;
            return fail(output, errno);
        }
        if (std::rename(output.temporaryPath.c_str(), path.c_str()) != 0) {
            return fail(output, errno);
        }
    }
    output.temporaryPath.clear();
    return true;
}

void discardOutputFile(OutputFile& output) {
    if (output.file != nullptr) {
        std::fclose(output.file);
        output.file = nullptr;
    }
    if (!output.temporaryPath.empty()) {
        unlink(output.temporaryPath.c_str());
        output.temporaryPath.clear();
    }
}
