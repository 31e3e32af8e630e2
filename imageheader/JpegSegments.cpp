// JPEG marker walk over a byte buffer.
#include "JpegSegments.h"

#include <cstring>

namespace korvale {

JpegHeaderWalk WalkJpegHeader(const uint8_t* data, size_t size) {
    JpegHeaderWalk walk;
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) {
        return walk;
    }
    class BufferSource : public ByteSource {
    public:
        BufferSource(const uint8_t* bytes, size_t count) : bytes_(bytes), count_(count) {}
        bool ReadAt(uint64_t offset, void* out, size_t count) override {
            if (offset > count_ || count > count_ - offset) {
                return false;
            }
            std::memcpy(out, bytes_ + offset, count);
            return true;
        }

    private:
        const uint8_t* bytes_;
        size_t count_;
    } source(data, size);
    const JpegWalkEnd end = WalkJpegMarkers(
        source, 2, JpegGaps::FillThenStop, [&](const JpegMarker& m) -> std::optional<uint64_t> {
            const uint8_t code = m.code;
            if (code == 0x00 || code == 0xD8 || code == 0xD9) {
                return std::nullopt;  // not a marker here, a second SOI, or no scan at all
            }
            if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
                return m.lengthAt;  // markers without a length
            }
            const size_t codeAt = static_cast<size_t>(m.lengthAt) - 1;
            if (size - codeAt < 3) {
                walk.ranOut = true;
                return std::nullopt;
            }
            const size_t length = (static_cast<size_t>(data[codeAt + 1]) << 8) | data[codeAt + 2];
            if (length < 2) {
                return std::nullopt;
            }
            if (length - 2 > size - codeAt - 3) {
                walk.ranOut = true;
                return std::nullopt;
            }
            if (code == 0xDA) {
                walk.complete = true;
                walk.scanAt = static_cast<size_t>(m.markerAt);
                return std::nullopt;
            }
            walk.segments.push_back(
                {code, static_cast<size_t>(m.markerAt), codeAt + 3, length - 2});
            return codeAt + 1 + length;
        });
    if (end == JpegWalkEnd::RanOut) {
        walk.ranOut = true;
    }
    return walk;
}

void AppendSegment(ByteBuffer& out, uint8_t code, const uint8_t* payload, size_t size) {
    const size_t length = size + 2;
    out.insert(out.end(), {0xFF, code, static_cast<uint8_t>(length >> 8),
                           static_cast<uint8_t>(length & 0xFF)});
    out.insert(out.end(), payload, payload + size);
}

}  // namespace korvale
