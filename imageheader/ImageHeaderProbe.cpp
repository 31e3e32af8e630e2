// Header probe for BMP, JPEG (JFIF and Exif), PNG and TIFF files: a handful of reads and seeks
// per file.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "ByteFile.h"
#include "HeaderWalk.h"
#include "ImageFormats.h"
#include "ImageHeader.h"
#include "JpegSegments.h"
#include "TiffTags.h"

namespace korvale {
namespace {

uint16_t Be16(const unsigned char* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

constexpr uint32_t kMaxBmpSide = 0x7FFF;
constexpr int kMaxOtherSegments = 128;

}  // namespace

uint32_t BmpDpiFromPixelsPerMetre(int32_t pixelsPerMetre) {
    if (pixelsPerMetre < 0) {
        return 0;
    }
    // 64 bits: the product leaves the 32-bit range above 8454640 pixels per metre.
    return static_cast<uint32_t>((static_cast<int64_t>(pixelsPerMetre) * 254 + 5000) / 10000);
}

std::optional<ImageHeaderInfo> ProbeBmpHeader(const std::string& path) {
    WalkedBmp walked;
    if (!walked.Open(path)) {
        return std::nullopt;
    }
    const BmpLayout& bmp = walked.layout();
    ImageHeaderInfo info;
    if (bmp.infoSize == 12) {
        // The core header: 16-bit width and height, planes and bit count.
        if (bmp.presentBytes < 26) {
            return std::nullopt;
        }
        info.width = *bmp.Le16At(18);
        info.height = *bmp.Le16At(20);
        return info;
    }
    if (bmp.infoSize < 40 || bmp.presentBytes < BmpLayout::kHeaderBytes) {
        return std::nullopt;
    }
    const auto width = static_cast<int32_t>(*bmp.Le32At(18));
    const auto height = static_cast<int32_t>(*bmp.Le32At(22));
    const uint32_t compression = *bmp.Le32At(30);
    const auto pixelsPerMetre = static_cast<int32_t>(*bmp.Le32At(38));
    if (compression != 0) {
        return std::nullopt;
    }
    const auto magnitude = static_cast<uint32_t>(height < 0 ? -static_cast<int64_t>(height)
                                                            : static_cast<int64_t>(height));
    const auto unsignedWidth = static_cast<uint32_t>(width);
    if (unsignedWidth < 1 || unsignedWidth > kMaxBmpSide || magnitude < 1 ||
        magnitude > kMaxBmpSide) {
        return std::nullopt;
    }
    info.width = unsignedWidth;
    info.height = magnitude;
    info.dpi = BmpDpiFromPixelsPerMetre(pixelsPerMetre);
    return info;
}

void ReadExifIfd0(ByteFile& stream, int32_t& orientation, uint32_t& exifDpi, uint64_t end) {
    FileSource file(stream);
    ReadExifIfd0(file, stream.Tell(), end, orientation, exifDpi);
}

void ReadExifIfd0(ByteSource& whole, uint64_t at, uint64_t end, int32_t& orientation,
                  uint32_t& exifDpi) {
    exifDpi = 0;
    // Offsets count from the block's own header; nothing at or past `end` is read.
    WindowSource source(whole, at, end);
    TiffLayout order;
    if (!ReadTiffHeader(source, order)) {
        return;
    }
    uint16_t unit = 2;  // inches when the tag is absent
    uint32_t numerator = 0;
    uint32_t denominator = 0;
    bool readable = true;
    const IfdRead read = ReadIfd(source, order, order.ifd0, [&](uint16_t tag, const TiffEntry& e) {
        if (e.count != 1) {
            return true;
        }
        if (tag == tiff::kOrientation && e.type == tiff::kTypeShort) {
            orientation = order.Get16(e.field);
        } else if (tag == tiff::kXResolution && e.type == tiff::kTypeRational) {
            uint8_t rational[8];
            if (!source.ReadAt(e.value, rational, sizeof rational)) {
                readable = false;
                return false;
            }
            numerator = order.Get32(rational);
            denominator = order.Get32(rational + 4);
        } else if (tag == tiff::kResolutionUnit && e.type == tiff::kTypeShort) {
            unit = order.Get16(e.field);
        }
        return true;
    });
    // An IFD cut short keeps what its whole entries said of the orientation, but no resolution.
    if (!readable || !read.complete()) {
        return;
    }
    if (unit == 2 && denominator != 0) {
        exifDpi = numerator / denominator;
    }
}

bool ProbeJpegHeader(const std::string& path, uint32_t& width, uint32_t& height, uint32_t& dpi,
                     int32_t& orientation, uint32_t* components) {
    orientation = 0;
    ByteFile file;
    if (!file.Open(path, ByteFile::Access::Read)) {
        return false;
    }
    unsigned char soi[2];
    if (file.Read(soi, sizeof soi) != sizeof soi || soi[0] != 0xFF || soi[1] != 0xD8) {
        return false;
    }
    bool found = false;
    bool jfifTaken = false;
    bool app0Taken = false;
    int segments = 0;
    FileSource source(file);
    // Each segment's length field says where the next marker is.
    const auto after = [&source](const JpegMarker& m) -> std::optional<uint64_t> {
        unsigned char length[2];
        if (!source.ReadAt(m.lengthAt, length, sizeof length)) {
            return std::nullopt;
        }
        return m.lengthAt + Be16(length);
    };
    WalkJpegMarkers(source, 2, JpegGaps::Stop, [&](const JpegMarker& m) -> std::optional<uint64_t> {
        const unsigned char code = m.code;
        if (code >= 0xC0 && code <= 0xC3) {
            // Length, sample precision, height, width.
            unsigned char frame[7];
            if (!source.ReadAt(m.lengthAt, frame, sizeof frame)) {
                return std::nullopt;
            }
            height = Be16(frame + 3);
            width = Be16(frame + 5);
            found = true;
            uint8_t count = 0;
            if (components != nullptr && Be16(frame) >= 8 &&
                source.ReadAt(m.lengthAt + 7, &count, 1)) {
                *components = count;
            }
            ++segments;
            return m.lengthAt + Be16(frame);
        }
        if (code == 0xD9 || code == 0xDA) {
            return std::nullopt;
        }
        if (code == 0xE0) {
            // Length, identifier and version (7), units, X density.
            unsigned char app0[12];
            if (!source.ReadAt(m.lengthAt, app0, sizeof app0)) {
                return std::nullopt;
            }
            // The segment the stamp writes: the first JFIF one, else the first that is no JFXX
            // extension, whose bytes here are a thumbnail's.
            const bool jfif = std::memcmp(app0 + 2, "JFIF\0", 5) == 0;
            const bool jfxx = std::memcmp(app0 + 2, "JFXX\0", 5) == 0;
            if ((jfif && !jfifTaken) || (!jfif && !jfxx && !app0Taken)) {
                const uint32_t density = Be16(app0 + 10);
                dpi = app0[9] == 2 ? (density * 254 + 50) / 100 : density;
                jfifTaken = jfifTaken || jfif;
                app0Taken = true;
            }
            ++segments;
            return m.lengthAt + Be16(app0);
        }
        if (code == 0xE1) {
            unsigned char app1[8];
            if (!source.ReadAt(m.lengthAt, app1, sizeof app1)) {
                return std::nullopt;
            }
            if (std::memcmp(app1 + 2, "Exif\0\0", 6) == 0) {
                uint32_t exifDpi = 0;
                file.Seek(m.lengthAt + sizeof app1);
                ReadExifIfd0(file, orientation, exifDpi);
                if (dpi == 0 && exifDpi != 0) {
                    dpi = exifDpi;
                }
            }
            ++segments;
            return m.lengthAt + Be16(app1);
        }
        const std::optional<uint64_t> next = after(m);
        if (!next || ++segments > kMaxOtherSegments) {
            return std::nullopt;
        }
        return next;
    });
    return found;
}

std::optional<ImageHeaderInfo> ProbePngHeader(const std::string& path) {
    WalkedPng walked;
    if (!walked.Open(path)) {
        return std::nullopt;
    }
    const PngLayout& png = walked.layout();
    ImageHeaderInfo info{png.width, png.height, 0};
    if (png.hasPhys && png.unit == 1) {
        // Above the signed range PNG allows, the value counts as no resolution, as for BMP.
        info.dpi = BmpDpiFromPixelsPerMetre(static_cast<int32_t>(png.pixelsPerUnitX));
    }
    if (png.exifAt != 0) {
        // The decoder turns the image by this orientation, so the list must show it turned.
        int32_t orientation = 0;
        uint32_t exifDpi = 0;
        walked.file().Seek(png.exifAt);
        ReadExifIfd0(walked.file(), orientation, exifDpi, png.exifAt + png.exifLength);
        if (orientation >= 5 && orientation <= 8) {
            std::swap(info.width, info.height);
        }
    }
    return info;
}

uint32_t TiffDpi(uint32_t numerator, uint32_t denominator, uint16_t unit) {
    if (denominator == 0) {
        return 0;
    }
    if (unit == 2) {
        return numerator / denominator;
    }
    if (unit == 3) {
        // (n / d) x 2.54 rounded half up, in 64 bits: the JFIF rule, exact for a fraction too.
        const uint64_t dpi =
            (static_cast<uint64_t>(numerator) * 254 + 50ull * denominator) / (100ull * denominator);
        return static_cast<uint32_t>(std::min<uint64_t>(dpi, UINT32_MAX));
    }
    return 0;
}

std::optional<ImageHeaderInfo> ProbeTiffHeader(const std::string& path) {
    WalkedTiff walked;
    if (!walked.Open(path)) {
        return std::nullopt;
    }
    const TiffLayout& tiff = walked.layout();
    ByteSource& source = walked.source();
    ImageHeaderInfo info{tiff.ScalarOf(tiff.width), tiff.ScalarOf(tiff.height), 0};
    if (info.width == 0 || info.height == 0) {
        return std::nullopt;
    }
    const TiffEntry& x = tiff.xResolution;
    uint8_t rational[8];
    if (x.present && x.type == 5 && x.count == 1 && source.ReadAt(x.value, rational, 8)) {
        const TiffEntry& unit = tiff.resolutionUnit;
        // TIFF's default unit is the inch.
        const bool unitGiven = unit.present && unit.type == 3 && unit.count == 1;
        info.dpi = TiffDpi(tiff.Get32(rational), tiff.Get32(rational + 4),
                           unitGiven ? tiff.Get16(unit.field) : 2);
    }
    const uint32_t orientation = tiff.orientation.type == 3 ? tiff.ScalarOf(tiff.orientation) : 0;
    if (orientation >= 5 && orientation <= 8) {
        std::swap(info.width, info.height);
    }
    return info;
}

std::optional<ImageHeaderInfo> ProbeImageHeader(const std::string& path) {
    return EntryOf(FormatOfName(path)).probe(path);
}

std::optional<ImageHeaderInfo> ProbeJpegImageHeader(const std::string& path) {
    ImageHeaderInfo info;
    int32_t orientation = 0;
    if (!ProbeJpegHeader(path, info.width, info.height, info.dpi, orientation)) {
        return std::nullopt;
    }
    if (orientation >= 5) {
        std::swap(info.width, info.height);
    }
    return info;
}

}  // namespace korvale
