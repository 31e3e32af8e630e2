// Positional byte access to one regular file.
#include "ByteFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "LinkWalk.h"

namespace korvale {

ByteFile::~ByteFile() {
    Close();
}

bool ByteFile::Open(const std::string& path, Access access) {
    Close();
    // O_NONBLOCK keeps a named pipe from blocking the open; such files are refused below.
    const int flags = (access == Access::Update ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
    int fd;
    if (access == Access::Update) {
        // Written in place: links are followed only as the kernel follows them in shared
        // folders, whatever the machine's setting.
        FileError error;
        fd = OpenForUpdate(path, error);
        errno = error.code;
    } else {
        do {
            fd = ::open(path.c_str(), flags);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        return false;
    }
    size_ = 0;
    if (access == Access::Update) {
        // Reads need no check: a folder, pipe or device fails its first positional read.
        struct stat info {};
        const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        const bool writable = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
        if (!regular || !writable) {
            const int refusal = !regular ? (S_ISDIR(info.st_mode) ? EISDIR : ENXIO) : EACCES;
            ::close(fd);
            errno = refusal;
            return false;
        }
        size_ = static_cast<uint64_t>(info.st_size);
    }
    fd_ = fd;
    position_ = 0;
    cacheStart_ = 0;
    cacheLength_ = 0;
    return true;
}

void ByteFile::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool ByteFile::Fill() {
    if (fd_ < 0 || position_ > static_cast<uint64_t>(INT64_MAX)) {
        return false;
    }
    ssize_t got;
    do {
        got = ::pread(fd_, cache_.data(), cache_.size(), static_cast<off_t>(position_));
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        return false;
    }
    cacheStart_ = position_;
    cacheLength_ = static_cast<size_t>(got);
    return true;
}

size_t ByteFile::Read(void* out, size_t count) {
    auto* target = static_cast<unsigned char*>(out);
    size_t done = 0;
    while (done < count) {
        if (position_ < cacheStart_ || position_ >= cacheStart_ + cacheLength_) {
            if (!Fill()) {
                break;
            }
        }
        const size_t offset = static_cast<size_t>(position_ - cacheStart_);
        const size_t chunk = std::min(count - done, cacheLength_ - offset);
        std::memcpy(target + done, cache_.data() + offset, chunk);
        done += chunk;
        position_ += chunk;
    }
    return done;
}

void ByteFile::Seek(uint64_t position) {
    position_ = position;
}

void ByteFile::Skip(int64_t offset) {
    if (offset < 0 && static_cast<uint64_t>(-offset) > position_) {
        position_ = 0;
    } else {
        position_ += static_cast<uint64_t>(offset);
    }
}

bool ByteFile::Write(const void* data, size_t count) {
    if (fd_ < 0 || position_ > size_ || count > size_ - position_) {
        return false;
    }
    const auto* source = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < count) {
        const ssize_t put =
            ::pwrite(fd_, source + done, count - done, static_cast<off_t>(position_ + done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            break;
        }
        done += static_cast<size_t>(put);
    }
    // Keep the read cache truthful for bytes that were just replaced.
    cacheLength_ = 0;
    position_ += done;
    return done == count;
}

}  // namespace korvale
