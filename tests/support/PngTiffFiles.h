// Byte builders for PNG chunks and classic TIFF files, for the header tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace korvale::test {

// A PNG byte stream chunk by chunk; every chunk gets its correct CRC.
class PngBuilder {
public:
    PngBuilder& Signature();
    PngBuilder& Ihdr(uint32_t width, uint32_t height);
    PngBuilder& Phys(uint32_t x, uint32_t y, uint8_t unit);
    PngBuilder& Chunk(const std::string& type, const Bytes& data);
    PngBuilder& Idat();  // a few bytes of image data (not decodable)
    PngBuilder& End();
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// Signature, IHDR, then `phys` (when given) and a comment, IDAT and IEND.
Bytes SimplePng(uint32_t width, uint32_t height);
Bytes SimplePngWithPhys(uint32_t width, uint32_t height, uint32_t pixelsPerUnit, uint8_t unit);

// The CRC a PNG chunk carries over `bytes` (its type and data).
uint32_t PngCrc(const uint8_t* bytes, size_t size);

// One IFD0 entry; RATIONAL values are numerator, denominator pairs.
struct TiffField {
    uint16_t tag;
    uint16_t type;
    std::vector<uint32_t> values;
};
constexpr uint16_t kTiffShort = 3;
constexpr uint16_t kTiffLong = 4;
constexpr uint16_t kTiffRational = 5;

// Header, `dataBytes` of strip data from offset 8, IFD0 with the fields in the order given
// (values too long for the entry follow it), next-IFD link 0.
Bytes MakeTiff(bool bigEndian, const std::vector<TiffField>& fields, size_t dataBytes = 16);
// Width and length as SHORT (or LONG), optional XResolution and ResolutionUnit (0: none).
Bytes SimpleTiff(bool bigEndian, uint32_t width, uint32_t height, uint32_t numerator = 0,
                 uint32_t denominator = 0, uint16_t unit = 0, bool longSizes = false);

}  // namespace korvale::test
