// JPEG marker walk over a byte buffer.
#include "JpegSegments.h"

namespace korvale {

JpegHeaderWalk WalkJpegHeader(const uint8_t* data, size_t size) {
    JpegHeaderWalk walk;
    if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) {
        return walk;
    }
    size_t at = 2;
    for (;;) {
        if (at >= size) {
            walk.ranOut = true;
            return walk;
        }
        if (data[at] != 0xFF) {
            return walk;
        }
        size_t codeAt = at + 1;
        while (codeAt < size && data[codeAt] == 0xFF) {
            ++codeAt;  // fill bytes
        }
        if (codeAt >= size) {
            walk.ranOut = true;
            return walk;
        }
        const uint8_t code = data[codeAt];
        const size_t markerAt = codeAt - 1;
        if (code == 0x00 || code == 0xD8 || code == 0xD9) {
            return walk;  // not a marker here, a second SOI, or an image without a scan
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            at = codeAt + 1;  // markers without a length
            continue;
        }
        if (size - codeAt < 3) {
            walk.ranOut = true;
            return walk;
        }
        const size_t length = (static_cast<size_t>(data[codeAt + 1]) << 8) | data[codeAt + 2];
        if (length < 2) {
            return walk;
        }
        if (length - 2 > size - codeAt - 3) {
            walk.ranOut = true;
            return walk;
        }
        if (code == 0xDA) {
            walk.complete = true;
            walk.scanAt = markerAt;
            return walk;
        }
        walk.segments.push_back({code, markerAt, codeAt + 3, length - 2});
        at = codeAt + 1 + length;
    }
}

void AppendSegment(ByteBuffer& out, uint8_t code, const uint8_t* payload, size_t size) {
    const size_t length = size + 2;
    out.insert(out.end(), {0xFF, code, static_cast<uint8_t>(length >> 8),
                           static_cast<uint8_t>(length & 0xFF)});
    out.insert(out.end(), payload, payload + size);
}

}  // namespace korvale
