// Finding and loading a command module.
#include "CommandModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace korvale::cli {
namespace {

std::string ProgramFolder() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<size_t>(length) >= path.size()) {
        return ".";
    }
    path.resize(static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int RunInModule(const char* module, const char* name, const Arguments& args) {
    const std::string folder = ProgramFolder();
    // Beside the program in the build tree; in the module folder once installed.
    std::string path = folder + "/" + module;
    if (::access(path.c_str(), F_OK) != 0) {
        path = folder + "/" KORVALE_CLI_MODULE_DIR "/" + module;
    }
    // Never closed: the command's static objects and atexit handlers live in it.
    void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "korvale-cli: cannot load %s: %s\n", module, ::dlerror());
        return kExitFailed;
    }
    using Entry = int (*)(const char*, const Arguments&);
    const auto entry = reinterpret_cast<Entry>(::dlsym(handle, KORVALE_CLI_MODULE_ENTRY_NAME));
    if (entry == nullptr) {
        std::fprintf(stderr, "korvale-cli: cannot load %s: %s\n", module, ::dlerror());
        return kExitFailed;
    }
    return entry(name, args);
}

}  // namespace korvale::cli
