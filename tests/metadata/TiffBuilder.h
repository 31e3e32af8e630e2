// Builders for the metadata tests: an Exif block with IFD0, the Exif, GPS and thumbnail IFDs,
// ICC profile chunks, and JPEG files with such segments in front of real pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace korvale::test {

constexpr uint16_t kAscii = 2;
constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kRational = 5;
constexpr uint16_t kUndefined = 7;

struct Tag {
    uint16_t tag;
    uint16_t type;
    std::vector<uint32_t> numbers;  // SHORT and LONG values; RATIONAL as numerator, denominator
    std::string bytes = {};         // ASCII and UNDEFINED
};

// Lays out IFD0, then the Exif IFD, the GPS IFD and IFD1 with the thumbnail, each followed by
// its values; the links between them are added as the parts are present.
struct TiffSpec {
    bool bigEndian = false;
    std::vector<Tag> ifd0;
    std::vector<Tag> exif;
    std::vector<Tag> gps;
    std::vector<Tag> ifd1;  // thumbnail offset and length are added when `thumbnail` is set
    Bytes thumbnail;
};
Bytes BuildTiff(const TiffSpec& spec);

// A camera-like block: Orientation, X/YResolution 72 inches, Make, the Exif IFD with pixel
// dimensions, a maker note, a GPS IFD whose latitude holds kGpsMark, and 602 thumbnail bytes.
TiffSpec CameraExif(bool bigEndian, uint16_t orientation, uint32_t width, uint32_t height);
constexpr uint32_t kGpsMark = 0x5A17C0DE;

// A plausible ICC profile of `size` bytes for colour space `space` ("RGB " or "GRAY").
Bytes MakeProfile(size_t size, const char* space = "RGB ");
// APP2 segments (with markers) carrying `profile` in chunks of at most `chunkData` bytes.
Bytes ProfileSegments(const Bytes& profile, size_t chunkData = 65519);

// Encoded pixels (a gradient, so that pixel comparisons mean something).
Bytes EncodedJpeg(int width, int height, int channels = 3);
// `jpeg` with `segments` inserted after its start marker; its JFIF segment removed when
// `dropJfif` (as in camera files).
Bytes WithSegments(const Bytes& jpeg, const Bytes& segments, bool dropJfif);
// One marker segment: 0xFF, code, length, payload.
Bytes SegmentBytes(uint8_t code, const Bytes& payload);
Bytes ExifSegment(const Bytes& tiff);

}  // namespace korvale::test
