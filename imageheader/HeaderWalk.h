// Walks over the BMP header, PNG chunks and TIFF IFD0: where the size and resolution fields are,
// shared by the probe, the pixel layout and the resolution edits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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

// The one reader of TIFF structures, for TIFF files and for the Exif blocks of JPEG and PNG:
// the header's byte order and IFD0 offset (false unless "II" or "MM" and version 42; BigTIFF is
// refused), then one IFD's entries in file order, each handed to `visit` with its tag (`visit`
// returns false to stop). The caller decides what an IFD cut short is worth.
bool ReadTiffHeader(ByteSource& source, TiffLayout& layout);
struct IfdRead {
    int count = -1;  // the entry count; -1 when it could not be read
    int whole = 0;   // entries read whole and visited
    bool complete() const { return count >= 0 && whole == count; }
};
template <typename Visit>
IfdRead ReadIfd(ByteSource& source, const TiffLayout& order, uint64_t offset, Visit&& visit);

// False unless the bytes are a classic TIFF (either byte order, version 42) whose IFD0, with its
// entry count, entries and next-IFD link, can be read whole. BigTIFF is refused.
bool WalkTiff(ByteSource& source, TiffLayout& layout);

// Reads `source` from `base` up to (not including) `end`, as offsets from `base`: an Exif block
// inside a JPEG segment or a PNG chunk, whose offsets count from its own start.
class WindowSource : public ByteSource {
public:
    WindowSource(ByteSource& source, uint64_t base, uint64_t end)
        : source_(source), base_(base), end_(end) {}
    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        const uint64_t length = end_ > base_ ? end_ - base_ : 0;
        return offset <= length && count <= length - offset &&
               source_.ReadAt(base_ + offset, out, count);
    }

private:
    ByteSource& source_;
    uint64_t base_;
    uint64_t end_;
};

template <typename Visit>
IfdRead ReadIfd(ByteSource& source, const TiffLayout& order, uint64_t offset, Visit&& visit) {
    IfdRead result;
    uint8_t countField[2];
    if (!source.ReadAt(offset, countField, sizeof countField)) {
        return result;
    }
    result.count = order.Get16(countField);
    uint64_t at = offset + 2;
    for (int i = 0; i < result.count; ++i, at += 12) {
        uint8_t raw[12];
        if (!source.ReadAt(at, raw, sizeof raw)) {
            return result;
        }
        TiffEntry entry;
        entry.present = true;
        entry.type = order.Get16(raw + 2);
        entry.count = order.Get32(raw + 4);
        entry.at = at;
        std::memcpy(entry.field, raw + 8, 4);
        entry.value = order.Get32(raw + 8);
        ++result.whole;
        if (!visit(order.Get16(raw), entry)) {
            return result;
        }
    }
    return result;
}

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
