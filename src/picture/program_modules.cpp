#include "picture/program_modules.h"

#include <dlfcn.h>
#include <unistd.h>

namespace {

// The folder the running program lies in, with its final '/'.
std::string programFolder() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return "";
    }
    const std::string program(path, static_cast<size_t>(length));
    return program.substr(0, program.rfind('/') + 1);
}

} // namespace

void* openProgramModule(const std::string& module) {
    const std::string folder = programFolder();
    void* handle = nullptr;
    for (const std::string& at : {folder + OVRIK_INSTALLED_MODULES "/" + module, folder + module}) {
        handle = handle != nullptr ? handle : dlopen(at.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    return handle;
}
