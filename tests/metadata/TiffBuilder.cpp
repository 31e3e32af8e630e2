// Builders for the metadata tests.
#include "TiffBuilder.h"

#include <algorithm>
#include <cstring>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

namespace korvale::test {
namespace {

size_t TypeSize(uint16_t type) {
    switch (type) {
        case kShort:
            return 2;
        case kLong:
            return 4;
        case kRational:
            return 8;
        default:
            return 1;
    }
}

uint32_t CountOf(const Tag& t) {
    if (t.type == kAscii || t.type == kUndefined) {
        return static_cast<uint32_t>(t.bytes.size());
    }
    return static_cast<uint32_t>(t.type == kRational ? t.numbers.size() / 2 : t.numbers.size());
}

size_t ValueSize(const Tag& t) {
    return TypeSize(t.type) * CountOf(t);
}

size_t IfdSize(const std::vector<Tag>& tags) {
    size_t size = 2 + 12 * tags.size() + 4;
    for (const Tag& t : tags) {
        if (ValueSize(t) > 4) {
            size += (ValueSize(t) + 1) & ~size_t{1};
        }
    }
    return size;
}

class Writer {
public:
    explicit Writer(bool bigEndian) : be_(bigEndian) {}
    void U16(uint32_t v) { be_ ? PutBe16(out, v) : PutLe16(out, v); }
    void U32(uint32_t v) { be_ ? PutBe32(out, v) : PutLe32(out, v); }
    void Value(const Tag& t) {
        if (t.type == kAscii || t.type == kUndefined) {
            out.insert(out.end(), t.bytes.begin(), t.bytes.end());
        } else {
            for (uint32_t n : t.numbers) {
                t.type == kShort ? U16(n) : U32(n);
            }
        }
    }
    void Ifd(std::vector<Tag> tags, uint32_t next) {
        std::sort(tags.begin(), tags.end(),
                  [](const Tag& a, const Tag& b) { return a.tag < b.tag; });
        const size_t at = out.size();
        size_t valuesAt = at + 2 + 12 * tags.size() + 4;
        U16(static_cast<uint32_t>(tags.size()));
        for (const Tag& t : tags) {
            U16(t.tag);
            U16(t.type);
            U32(CountOf(t));
            if (ValueSize(t) > 4) {
                U32(static_cast<uint32_t>(valuesAt));
                valuesAt += (ValueSize(t) + 1) & ~size_t{1};
            } else {
                const size_t before = out.size();
                Value(t);
                out.resize(before + 4, 0);
            }
        }
        U32(next);
        for (const Tag& t : tags) {
            if (ValueSize(t) > 4) {
                Value(t);
                if (ValueSize(t) % 2) {
                    out.push_back(0);
                }
            }
        }
    }
    Bytes out;

private:
    bool be_;
};

}  // namespace

Bytes BuildTiff(const TiffSpec& spec) {
    std::vector<Tag> ifd0 = spec.ifd0;
    std::vector<Tag> ifd1 = spec.ifd1;
    // Placeholders first, so that the sizes are final.
    if (!spec.exif.empty()) {
        ifd0.push_back({34665, kLong, {0}});
    }
    if (!spec.gps.empty()) {
        ifd0.push_back({34853, kLong, {0}});
    }
    if (!spec.thumbnail.empty()) {
        ifd1.push_back({513, kLong, {0}});
        ifd1.push_back({514, kLong, {static_cast<uint32_t>(spec.thumbnail.size())}});
    }
    const uint32_t exifAt = static_cast<uint32_t>(8 + IfdSize(ifd0));
    const uint32_t gpsAt =
        static_cast<uint32_t>(exifAt + (spec.exif.empty() ? 0 : IfdSize(spec.exif)));
    const uint32_t ifd1At =
        static_cast<uint32_t>(gpsAt + (spec.gps.empty() ? 0 : IfdSize(spec.gps)));
    const uint32_t thumbAt = static_cast<uint32_t>(ifd1At + (ifd1.empty() ? 0 : IfdSize(ifd1)));
    for (Tag& t : ifd0) {
        if (t.tag == 34665) {
            t.numbers = {exifAt};
        } else if (t.tag == 34853) {
            t.numbers = {gpsAt};
        }
    }
    for (Tag& t : ifd1) {
        if (t.tag == 513) {
            t.numbers = {thumbAt};
        }
    }
    Writer w(spec.bigEndian);
    const uint8_t order = spec.bigEndian ? 'M' : 'I';
    w.out = {order, order};
    w.U16(42);
    w.U32(8);
    w.Ifd(ifd0, ifd1.empty() ? 0 : ifd1At);
    if (!spec.exif.empty()) {
        w.Ifd(spec.exif, 0);
    }
    if (!spec.gps.empty()) {
        w.Ifd(spec.gps, 0);
    }
    if (!ifd1.empty()) {
        w.Ifd(ifd1, 0);
    }
    w.out.insert(w.out.end(), spec.thumbnail.begin(), spec.thumbnail.end());
    return w.out;
}

TiffSpec CameraExif(bool bigEndian, uint16_t orientation, uint32_t width, uint32_t height) {
    TiffSpec spec;
    spec.bigEndian = bigEndian;
    spec.ifd0 = {{271, kAscii, {}, std::string("TestCam\0", 8)},
                 {274, kShort, {orientation}},
                 {282, kRational, {72, 1}},
                 {283, kRational, {72, 1}},
                 {296, kShort, {2}}};
    spec.exif = {{36864, kUndefined, {}, "0232"},
                 {37500, kUndefined, {}, std::string("MAKERNOTE-DATA-KEPT\0", 20)},
                 {40962, kLong, {width}},
                 {40963, kShort, {height}}};
    spec.gps = {{1, kAscii, {}, std::string("N\0", 2)}, {2, kRational, {kGpsMark, 1, 36, 1, 0, 1}}};
    spec.ifd1 = {{259, kShort, {6}}};
    // Bytes found nowhere else, so that a test can tell whether they are left behind.
    spec.thumbnail = {0xFF, 0xD8};
    for (uint32_t i = 0; i < 600; ++i) {
        spec.thumbnail.push_back(static_cast<uint8_t>((i * 131 + 17) ^ (i >> 3)));
    }
    return spec;
}

Bytes MakeProfile(size_t size, const char* space) {
    Bytes profile(size);
    for (size_t i = 0; i < size; ++i) {
        profile[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    profile[0] = static_cast<uint8_t>(size >> 24);
    profile[1] = static_cast<uint8_t>(size >> 16);
    profile[2] = static_cast<uint8_t>(size >> 8);
    profile[3] = static_cast<uint8_t>(size);
    std::memcpy(profile.data() + 16, space, 4);
    std::memcpy(profile.data() + 36, "acsp", 4);
    return profile;
}

Bytes SegmentBytes(uint8_t code, const Bytes& payload) {
    Bytes out = {0xFF, code};
    PutBe16(out, static_cast<uint32_t>(payload.size() + 2));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes ProfileSegments(const Bytes& profile, size_t chunkData) {
    const size_t chunks = (profile.size() + chunkData - 1) / chunkData;
    Bytes out;
    for (size_t i = 0; i < chunks; ++i) {
        Bytes payload = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
        payload.push_back(static_cast<uint8_t>(i + 1));
        payload.push_back(static_cast<uint8_t>(chunks));
        const size_t from = i * chunkData;
        const size_t size = std::min(chunkData, profile.size() - from);
        payload.insert(payload.end(), profile.begin() + static_cast<long>(from),
                       profile.begin() + static_cast<long>(from + size));
        const Bytes segment = SegmentBytes(0xE2, payload);
        out.insert(out.end(), segment.begin(), segment.end());
    }
    return out;
}

Bytes ExifSegment(const Bytes& tiff) {
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return SegmentBytes(0xE1, payload);
}

Bytes EncodedJpeg(int width, int height, int channels) {
    cv::Mat image(height, width, channels == 1 ? CV_8UC1 : CV_8UC3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                image.ptr<uint8_t>(y)[x * channels + c] =
                    static_cast<uint8_t>((x * 5 + y * 3 + c * 60) & 0xFF);
            }
        }
    }
    std::vector<uchar> bytes;
    cv::imencode(".jpg", image, bytes);
    return Bytes(bytes.begin(), bytes.end());
}

Bytes WithSegments(const Bytes& jpeg, const Bytes& segments, bool dropJfif) {
    size_t rest = 2;
    if (dropJfif && jpeg.size() > 6 && jpeg[2] == 0xFF && jpeg[3] == 0xE0) {
        rest = 4 + ((static_cast<size_t>(jpeg[4]) << 8) | jpeg[5]);
    }
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), segments.begin(), segments.end());
    out.insert(out.end(), jpeg.begin() + static_cast<long>(rest), jpeg.end());
    return out;
}

}  // namespace korvale::test
