// Walking the marker segments of a JPEG byte stream in front of its scan data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ByteSource.h"

namespace korvale {

// What the marker walk does with bytes where a marker belongs: the readers of a JPEG differ in
// this, so each says its own rule. Stop: the walk ends at anything but 0xFF, and a second 0xFF
// is the marker's code (the header probe). FillThenStop: 0xFF fill bytes before a code are
// passed over, anything else ends the walk (the copy in memory). SkipToMarker: everything up to
// the next 0xFF and the fill bytes after it are passed over, as decoders resynchronise (the
// in-place stamp).
enum class JpegGaps { Stop, FillThenStop, SkipToMarker };

// Why a marker walk ended.
enum class JpegWalkEnd { Visitor, Stray, RanOut };

struct JpegMarker {
    uint8_t code = 0;
    uint64_t markerAt = 0;  // the 0xFF before the code
    uint64_t lengthAt = 0;  // the byte after the code, where a segment's length field is
};

// The one JPEG marker walk: from `from` (just past SOI), every marker is handed to `visit`,
// which reads what it needs and returns where the next marker is looked for, or nullopt to end
// the walk.
template <typename Visit>
JpegWalkEnd WalkJpegMarkers(ByteSource& source, uint64_t from, JpegGaps gaps, Visit&& visit) {
    uint64_t at = from;
    for (;;) {
        uint8_t byte = 0;
        if (!source.ReadAt(at, &byte, 1)) {
            return JpegWalkEnd::RanOut;
        }
        if (byte != 0xFF) {
            if (gaps != JpegGaps::SkipToMarker) {
                return JpegWalkEnd::Stray;
            }
            ++at;
            continue;
        }
        JpegMarker marker;
        marker.markerAt = at;
        uint64_t codeAt = at + 1;
        if (!source.ReadAt(codeAt, &marker.code, 1)) {
            return JpegWalkEnd::RanOut;
        }
        while (gaps != JpegGaps::Stop && marker.code == 0xFF) {
            marker.markerAt = codeAt++;
            if (!source.ReadAt(codeAt, &marker.code, 1)) {
                return JpegWalkEnd::RanOut;
            }
        }
        marker.lengthAt = codeAt + 1;
        const std::optional<uint64_t> next = visit(marker);
        if (!next) {
            return JpegWalkEnd::Visitor;
        }
        at = *next;
    }
}

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
