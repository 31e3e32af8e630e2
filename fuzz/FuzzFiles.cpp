// The scratch folder of the fuzz targets.
#include "FuzzFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <sanitizer/common_interface_defs.h>

namespace korvale::fuzz {
namespace {

std::string MakeScratchFolder() {
    std::string base = "/tmp";
    struct stat info;
    if (::stat("/dev/shm", &info) == 0 && S_ISDIR(info.st_mode) &&
        ::access("/dev/shm", W_OK) == 0) {
        base = "/dev/shm";
    } else if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') {
        base = tmp;
    }
    std::string pattern = base + "/korvale-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("korvale fuzz: mkdtemp");
        std::abort();
    }
    return pattern;
}

const std::string& ScratchFolder();

void RemoveScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchFolder(), ignored);
}

const std::string& ScratchFolder() {
    // Never destroyed: the exit handler that removes the folder runs after static destructors.
    static const std::string* const folder = [] {
        auto* made = new std::string(MakeScratchFolder());
        // Also when a fault ends the run: a long campaign must not fill /dev/shm.
        std::atexit(RemoveScratchFolder);
        __sanitizer_set_death_callback(RemoveScratchFolder);
        return made;
    }();
    return *folder;
}

}  // namespace

std::string ScratchFile(const std::string& name) {
    return ScratchFolder() + "/" + name;
}

void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::perror("korvale fuzz: open");
        std::abort();
    }
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            std::perror("korvale fuzz: write");
            std::abort();
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

void WriteWhole(const std::string& path, const std::vector<uint8_t>& bytes) {
    WriteWhole(path, bytes.data(), bytes.size());
}

std::vector<uint8_t> ReadWhole(const std::string& path) {
    std::vector<uint8_t> bytes;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::perror("korvale fuzz: open");
        std::abort();
    }
    uint8_t buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            std::perror("korvale fuzz: read");
            std::abort();
        }
        if (n == 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    ::close(fd);
    return bytes;
}

}  // namespace korvale::fuzz
