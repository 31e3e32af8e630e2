// Positional byte access to one regular file, with a small read cache so that a header walk of
// reads and seeks costs one or two system calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvale {

class ByteFile {
public:
    enum class Access { Read, Update };

    ByteFile() = default;
    ~ByteFile();
    ByteFile(const ByteFile&) = delete;
    ByteFile& operator=(const ByteFile&) = delete;

    // Opens a regular file. Update access is refused for a file without any write permission
    // bit, so a read-only file is left alone even for a privileged user. On failure errno says
    // why: the system's reason, or for a refused update EISDIR (a folder), ENXIO (another
    // kind of entry) or EACCES (no write permission).
    bool Open(const std::string& path, Access access);
    void Close();

    // Reads up to `count` bytes at the current position and advances past them; fewer at the end
    // of the file or on an error.
    size_t Read(void* out, size_t count);
    void Seek(uint64_t position);
    // Relative seek; a move before the start of the file stops at the start.
    void Skip(int64_t offset);
    uint64_t Tell() const { return position_; }
    // The length at opening; known for Update access only (0 otherwise).
    uint64_t Size() const { return size_; }

    // Writes at the current position, only within the existing file: a write that would extend
    // the file is refused and nothing is written.
    bool Write(const void* data, size_t count);

private:
    bool Fill();

    int fd_ = -1;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    uint64_t cacheStart_ = 0;
    size_t cacheLength_ = 0;
    std::array<unsigned char, 4096> cache_{};
};

}  // namespace korvale
