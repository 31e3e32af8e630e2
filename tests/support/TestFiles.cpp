// Files for tests.
#include "TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace korvale::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvale-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + pattern);
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Read-only leftovers of a test must not keep the folder alive.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const {
    return path_ + "/" + name;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PutLe16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(Bytes& out, uint32_t value) {
    PutLe16(out, value & 0xFFFF);
    PutLe16(out, value >> 16);
}

void PutBe16(Bytes& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void PutBe32(Bytes& out, uint32_t value) {
    PutBe16(out, value >> 16);
    PutBe16(out, value & 0xFFFF);
}

Bytes IsoBox(const char* type, const Bytes& payload, int version, uint32_t flags) {
    Bytes box;
    PutBe32(box, static_cast<uint32_t>(payload.size() + (version >= 0 ? 12 : 8)));
    box.insert(box.end(), type, type + 4);
    if (version >= 0) {
        PutBe32(box, uint32_t(version) << 24 | flags);
    }
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

Bytes Joined(std::initializer_list<Bytes> parts) {
    Bytes whole;
    for (const Bytes& part : parts) {
        whole.insert(whole.end(), part.begin(), part.end());
    }
    return whole;
}

Bytes MakeBmp(const BmpSpec& spec) {
    Bytes out = {'B', 'M'};
    const uint32_t headerBytes = 14 + spec.infoSize;
    PutLe32(out, static_cast<uint32_t>(headerBytes + spec.pixelBytes));  // file size
    PutLe32(out, 0);                                                     // reserved
    PutLe32(out, headerBytes);                                           // pixel offset
    PutLe32(out, spec.infoSize);
    if (spec.infoSize == 12) {
        PutLe16(out, static_cast<uint32_t>(spec.width));
        PutLe16(out, static_cast<uint32_t>(spec.height));
        PutLe16(out, 1);   // planes
        PutLe16(out, 24);  // bit count
    } else {
        PutLe32(out, static_cast<uint32_t>(spec.width));
        PutLe32(out, static_cast<uint32_t>(spec.height));
        PutLe16(out, 1);
        PutLe16(out, 24);
        PutLe32(out, spec.compression);
        PutLe32(out, static_cast<uint32_t>(spec.pixelBytes));
        PutLe32(out, static_cast<uint32_t>(spec.pixelsPerMetreX));
        PutLe32(out, static_cast<uint32_t>(spec.pixelsPerMetreY));
        PutLe32(out, 0);  // colours used
        PutLe32(out, 0);  // important colours
        while (out.size() < headerBytes) {
            out.push_back(0);  // the fields of the longer header versions
        }
    }
    out.resize(out.size() + spec.pixelBytes, 0x7F);
    return out;
}

ExifEntry ExifOrientation(uint16_t orientation) {
    return {274, kExifShort, 1, orientation};
}

ExifEntry ExifXResolution(uint32_t numerator, uint32_t denominator) {
    return {282, kExifRational, 1, 0, numerator, denominator};
}

ExifEntry ExifResolutionUnit(uint16_t unit) {
    return {296, kExifShort, 1, unit};
}

JpegBuilder& JpegBuilder::Soi() {
    return Raw({0xFF, 0xD8});
}

JpegBuilder& JpegBuilder::Segment(uint8_t code, const Bytes& payload) {
    bytes_.push_back(0xFF);
    bytes_.push_back(code);
    PutBe16(bytes_, static_cast<uint32_t>(payload.size() + 2));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    return *this;
}

JpegBuilder& JpegBuilder::App0(uint8_t units, uint16_t xDensity, uint16_t yDensity,
                               const std::string& identifier) {
    Bytes payload(identifier.begin(), identifier.end());
    payload.push_back(units);
    PutBe16(payload, xDensity);
    PutBe16(payload, yDensity);
    payload.push_back(0);  // thumbnail width
    payload.push_back(0);  // thumbnail height
    return Segment(0xE0, payload);
}

JpegBuilder& JpegBuilder::App1Exif(bool bigEndian, const std::vector<ExifEntry>& entries) {
    auto put16 = [bigEndian](Bytes& out, uint32_t v) {
        bigEndian ? PutBe16(out, v) : PutLe16(out, v);
    };
    auto put32 = [bigEndian](Bytes& out, uint32_t v) {
        bigEndian ? PutBe32(out, v) : PutLe32(out, v);
    };
    Bytes tiff;
    tiff.push_back(bigEndian ? 'M' : 'I');
    tiff.push_back(bigEndian ? 'M' : 'I');
    put16(tiff, 42);
    put32(tiff, 8);  // IFD0 right after the header
    put16(tiff, static_cast<uint32_t>(entries.size()));
    // Rationals are stored after the IFD and its next-IFD link.
    uint32_t rationalAt = static_cast<uint32_t>(8 + 2 + entries.size() * 12 + 4);
    Bytes rationals;
    for (const ExifEntry& entry : entries) {
        put16(tiff, entry.tag);
        put16(tiff, entry.type);
        put32(tiff, entry.count);
        if (entry.type == kExifRational) {
            put32(tiff, rationalAt + static_cast<uint32_t>(rationals.size()));
            put32(rationals, entry.numerator);
            put32(rationals, entry.denominator);
        } else {
            // A SHORT sits in the first two bytes of the value field.
            put16(tiff, entry.value);
            put16(tiff, 0);
        }
    }
    put32(tiff, 0);  // no next IFD
    tiff.insert(tiff.end(), rationals.begin(), rationals.end());
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return Segment(0xE1, payload);
}

JpegBuilder& JpegBuilder::Frame(uint8_t code, uint16_t height, uint16_t width) {
    Bytes payload = {8};
    PutBe16(payload, height);
    PutBe16(payload, width);
    payload.push_back(3);  // components
    for (uint8_t c = 1; c <= 3; ++c) {
        payload.insert(payload.end(), {c, 0x11, 0});
    }
    return Segment(code, payload);
}

JpegBuilder& JpegBuilder::ScanAndEnd() {
    Segment(0xDA, {3, 1, 0, 2, 0x11, 3, 0x11, 0, 0x3F, 0});
    return Raw({0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD9});
}

JpegBuilder& JpegBuilder::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

}  // namespace korvale::test
