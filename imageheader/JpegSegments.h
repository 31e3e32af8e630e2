// Walking the marker segments of a JPEG byte stream in front of its scan data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvale {

using ByteBuffer = std::vector<uint8_t>;

struct JpegSegment {
    uint8_t code = 0;        // the marker's second byte
    size_t markerAt = 0;     // offset of the 0xFF of the marker
    size_t payloadAt = 0;    // first byte after the length field
    size_t payloadSize = 0;  // length field minus 2
    size_t end() const { return payloadAt + payloadSize; }
};

struct JpegHeaderWalk {
    std::vector<JpegSegment> segments;  // every complete segment before the scan, in order
    bool complete = false;              // reached the start of scan without a fault
    bool ranOut = false;                // stopped because a segment runs past the buffer
    size_t scanAt = 0;                  // offset of the SOS marker when complete
};

// Walks from the start-of-image marker to the start of scan. Fill bytes before a marker are
// passed over; anything else that is not a well-formed segment (a stray byte, a length below 2
// or running past the buffer, an end of image before the scan) stops the walk with
// complete = false, keeping the segments read so far. A buffer that does not start with SOI
// gives no segments.
JpegHeaderWalk WalkJpegHeader(const uint8_t* data, size_t size);

// Bytes 0xFF 0xE0 ... of one marker segment with the given payload (at most 65533 bytes).
void AppendSegment(ByteBuffer& out, uint8_t code, const uint8_t* payload, size_t size);

}  // namespace korvale
