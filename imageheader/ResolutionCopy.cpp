// Lossless resolution changes over byte buffers.
#include "ResolutionCopy.h"

#include <algorithm>
#include <cstring>

#include "ExifEdit.h"
#include "HeaderWalk.h"
#include "ResolutionEdit.h"
#include "ResolutionStamp.h"

namespace korvale {

std::optional<ByteBuffer> BmpWithResolution(const ByteBuffer& bmp, uint32_t dpi) {
    MemorySource source(bmp);
    BmpLayout layout;
    if (!WalkBmp(source, layout)) {
        return std::nullopt;
    }
    ByteBuffer out = bmp;
    // The fields are written only when the bytes hold both of them.
    for (const BytePatch& patch : PlanBmpResolution(source, dpi).patches) {
        if (patch.offset <= out.size() && patch.bytes.size() <= out.size() - patch.offset) {
            std::copy(patch.bytes.begin(), patch.bytes.end(),
                      out.begin() + static_cast<std::ptrdiff_t>(patch.offset));
        }
    }
    return out;
}

std::optional<ByteBuffer> JpegWithResolution(const ByteBuffer& jpeg, uint32_t dpi) {
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        return std::nullopt;
    }
    // The densities hold 16 bits; a larger value is written as the largest one, as the stamp does.
    const uint32_t density = std::min<uint32_t>(dpi, 0xFFFF);
    const auto high = static_cast<uint8_t>(density >> 8);
    const auto low = static_cast<uint8_t>(density);
    ByteBuffer out = jpeg;
    const JpegHeaderWalk walk = WalkJpegHeader(out.data(), out.size());
    bool hasJfif = false;
    for (const JpegSegment& s : walk.segments) {
        uint8_t* p = out.data() + s.payloadAt;
        if (s.code == 0xE0 && !hasJfif) {
            // Only a JFIF segment is written; other APP0 kinds keep their own fields.
            if (s.payloadSize >= 14 && std::memcmp(p, "JFIF\0", 5) == 0) {
                const uint8_t fields[5] = {0x01, high, low, high, low};
                std::memcpy(p + 7, fields, sizeof fields);
                hasJfif = true;
            }
        } else if (s.code == 0xE1 && s.payloadSize > 6 && std::memcmp(p, "Exif\0\0", 6) == 0) {
            SetExifResolution(p + 6, s.payloadSize - 6, dpi);
        }
    }
    if (hasJfif) {
        return out;
    }
    // JFIF 1.01, dots per inch, no thumbnail.
    const uint8_t jfif[] = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F',  'I', 'F',  0x00,
                            0x01, 0x01, 0x01, high, low, high, low, 0x00, 0x00};
    out.insert(out.begin() + 2, std::begin(jfif), std::end(jfif));
    return out;
}

}  // namespace korvale
