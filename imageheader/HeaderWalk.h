// Walks over the BMP header, PNG chunks and TIFF IFD0: where the size and resolution fields are,
// shared by the probe, the pixel layout and the resolution edits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "ByteSource.h"

namespace korvale {

// The fixed part of a BMP header: the file header and a 40-byte info header, 54 bytes.
struct BmpLayout {
    static constexpr size_t kHeaderBytes = 54;
    // The leading bytes of the header that the file holds (18 or more); the rest are 0.
    size_t presentBytes = 0;
    uint8_t header[kHeaderBytes] = {};
    uint32_t infoSize = 0;

    // A little-endian field of the header, or nullopt when the file ends inside it.
    std::optional<uint32_t> Le16At(size_t offset) const;
    std::optional<uint32_t> Le32At(size_t offset) const;
};

// False unless the bytes start with "BM" and hold the info header's size (18 bytes in all).
bool WalkBmp(ByteSource& source, BmpLayout& layout);

struct PngLayout {
    uint32_t width = 0;
    uint32_t height = 0;
    // IHDR's bit depth and colour type; 0 when the file ends before them.
    uint8_t bitDepth = 0;
    uint8_t colourType = 0;
    // A tRNS chunk before the image data: the decoder then adds an alpha channel.
    bool hasTransparency = false;
    // A 9-byte pHYs chunk before the image data; `physAt` is the offset of its data, whose CRC
    // could be read too.
    bool hasPhys = false;
    uint64_t physAt = 0;
    uint32_t pixelsPerUnitX = 0;
    uint8_t unit = 0;
    // A pHYs chunk of any other length: the file is left alone rather than given a second one.
    bool damagedPhys = false;
    // The data of the first eXIf chunk before the image data (a TIFF structure); 0 when none.
    uint64_t exifAt = 0;
    uint32_t exifLength = 0;
    // The data of the first iCCP chunk and of the first iTXt chunk keyed "XML:com.adobe.xmp"
    // before the image data; 0 when none.
    uint64_t iccpAt = 0;
    uint32_t iccpLength = 0;
    uint64_t xmpAt = 0;
    uint32_t xmpLength = 0;
    // Offset of the first IDAT chunk's length field; 0 when the walk ended before it.
    uint64_t firstIdat = 0;
};

// False unless the bytes start with the PNG signature and an IHDR chunk with sides from 1 to
// 2^31 - 1. The chunks after it are walked until the first IDAT, IEND, the end of the bytes or
// a bounded number of chunks; the first pHYs, eXIf, iCCP and XMP iTXt count.
bool WalkPng(ByteSource& source, PngLayout& layout);

// One IFD entry as found: the raw value field in the file's byte order.
struct TiffEntry {
    bool present = false;
    uint16_t type = 0;
    uint32_t count = 0;
    uint64_t at = 0;  // offset of the 12-byte entry
    uint8_t field[4] = {};
    uint32_t value = 0;  // the field as a 32-bit value
};

struct TiffLayout {
    bool bigEndian = false;
    uint32_t ifd0 = 0;
    uint16_t entryCount = 0;
    TiffEntry width;
    TiffEntry height;
    TiffEntry orientation;
    TiffEntry xResolution;
    TiffEntry yResolution;
    TiffEntry resolutionUnit;
    TiffEntry bitsPerSample;
    TiffEntry samplesPerPixel;
    TiffEntry photometric;
    TiffEntry iccProfile;  // InterColorProfile, 34675
    TiffEntry xmp;         // XMLPacket, 700

    uint16_t Get16(const uint8_t* p) const;
    uint32_t Get32(const uint8_t* p) const;
    void Put16(uint8_t* p, uint16_t value) const;
    void Put32(uint8_t* p, uint32_t value) const;
    // A SHORT or LONG of count 1 from its value field; 0 for any other type or count.
    uint32_t ScalarOf(const TiffEntry& entry) const;
};

// False unless the bytes are a classic TIFF (either byte order, version 42) whose IFD0, with its
// entry count, entries and next-IFD link, can be read whole. BigTIFF is refused.
bool WalkTiff(ByteSource& source, TiffLayout& layout);

// A BMP, PNG or TIFF file opened for reading, its header walked: Open is false when the file cannot
// be opened or the walk fails. The source stays usable for reads the layout points to.
template <typename Layout, bool (*Walk)(ByteSource&, Layout&)>
class WalkedFile {
public:
    bool Open(const std::string& path) {
        return file_.Open(path, ByteFile::Access::Read) && Walk(source_, layout_);
    }
    ByteFile& file() { return file_; }
    ByteSource& source() { return source_; }
    const Layout& layout() const { return layout_; }

private:
    ByteFile file_;
    FileSource source_{file_};
    Layout layout_;
};
using WalkedBmp = WalkedFile<BmpLayout, WalkBmp>;
using WalkedPng = WalkedFile<PngLayout, WalkPng>;
using WalkedTiff = WalkedFile<TiffLayout, WalkTiff>;

}  // namespace korvale
