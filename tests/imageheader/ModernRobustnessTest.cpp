// HEIF, WebP and JPEG XL headers built byte by byte: what the walks make of each property, and
// that no mutation of them crashes, hangs or reads outside the file.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ImageHeader.h"
#include "ModernFormats.h"
#include "TestFiles.h"

namespace korvale {
namespace {

using test::Bytes;

void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

Bytes Box(const char* type, const Bytes& body) {
    Bytes box;
    test::PutBe32(box, static_cast<uint32_t>(8 + body.size()));
    box.insert(box.end(), type, type + 4);
    Append(box, body);
    return box;
}

Bytes FullBox(const char* type, uint8_t version, const Bytes& body) {
    Bytes full = {version, 0, 0, 0};
    Append(full, body);
    return Box(type, full);
}

Bytes Be32s(std::initializer_list<uint32_t> values) {
    Bytes out;
    for (uint32_t v : values) {
        test::PutBe32(out, v);
    }
    return out;
}

// A little-endian TIFF block whose IFD0 holds XResolution = dpi/1 in inches.
Bytes ExifTiff(uint32_t dpi) {
    Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0};
    const auto entry = [&tiff](uint16_t tag, uint16_t type, uint32_t value) {
        test::PutLe16(tiff, tag);
        test::PutLe16(tiff, type);
        test::PutLe32(tiff, 1);
        test::PutLe32(tiff, value);
    };
    entry(282, 5, 8 + 2 + 24 + 4);
    entry(296, 3, 2);
    test::PutLe32(tiff, 0);
    test::PutLe32(tiff, dpi);
    test::PutLe32(tiff, 1);
    return tiff;
}

struct HeifSpec {
    uint32_t width = 640;
    uint32_t height = 480;
    int irot = -1;  // none
    int imir = -1;
    uint32_t exifDpi = 0;  // 0: no Exif item
    bool exifInIdat = false;
    uint8_t bits = 8;
    bool alpha = false;
};

// ftyp, then meta: pitm 1, items 1 (hvc1) and 2 (Exif), iloc, and the properties of item 1.
Bytes Heif(const HeifSpec& s) {
    Bytes out = Box("ftyp", Bytes{'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1'});
    // Version 2: the item's id, its protection index, its type and an empty name.
    const auto infe = [](uint8_t id, const char* type) {
        Bytes body = {0, id, 0, 0};
        body.insert(body.end(), type, type + 4);
        body.push_back(0);
        return FullBox("infe", 2, body);
    };
    Bytes iinf = {0, 2};
    Append(iinf, infe(1, "hvc1"));
    if (s.exifDpi != 0) {
        Append(iinf, infe(2, "Exif"));
    }
    Bytes exifPayload = {0, 0, 0, 6, 'E', 'x', 'i', 'f', 0, 0};
    Append(exifPayload, ExifTiff(s.exifDpi));

    Bytes ipco = FullBox("ispe", 0, Be32s({s.width, s.height}));
    Bytes ipma = {0, 1};  // item 1
    uint8_t count = 1;
    Bytes associations = {0x81};
    const auto add = [&](const Bytes& property) {
        Append(ipco, property);
        associations.push_back(static_cast<uint8_t>(0x80 | ++count));
    };
    Bytes hvcc(23, 0);
    hvcc[17] = static_cast<uint8_t>(0xF8 | (s.bits - 8));  // bitDepthLumaMinus8
    add(Box("hvcC", hvcc));
    if (s.irot >= 0) {
        add(Box("irot", {static_cast<uint8_t>(s.irot)}));
    }
    if (s.imir >= 0) {
        add(Box("imir", {static_cast<uint8_t>(s.imir)}));
    }
    if (s.alpha) {
        const std::string urn = "urn:mpeg:hevc:2015:auxid:1";
        Bytes body(urn.begin(), urn.end());
        body.push_back(0);
        Append(ipco, FullBox("auxC", 0, body));
    }
    ipma.push_back(static_cast<uint8_t>(associations.size()));
    Append(ipma, associations);
    Bytes ipmaBody = Be32s({1});
    Append(ipmaBody, ipma);
    Bytes iprp = Box("ipco", ipco);
    Append(iprp, FullBox("ipma", 0, ipmaBody));

    // iloc version 1: offset and length 4 bytes, no base; the Exif item's one extent.
    Bytes iloc = {0x44, 0x00, 0, 1, 0, 2, 0, static_cast<uint8_t>(s.exifInIdat ? 1 : 0),
                  0,    0,    0, 1};
    const size_t exifOffsetAt = 8 + 4 + iloc.size();  // within the iloc box
    Append(iloc, Be32s({0, static_cast<uint32_t>(exifPayload.size())}));

    Bytes meta = FullBox(
        "hdlr", 0, Bytes{0, 0, 0, 0, 'p', 'i', 'c', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Append(meta, FullBox("pitm", 0, {0, 1}));
    Append(meta, FullBox("iinf", 0, iinf));
    const size_t ilocAt = meta.size();
    Append(meta, FullBox("iloc", 1, iloc));
    Append(meta, Box("iprp", iprp));
    if (s.exifInIdat) {
        Append(meta, Box("idat", exifPayload));
    }
    const size_t metaAt = out.size();
    Bytes metaBox = FullBox("meta", 0, meta);
    Append(out, metaBox);
    const size_t mdatAt = out.size();
    Append(out, Box("mdat", exifPayload));
    // The extent's offset: from the file's start, or from the idat's data.
    const uint32_t offset = s.exifInIdat ? 0 : static_cast<uint32_t>(mdatAt + 8);
    const size_t field = metaAt + 12 + ilocAt + exifOffsetAt;
    for (int i = 0; i < 4; ++i) {
        out[field + i] = static_cast<uint8_t>(offset >> (24 - 8 * i));
    }
    return out;
}

Bytes Riff(const Bytes& chunks) {
    Bytes out = {'R', 'I', 'F', 'F'};
    test::PutLe32(out, static_cast<uint32_t>(4 + chunks.size()));
    out.insert(out.end(), {'W', 'E', 'B', 'P'});
    Append(out, chunks);
    return out;
}

Bytes Chunk(const char* type, const Bytes& data) {
    Bytes out(type, type + 4);
    test::PutLe32(out, static_cast<uint32_t>(data.size()));
    Append(out, data);
    if (data.size() % 2 == 1) {
        out.push_back(0);
    }
    return out;
}

Bytes Vp8(uint32_t w, uint32_t h) {
    return Chunk("VP8 ", {0x30, 0x01, 0x00, 0x9D, 0x01, 0x2A, static_cast<uint8_t>(w),
                          static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(h),
                          static_cast<uint8_t>(h >> 8), 0, 0});
}

Bytes Vp8l(uint32_t w, uint32_t h, bool alpha) {
    const uint32_t bits = (w - 1) | ((h - 1) << 14) | (alpha ? 1u << 28 : 0);
    Bytes data = {0x2F};
    test::PutLe32(data, bits);
    data.push_back(0);
    return Chunk("VP8L", data);
}

Bytes Vp8x(uint32_t w, uint32_t h, uint8_t flags) {
    Bytes data = {flags, 0, 0, 0};
    for (uint32_t side : {w - 1, h - 1}) {
        data.insert(data.end(), {static_cast<uint8_t>(side), static_cast<uint8_t>(side >> 8),
                                 static_cast<uint8_t>(side >> 16)});
    }
    return Chunk("VP8X", data);
}

// A JPEG XL codestream: FF 0A, then bits least significant first.
class Bits {
public:
    Bits& Put(uint32_t value, int count) {
        for (int i = 0; i < count; ++i, ++at_) {
            if (at_ % 8 == 0) {
                bytes_.push_back(0);
            }
            bytes_.back() = static_cast<uint8_t>(bytes_.back() | (((value >> i) & 1) << (at_ % 8)));
        }
        return *this;
    }
    Bytes Codestream() const {
        Bytes out = {0xFF, 0x0A};
        Append(out, bytes_);
        out.resize(out.size() + 8, 0);
        return out;
    }

private:
    Bytes bytes_;
    int at_ = 0;
};

std::optional<ImageHeaderInfo> ProbeBytes(const test::TempDir& dir, const std::string& name,
                                          const Bytes& bytes) {
    const std::string path = dir.File(name);
    test::WriteFile(path, bytes);
    return ProbeImageHeader(path);
}

std::optional<ImageHeaderInfo> Info(uint32_t w, uint32_t h, uint32_t dpi = 0) {
    return ImageHeaderInfo{w, h, dpi};
}

TEST(ModernHeaders, HeifPropertiesTurnTheSizeAndExifGivesTheDpi) {
    test::TempDir dir;
    struct Case {
        const char* name;
        HeifSpec spec;
        std::optional<ImageHeaderInfo> expected;
    };
    const Case cases[] = {
        {"plain", {}, Info(640, 480)},
        {"irot 1", {640, 480, 1}, Info(480, 640)},
        {"irot 2", {640, 480, 2}, Info(640, 480)},
        {"irot 3", {640, 480, 3}, Info(480, 640)},
        {"imir", {640, 480, -1, 1}, Info(640, 480)},
        {"irot 3 imir", {640, 480, 3, 0}, Info(480, 640)},
        {"exif in mdat", {640, 480, -1, -1, 300}, Info(640, 480, 300)},
        {"exif in idat", {640, 480, 1, -1, 72, true}, Info(480, 640, 72)},
        {"no width", {0, 480}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProbeBytes(dir, "a.heic", Heif(c.spec)), c.expected) << c.name;
    }
    test::WriteFile(dir.File("d.heic"), Heif({640, 480, -1, -1, 0, false, 10, true}));
    EXPECT_EQ(ProbePixelLayout(dir.File("d.heic")), (PixelLayout{4, 2}));
}

TEST(ModernHeaders, WebpChunksGiveTheCanvasAndExifTheDpi) {
    test::TempDir dir;
    Bytes exif = {'E', 'x', 'i', 'f', 0, 0};
    Append(exif, ExifTiff(150));
    Bytes extended = Vp8x(3000, 2000, 0x08);
    Append(extended, Vp8(3000, 2000));
    Append(extended, Chunk("EXIF", ExifTiff(96)));
    Bytes prefixed = Vp8x(5, 7, 0x18);
    Append(prefixed, Chunk("EXIF", exif));
    struct Case {
        const char* name;
        Bytes bytes;
        std::optional<ImageHeaderInfo> expected;
        std::optional<PixelLayout> pixel;
    };
    const Case cases[] = {
        {"VP8", Riff(Vp8(16383, 1)), Info(16383, 1), PixelLayout{3, 1}},
        {"VP8L", Riff(Vp8l(16384, 3, true)), Info(16384, 3), PixelLayout{4, 1}},
        {"VP8X exif", Riff(extended), Info(3000, 2000, 96), PixelLayout{3, 1}},
        {"VP8X exif after Exif\\0\\0", Riff(prefixed), Info(5, 7, 150), PixelLayout{4, 1}},
        {"VP8 without start code", Riff(Chunk("VP8 ", Bytes(10, 0))), std::nullopt, std::nullopt},
        {"not WEBP", Bytes{'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}, std::nullopt,
         std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProbeBytes(dir, "a.webp", c.bytes), c.expected) << c.name;
        EXPECT_EQ(ProbePixelLayout(dir.File("a.webp")), c.pixel) << c.name;
    }
}

TEST(ModernHeaders, JxlSizeHeaderInEachOfItsForms) {
    test::TempDir dir;
    struct Case {
        const char* name;
        Bytes bytes;
        std::optional<ImageHeaderInfo> expected;
    };
    // small: (h/8 - 1) in 5 bits, ratio, (w/8 - 1); large: a selector and h - 1; ratio 7: 2:1.
    const Bytes small = Bits().Put(1, 1).Put(5, 5).Put(0, 3).Put(9, 5).Put(1, 1).Codestream();
    const Bytes large = Bits().Put(0, 1).Put(1, 2).Put(4999, 13).Put(7, 3).Put(1, 1).Codestream();
    // Not all default, extra fields: orientation 6 (5 + 1), nothing else, 8 bits.
    const Bytes turned = Bits()
                             .Put(0, 1)
                             .Put(0, 2)
                             .Put(99, 9)
                             .Put(0, 3)
                             .Put(0, 2)
                             .Put(199, 9)
                             .Put(0, 1)
                             .Put(1, 1)
                             .Put(5, 3)
                             .Put(0, 3)
                             .Put(0, 1)
                             .Put(0, 2)
                             .Put(0, 1)
                             .Put(0, 2)
                             .Codestream();
    Bytes container = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
    Append(container, Box("ftyp", Bytes{'j', 'x', 'l', ' ', 0, 0, 0, 0, 'j', 'x', 'l', ' '}));
    Bytes exif = {0, 0, 0, 0};
    Append(exif, ExifTiff(200));
    Append(container, Box("Exif", exif));
    Bytes part = {0, 0, 0, 0};
    Append(part, small);
    Append(container, Box("jxlp", part));
    const Case cases[] = {
        {"small", small, Info(80, 48)},
        {"large, ratio 2:1", large, Info(10000, 5000)},
        {"orientation 6", turned, Info(100, 200)},
        {"container with Exif", container, Info(80, 48, 200)},
        {"signature only", Bytes{0xFF, 0x0A}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProbeBytes(dir, "a.jxl", c.bytes), c.expected) << c.name;
    }
}

Bytes Mutate(Bytes bytes, std::mt19937& random) {
    const auto pick = [&random](size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random);
    };
    for (int m = 1 + static_cast<int>(pick(4)); m > 0; --m) {
        switch (pick(4)) {
            case 0:
                if (!bytes.empty()) {
                    bytes[pick(bytes.size())] = static_cast<uint8_t>(random());
                }
                break;
            case 1:
                bytes.resize(pick(bytes.size() + 1));
                break;
            case 2:  // a size field becomes 0, 1 or huge
                if (bytes.size() >= 4) {
                    const size_t at = pick(bytes.size() - 3);
                    const uint32_t values[] = {0, 1, 8, 0xFFFFFFFF, 0x7FFFFFFF};
                    const uint32_t v = values[pick(5)];
                    for (int i = 0; i < 4; ++i) {
                        bytes[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
                    }
                }
                break;
            default:
                if (!bytes.empty()) {
                    const size_t from = pick(bytes.size());
                    const Bytes slice(bytes.begin() + static_cast<long>(from), bytes.end());
                    bytes.insert(bytes.begin() + static_cast<long>(pick(bytes.size() + 1)),
                                 slice.begin(), slice.end());
                }
                break;
        }
    }
    return bytes;
}

TEST(ModernHeaders, MutatedHeadersNeitherCrashNorReadOutside) {
    std::mt19937 random(20250925);
    Bytes extended = Vp8x(300, 200, 0x18);
    Append(extended, Chunk("EXIF", ExifTiff(96)));
    const std::vector<std::pair<std::string, Bytes>> templates = {
        {"a.heic", Heif({640, 480, 1, 0, 300})},
        {"a.avif", Heif({640, 480, 3, -1, 72, true, 10, true})},
        {"a.webp", Riff(Vp8(30, 20))},
        {"a.webp", Riff(Vp8l(30, 20, true))},
        {"a.webp", Riff(extended)},
        {"a.jxl", Bits().Put(1, 1).Put(5, 5).Put(0, 3).Put(9, 5).Put(0, 1).Codestream()},
    };
    test::TempDir dir;
    for (int i = 0; i < 4000; ++i) {
        const auto& [name, bytes] = templates[random() % templates.size()];
        const Bytes mutated = Mutate(bytes, random);
        test::WriteFile(dir.File(name), mutated);
        MemorySource memory(mutated);
        HeifLayout heif;
        WebpLayout webp;
        JxlLayout jxl;
        (void)WalkHeif(memory, heif);
        (void)WalkWebp(memory, webp);
        (void)WalkJxl(memory, jxl);
        if (const auto info = ProbeImageHeader(dir.File(name))) {
            EXPECT_TRUE(info->width >= 1 && info->height >= 1) << i;
        }
        if (const auto pixel = ProbePixelLayout(dir.File(name))) {
            EXPECT_TRUE(pixel->channels == 3 || pixel->channels == 4) << i;
            EXPECT_TRUE(pixel->bytesPerChannel == 1 || pixel->bytesPerChannel == 2) << i;
        }
    }
}

}  // namespace
}  // namespace korvale
