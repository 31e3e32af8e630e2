// Positional reads from a file or from bytes in memory, so that one header walk serves the
// probe, the in-place stamp and the copy made in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ByteFile.h"

namespace korvale {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // True only when all `count` bytes at `offset` were read.
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) = 0;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(ByteFile& file) : file_(file) {}
    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        file_.Seek(offset);
        return file_.Read(out, count) == count;
    }

private:
    ByteFile& file_;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        if (offset > bytes_.size() || count > bytes_.size() - offset) {
            return false;
        }
        if (count != 0) {
            std::memcpy(out, bytes_.data() + offset, count);
        }
        return true;
    }

private:
    const std::vector<uint8_t>& bytes_;
};

}  // namespace korvale
