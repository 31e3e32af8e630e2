// Finding and loading a module of the program's own.
#include "ProgramModule.h"

#include <dlfcn.h>
#include <unistd.h>

namespace korvale {
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

void* LoadProgramModule(const std::string& file, const char* entry, std::string& error) {
    const std::string folder = ProgramFolder();
    std::string path = folder + "/" + file;
    if (::access(path.c_str(), F_OK) != 0) {
        path = folder + "/" KORVALE_MODULE_DIR "/" + file;
    }
    void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (handle == nullptr) {
        error = ::dlerror();
        return nullptr;
    }
    void* symbol = ::dlsym(handle, entry);
    if (symbol == nullptr) {
        error = ::dlerror();
    }
    return symbol;
}

}  // namespace korvale
