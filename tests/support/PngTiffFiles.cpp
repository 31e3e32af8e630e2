// PNG and TIFF byte builders.
#include "PngTiffFiles.h"

#include <zlib.h>

namespace korvale::test {

uint32_t PngCrc(const uint8_t* bytes, size_t size) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0), bytes, static_cast<uInt>(size)));
}

PngBuilder& PngBuilder::Signature() {
    bytes_.insert(bytes_.end(), {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
    return *this;
}

PngBuilder& PngBuilder::Chunk(const std::string& type, const Bytes& data) {
    PutBe32(bytes_, static_cast<uint32_t>(data.size()));
    Bytes typed(type.begin(), type.end());
    typed.insert(typed.end(), data.begin(), data.end());
    bytes_.insert(bytes_.end(), typed.begin(), typed.end());
    PutBe32(bytes_, PngCrc(typed.data(), typed.size()));
    return *this;
}

PngBuilder& PngBuilder::Ihdr(uint32_t width, uint32_t height) {
    Bytes data;
    PutBe32(data, width);
    PutBe32(data, height);
    data.insert(data.end(), {8, 2, 0, 0, 0});
    return Chunk("IHDR", data);
}

PngBuilder& PngBuilder::Phys(uint32_t x, uint32_t y, uint8_t unit) {
    Bytes data;
    PutBe32(data, x);
    PutBe32(data, y);
    data.push_back(unit);
    return Chunk("pHYs", data);
}

PngBuilder& PngBuilder::Idat() {
    return Chunk("IDAT", {0x78, 0x9C, 0x63, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01});
}

PngBuilder& PngBuilder::End() {
    return Chunk("IEND", {});
}

Bytes SimplePng(uint32_t width, uint32_t height) {
    return PngBuilder()
        .Signature()
        .Ihdr(width, height)
        .Chunk("tEXt", {'a', 0, 'b'})
        .Idat()
        .End()
        .bytes();
}

Bytes SimplePngWithPhys(uint32_t width, uint32_t height, uint32_t pixelsPerUnit, uint8_t unit) {
    return PngBuilder()
        .Signature()
        .Ihdr(width, height)
        .Phys(pixelsPerUnit, pixelsPerUnit, unit)
        .Chunk("tEXt", {'a', 0, 'b'})
        .Idat()
        .End()
        .bytes();
}

namespace {

void Put16(Bytes& out, bool bigEndian, uint32_t value) {
    bigEndian ? PutBe16(out, value) : PutLe16(out, value);
}

void Put32(Bytes& out, bool bigEndian, uint32_t value) {
    bigEndian ? PutBe32(out, value) : PutLe32(out, value);
}

}  // namespace

Bytes MakeTiff(bool bigEndian, const std::vector<TiffField>& fields, size_t dataBytes) {
    Bytes out = bigEndian ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
    Put16(out, bigEndian, 42);
    const size_t ifd = 8 + dataBytes + (dataBytes & 1);
    Put32(out, bigEndian, static_cast<uint32_t>(ifd));
    out.resize(ifd, 0x5A);
    Put16(out, bigEndian, static_cast<uint32_t>(fields.size()));
    size_t valuesAt = ifd + 2 + 12 * fields.size() + 4;
    Bytes values;
    for (const TiffField& field : fields) {
        Put16(out, bigEndian, field.tag);
        Put16(out, bigEndian, field.type);
        const size_t count =
            field.type == kTiffRational ? field.values.size() / 2 : field.values.size();
        Put32(out, bigEndian, static_cast<uint32_t>(count));
        Bytes value;
        for (uint32_t v : field.values) {
            field.type == kTiffShort ? Put16(value, bigEndian, v) : Put32(value, bigEndian, v);
        }
        if (value.size() <= 4) {
            value.resize(4, 0);
            out.insert(out.end(), value.begin(), value.end());
        } else {
            Put32(out, bigEndian, static_cast<uint32_t>(valuesAt + values.size()));
            values.insert(values.end(), value.begin(), value.end());
        }
    }
    Put32(out, bigEndian, 0);
    out.insert(out.end(), values.begin(), values.end());
    return out;
}

Bytes SimpleTiff(bool bigEndian, uint32_t width, uint32_t height, uint32_t numerator,
                 uint32_t denominator, uint16_t unit, bool longSizes) {
    const uint16_t sizeType = longSizes ? kTiffLong : kTiffShort;
    std::vector<TiffField> fields = {{256, sizeType, {width}}, {257, sizeType, {height}}};
    if (numerator != 0 || denominator != 0) {
        fields.push_back({282, kTiffRational, {numerator, denominator}});
        fields.push_back({283, kTiffRational, {numerator, denominator}});
    }
    if (unit != 0) {
        fields.push_back({296, kTiffShort, {unit}});
    }
    return MakeTiff(bigEndian, fields);
}

}  // namespace korvale::test
