// BMP header, PNG chunk and TIFF IFD0 walks: a few small reads, nothing past the fields of
// interest.
#include "HeaderWalk.h"

#include <cstring>

#include "TiffTags.h"

namespace korvale {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Ancillary chunks before the image data are few in practice; the bound keeps a file made of
// tiny chunks from costing a read per dozen bytes to its end.
constexpr int kMaxPngChunks = 1024;
constexpr uint32_t kMaxPngValue = 0x7FFFFFFF;

uint32_t Be32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

}  // namespace

std::optional<uint32_t> BmpLayout::Le16At(size_t offset) const {
    if (offset + 2 > presentBytes) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(header[offset] | (header[offset + 1] << 8));
}

std::optional<uint32_t> BmpLayout::Le32At(size_t offset) const {
    if (offset + 4 > presentBytes) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(header[offset]) |
           (static_cast<uint32_t>(header[offset + 1]) << 8) |
           (static_cast<uint32_t>(header[offset + 2]) << 16) |
           (static_cast<uint32_t>(header[offset + 3]) << 24);
}

bool WalkBmp(ByteSource& source, BmpLayout& layout) {
    layout = BmpLayout{};
    constexpr size_t kRequired = 18;
    if (!source.ReadAt(0, layout.header, kRequired) || layout.header[0] != 'B' ||
        layout.header[1] != 'M') {
        return false;
    }
    // The rest as far as the file goes: readers differ in the fields they need.
    layout.presentBytes = kRequired;
    if (source.ReadAt(kRequired, layout.header + kRequired, BmpLayout::kHeaderBytes - kRequired)) {
        layout.presentBytes = BmpLayout::kHeaderBytes;
    } else {
        while (layout.presentBytes < BmpLayout::kHeaderBytes &&
               source.ReadAt(layout.presentBytes, layout.header + layout.presentBytes, 1)) {
            ++layout.presentBytes;
        }
        // A short read may have left bytes past the end.
        std::memset(layout.header + layout.presentBytes, 0,
                    BmpLayout::kHeaderBytes - layout.presentBytes);
    }
    layout.infoSize = *layout.Le32At(14);
    return true;
}

bool WalkPng(ByteSource& source, PngLayout& layout) {
    layout = PngLayout{};
    // Signature, then IHDR: length, type, width, height.
    uint8_t head[24];
    if (!source.ReadAt(0, head, sizeof head) || std::memcmp(head, kPngSignature, 8) != 0 ||
        Be32(head + 8) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0) {
        return false;
    }
    layout.width = Be32(head + 16);
    layout.height = Be32(head + 20);
    if (layout.width < 1 || layout.width > kMaxPngValue || layout.height < 1 ||
        layout.height > kMaxPngValue) {
        return false;
    }
    uint8_t kind[2];
    if (source.ReadAt(24, kind, sizeof kind)) {
        layout.bitDepth = kind[0];
        layout.colourType = kind[1];
    }
    uint64_t at = 8 + 12 + 13;
    for (int chunk = 0; chunk < kMaxPngChunks; ++chunk) {
        uint8_t header[8];
        if (!source.ReadAt(at, header, sizeof header)) {
            break;
        }
        const uint32_t length = Be32(header);
        if (length > kMaxPngValue) {
            break;
        }
        const uint8_t* type = header + 4;
        if (std::memcmp(type, "IDAT", 4) == 0) {
            layout.firstIdat = at;
            break;
        }
        if (std::memcmp(type, "IEND", 4) == 0) {
            break;
        }
        if (std::memcmp(type, "pHYs", 4) == 0 && !layout.hasPhys && !layout.damagedPhys) {
            // Data and CRC: an in-place update writes both.
            uint8_t data[13];
            if (length != 9) {
                layout.damagedPhys = true;
            } else if (source.ReadAt(at + 8, data, sizeof data)) {
                layout.hasPhys = true;
                layout.physAt = at + 8;
                layout.pixelsPerUnitX = Be32(data);
                layout.unit = data[8];
            } else {
                break;
            }
        } else if (std::memcmp(type, "tRNS", 4) == 0) {
            layout.hasTransparency = true;
        } else if (std::memcmp(type, "eXIf", 4) == 0 && layout.exifAt == 0) {
            layout.exifAt = at + 8;
            layout.exifLength = length;
        } else if (std::memcmp(type, "iCCP", 4) == 0 && layout.iccpAt == 0) {
            layout.iccpAt = at + 8;
            layout.iccpLength = length;
        } else if (std::memcmp(type, "iTXt", 4) == 0 && layout.xmpAt == 0) {
            static constexpr char kXmpKey[] = "XML:com.adobe.xmp";  // with its zero
            char key[sizeof kXmpKey];
            if (length >= sizeof key && source.ReadAt(at + 8, key, sizeof key) &&
                std::memcmp(key, kXmpKey, sizeof key) == 0) {
                layout.xmpAt = at + 8;
                layout.xmpLength = length;
            }
        }
        at += 12 + static_cast<uint64_t>(length);
    }
    return true;
}

uint16_t TiffLayout::Get16(const uint8_t* p) const {
    return static_cast<uint16_t>(bigEndian ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8));
}

uint32_t TiffLayout::Get32(const uint8_t* p) const {
    return bigEndian
               ? Be32(p)
               : static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                     (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void TiffLayout::Put16(uint8_t* p, uint16_t value) const {
    p[bigEndian ? 0 : 1] = static_cast<uint8_t>(value >> 8);
    p[bigEndian ? 1 : 0] = static_cast<uint8_t>(value);
}

void TiffLayout::Put32(uint8_t* p, uint32_t value) const {
    for (int i = 0; i < 4; ++i) {
        p[bigEndian ? 3 - i : i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint32_t TiffLayout::ScalarOf(const TiffEntry& entry) const {
    if (!entry.present || entry.count != 1) {
        return 0;
    }
    if (entry.type == 3) {
        return Get16(entry.field);
    }
    return entry.type == 4 ? entry.value : 0;
}

bool ReadTiffHeader(ByteSource& source, TiffLayout& layout) {
    layout = TiffLayout{};
    uint8_t header[8];
    if (!source.ReadAt(0, header, sizeof header)) {
        return false;
    }
    if (header[0] == 'M' && header[1] == 'M') {
        layout.bigEndian = true;
    } else if (header[0] != 'I' || header[1] != 'I') {
        return false;
    }
    if (layout.Get16(header + 2) != 42) {
        return false;
    }
    layout.ifd0 = layout.Get32(header + 4);
    return true;
}

bool WalkTiff(ByteSource& source, TiffLayout& layout) {
    if (!ReadTiffHeader(source, layout) || layout.ifd0 < 8) {
        return false;
    }
    const IfdRead read =
        ReadIfd(source, layout, layout.ifd0, [&layout](uint16_t tag, const TiffEntry& entry) {
            // The first entry of a tag counts; a repeated tag is a damaged file's business.
            TiffEntry* slot = nullptr;
            switch (tag) {
                case tiff::kImageWidth:
                    slot = &layout.width;
                    break;
                case tiff::kImageLength:
                    slot = &layout.height;
                    break;
                case tiff::kOrientation:
                    slot = &layout.orientation;
                    break;
                case tiff::kXResolution:
                    slot = &layout.xResolution;
                    break;
                case tiff::kYResolution:
                    slot = &layout.yResolution;
                    break;
                case tiff::kResolutionUnit:
                    slot = &layout.resolutionUnit;
                    break;
                case 258:
                    slot = &layout.bitsPerSample;
                    break;
                case 277:
                    slot = &layout.samplesPerPixel;
                    break;
                case 262:
                    slot = &layout.photometric;
                    break;
                case tiff::kIccProfile:
                    slot = &layout.iccProfile;
                    break;
                case tiff::kXmlPacket:
                    slot = &layout.xmp;
                    break;
                default:
                    break;
            }
            if (slot != nullptr && !slot->present) {
                *slot = entry;
            }
            return true;
        });
    // An empty IFD0 describes no image.
    if (!read.complete() || read.count == 0) {
        return false;
    }
    layout.entryCount = static_cast<uint16_t>(read.count);
    uint8_t next[4];
    return source.ReadAt(static_cast<uint64_t>(layout.ifd0) + 2 + 12ull * layout.entryCount, next,
                         sizeof next);
}

}  // namespace korvale
