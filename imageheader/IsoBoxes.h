// Boxes of the ISO base media file format (HEIF, AVIF, the JPEG XL container): a bounded walk
// over a byte source, one box header at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ByteSource.h"

namespace korvale {

constexpr uint32_t FourCc(const char (&name)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(name[3]));
}

struct IsoBox {
    uint32_t type = 0;
    uint64_t start = 0;  // the box's first byte
    uint64_t body = 0;   // the first byte after its header
    uint64_t end = 0;    // one past its last byte
};

// The header of the box at `at`, which must end at or before `limit`. A size of 0 (to the end)
// takes `limit`. False when the header cannot be read or the size does not fit.
bool ReadIsoBox(ByteSource& source, uint64_t at, uint64_t limit, IsoBox& box);

// Hands each box from `begin` up to `end` to `visit` (which returns false to stop), at most
// `maxBoxes` of them. False when a box header was damaged; the boxes before it were visited.
template <typename Visit>
bool ForEachIsoBox(ByteSource& source, uint64_t begin, uint64_t end, int maxBoxes, Visit&& visit) {
    uint64_t at = begin;
    for (int i = 0; i < maxBoxes && at < end; ++i) {
        IsoBox box;
        if (!ReadIsoBox(source, at, end, box)) {
            return false;
        }
        if (!visit(box)) {
            return true;
        }
        at = box.end;
    }
    return true;
}

uint16_t IsoBe16(const uint8_t* p);
uint32_t IsoBe32(const uint8_t* p);
// A big-endian unsigned field of 0, 1, 2, 4 or 8 bytes.
uint64_t IsoBeN(const uint8_t* p, unsigned bytes);

// A reader of big-endian fields inside one box, failing (and staying failed) past its end.
class BoxReader {
public:
    BoxReader(ByteSource& source, uint64_t at, uint64_t end)
        : source_(source), at_(at), end_(end) {}
    uint64_t Read(unsigned bytes) {
        uint8_t field[8] = {};
        if (!ok_ || bytes > 8 || end_ - at_ < bytes || !source_.ReadAt(at_, field, bytes)) {
            ok_ = false;
            return 0;
        }
        at_ += bytes;
        return IsoBeN(field, bytes);
    }
    void Skip(uint64_t bytes) {
        if (end_ - at_ < bytes) {
            ok_ = false;
        } else {
            at_ += bytes;
        }
    }
    bool ok() const { return ok_; }
    uint64_t at() const { return at_; }

private:
    ByteSource& source_;
    uint64_t at_;
    uint64_t end_;
    bool ok_ = true;
};

// Appends a box of `type` holding `size` bytes, with a 64-bit size where 32 bits do not hold it.
void AppendIsoBox(std::vector<uint8_t>& out, uint32_t type, const uint8_t* payload, size_t size);

}  // namespace korvale
