// Files for tests: a private temporary folder, whole-file reads and writes, and byte builders
// for BMP and JPEG headers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace korvale::test {

using Bytes = std::vector<uint8_t>;

// A fresh folder below $TMPDIR (or /tmp), removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

void PutLe16(Bytes& out, uint32_t value);
void PutLe32(Bytes& out, uint32_t value);
void PutBe16(Bytes& out, uint32_t value);
void PutBe32(Bytes& out, uint32_t value);

// An ISO base media box of `type` around `payload`; a full box (version and flags first) when
// `version` is from 0.
Bytes IsoBox(const char* type, const Bytes& payload, int version = -1, uint32_t flags = 0);
// The parts one after another.
Bytes Joined(std::initializer_list<Bytes> parts);

// A BMP file header and info header (no pixels unless `pixelBytes` > 0).
struct BmpSpec {
    uint32_t infoSize = 40;
    int32_t width = 64;
    int32_t height = 48;
    uint32_t compression = 0;
    int32_t pixelsPerMetreX = 3780;
    int32_t pixelsPerMetreY = 3780;
    size_t pixelBytes = 0;
};
Bytes MakeBmp(const BmpSpec& spec);

// One IFD0 entry of an Exif block; `value` is the value field for SHORT entries, and the
// rational for RATIONAL entries is stored after the IFD.
struct ExifEntry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t value;          // SHORT value, or unused for rationals
    uint32_t numerator = 0;  // RATIONAL only
    uint32_t denominator = 0;
};
constexpr uint16_t kExifShort = 3;
constexpr uint16_t kExifRational = 5;
ExifEntry ExifOrientation(uint16_t orientation);
ExifEntry ExifXResolution(uint32_t numerator, uint32_t denominator);
ExifEntry ExifResolutionUnit(uint16_t unit);

// Builds a JPEG byte stream segment by segment.
class JpegBuilder {
public:
    JpegBuilder& Soi();
    JpegBuilder& App0(uint8_t units, uint16_t xDensity, uint16_t yDensity,
                      const std::string& identifier = std::string("JFIF\0\x01\x01", 7));
    // APP1 "Exif\0\0" followed by a TIFF header and IFD0 with `entries`.
    JpegBuilder& App1Exif(bool bigEndian, const std::vector<ExifEntry>& entries);
    JpegBuilder& Segment(uint8_t code, const Bytes& payload);  // length = payload + 2
    JpegBuilder& Frame(uint8_t code, uint16_t height, uint16_t width);
    JpegBuilder& ScanAndEnd();  // SOS, some entropy-coded bytes, EOI
    JpegBuilder& Raw(const Bytes& bytes);
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

}  // namespace korvale::test
