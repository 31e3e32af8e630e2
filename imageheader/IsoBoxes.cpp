// The box header reader.
#include "IsoBoxes.h"

namespace korvale {

uint16_t IsoBe16(const uint8_t* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t IsoBe32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

uint64_t IsoBeN(const uint8_t* p, unsigned bytes) {
    uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        value = (value << 8) | p[i];
    }
    return value;
}

bool ReadIsoBox(ByteSource& source, uint64_t at, uint64_t limit, IsoBox& box) {
    uint8_t header[16];
    if (at > limit || limit - at < 8 || !source.ReadAt(at, header, 8)) {
        return false;
    }
    box.start = at;
    box.type = IsoBe32(header + 4);
    uint64_t size = IsoBe32(header);
    box.body = at + 8;
    if (size == 1) {
        if (limit - at < 16 || !source.ReadAt(at + 8, header + 8, 8)) {
            return false;
        }
        size = IsoBeN(header + 8, 8);
        box.body = at + 16;
    } else if (size == 0) {
        size = limit - at;
    }
    if (size < box.body - at || size > limit - at) {
        return false;
    }
    box.end = at + size;
    return true;
}

void AppendIsoBox(std::vector<uint8_t>& out, uint32_t type, const uint8_t* payload, size_t size) {
    const auto put = [&](uint64_t value, int bytes) {
        for (int i = bytes - 1; i >= 0; --i) {
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
    };
    const bool large = size > 0xFFFFFFFFu - 8;
    put(large ? 1 : size + 8, 4);
    put(type, 4);
    if (large) {
        put(uint64_t{size} + 16, 8);
    }
    out.insert(out.end(), payload, payload + size);
}

}  // namespace korvale
