// A TIFF source opened with libtiff, quietly.
#include "TiffOpen.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>

namespace korvale {
namespace {

int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

TiffHandle OpenQuietTiff(const std::string& path, uint64_t* fileSize) {
    // O_NONBLOCK keeps a named pipe from blocking the open; only regular files go on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct stat status {};
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || !options) {
        ::close(fd);
        return nullptr;
    }
    if (fileSize != nullptr) {
        *fileSize = static_cast<uint64_t>(status.st_size);
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Quiet, nullptr);
    // "m": read, never map. Once open, libtiff closes the descriptor; a failed open leaves it.
    TiffHandle tiff(TIFFFdOpenExt(fd, path.c_str(), "rm", options.get()));
    if (!tiff) {
        ::close(fd);
    }
    return tiff;
}

}  // namespace korvale
