// The metadata carried into JPEG outputs and the lossless resolution change, over byte buffers
// built by the tests; malformed and truncated sources never give an invalid output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "ExifEdit.h"
#include "ImageHeader.h"
#include "JpegMetadata.h"
#include "ResolutionCopy.h"
#include "TiffBuilder.h"

namespace korvale {
namespace {

using test::Bytes;

bool Contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

bool ContainsMark(const Bytes& bytes, uint32_t mark) {
    Bytes le, be;
    test::PutLe32(le, mark);
    test::PutBe32(be, mark);
    return Contains(bytes, le) || Contains(bytes, be);
}

cv::Mat Decode(const Bytes& jpeg, int flags = cv::IMREAD_UNCHANGED) {
    return cv::imdecode(
        cv::Mat(1, static_cast<int>(jpeg.size()), CV_8U, const_cast<uint8_t*>(jpeg.data())), flags);
}

bool SamePixels(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

int CountSegments(const Bytes& jpeg, uint8_t code) {
    const JpegHeaderWalk walk = WalkJpegHeader(jpeg.data(), jpeg.size());
    return static_cast<int>(std::count_if(walk.segments.begin(), walk.segments.end(),
                                          [&](const JpegSegment& s) { return s.code == code; }));
}

// Tag values of IFD0 (and of the Exif IFD under 0x10000 + tag), first value of each entry;
// rationals give their numerator and, under 0x20000 + tag, their denominator.
struct ReadTiff {
    std::map<uint32_t, uint32_t> values;
    uint32_t nextIfd = 0;
};
ReadTiff ReadTags(const Bytes& t) {
    ReadTiff read;
    const bool be = t.at(0) == 'M';
    auto u16 = [&](size_t at) {
        return be ? (t.at(at) << 8) | t.at(at + 1) : t.at(at) | (t.at(at + 1) << 8);
    };
    auto u32 = [&](size_t at) {
        return be ? (uint32_t(u16(at)) << 16) | u16(at + 2)
                  : u16(at) | (uint32_t(u16(at + 2)) << 16);
    };
    auto ifd = [&](size_t at, uint32_t base) {
        const size_t n = u16(at);
        for (size_t i = 0; i < n; ++i) {
            const size_t e = at + 2 + 12 * i;
            const uint32_t tag = u16(e), type = u16(e + 2);
            if (type == 5) {
                read.values[base + tag] = u32(u32(e + 8));
                read.values[0x20000 + base + tag] = u32(u32(e + 8) + 4);
            } else {
                read.values[base + tag] = type == 3 ? u16(e + 8) : u32(e + 8);
            }
        }
        return u32(at + 2 + 12 * n);
    };
    read.nextIfd = ifd(u32(4), 0);
    if (read.values.count(34665)) {
        ifd(read.values[34665], 0x10000);
    }
    return read;
}

// --- The colour profile ---------------------------------------------------------------------

TEST(CarryJpegMetadata, KeepsTheProfileByteForByte) {
    const struct {
        const char* name;
        size_t size;
        size_t sourceChunk;
        bool reversed;
    } cases[] = {{"one chunk", 3144, 65519, false},
                 {"three chunks", 150000, 65519, false},
                 {"small chunks stored out of order", 9000, 1000, true}};
    for (const auto& c : cases) {
        const Bytes profile = test::MakeProfile(c.size);
        Bytes segments = test::ProfileSegments(profile, c.sourceChunk);
        if (c.reversed) {
            // Chunk order in the file must not matter: only the sequence numbers do.
            Bytes reversed;
            const Bytes whole = test::WithSegments(test::EncodedJpeg(8, 8), segments, false);
            const JpegHeaderWalk walk = WalkJpegHeader(whole.data(), whole.size());
            for (auto s = walk.segments.rbegin(); s != walk.segments.rend(); ++s) {
                if (s->code == 0xE2) {
                    reversed.insert(reversed.end(), whole.begin() + long(s->markerAt),
                                    whole.begin() + long(s->end()));
                }
            }
            segments = reversed;
        }
        const Bytes source = test::WithSegments(test::EncodedJpeg(64, 48), segments, false);
        const SourceMetadata metadata = ExtractJpegMetadata(source.data(), source.size());
        ASSERT_EQ(metadata.iccProfile, profile) << c.name;

        const Bytes encoded = test::EncodedJpeg(32, 24);
        const Bytes output =
            CarryJpegMetadata(encoded, metadata, MetadataPolicy::None, 32, 24, 300);
        EXPECT_EQ(ExtractJpegMetadata(output.data(), output.size()).iccProfile, profile) << c.name;
        EXPECT_TRUE(SamePixels(Decode(output), Decode(encoded))) << c.name;
        // After the encoder's JFIF segment, which readers expect first.
        EXPECT_EQ(output[3], 0xE0) << c.name;
    }
}

TEST(CarryJpegMetadata, LeavesOutAProfileThatDoesNotAddUp) {
    const Bytes profile = test::MakeProfile(5000);
    const Bytes twoChunks = test::ProfileSegments(profile, 3000);
    const Bytes first = test::ProfileSegments(profile, 3000);  // both chunks, then cut below
    const size_t firstLength = 4 + ((size_t(first[2]) << 8) | first[3]) - 2;
    const Bytes onlyFirst(first.begin(), first.begin() + long(firstLength));
    Bytes duplicated = onlyFirst;
    duplicated.insert(duplicated.end(), onlyFirst.begin(), onlyFirst.end());
    Bytes badCount = twoChunks;
    badCount[4 + 12 + 1] = 3;  // the first chunk claims three in all
    Bytes noSignature = test::MakeProfile(5000);
    noSignature[36] = 'x';
    const struct {
        const char* name;
        Bytes segments;
        int outputChannels;
    } cases[] = {
        {"a chunk missing", onlyFirst, 3},
        {"a chunk twice", duplicated, 3},
        {"counts differ", badCount, 3},
        {"no profile signature", test::ProfileSegments(noSignature), 3},
        {"RGB profile for a grey output", test::ProfileSegments(profile), 1},
        {"grey profile for a colour output", test::ProfileSegments(test::MakeProfile(600, "GRAY")),
         3},
    };
    for (const auto& c : cases) {
        const Bytes source = test::WithSegments(test::EncodedJpeg(16, 16), c.segments, false);
        const Bytes encoded = test::EncodedJpeg(16, 16, c.outputChannels);
        const Bytes output =
            CarryJpegMetadata(encoded, ExtractJpegMetadata(source.data(), source.size()),
                              MetadataPolicy::All, 16, 16, 300);
        EXPECT_EQ(output, encoded) << c.name;
    }
}

// --- Exif -----------------------------------------------------------------------------------

TEST(CarryJpegMetadata, ExifFollowsThePolicyAndTellsTheTruthAboutTheOutput) {
    const struct {
        MetadataPolicy policy;
        bool exif, gps;
    } policies[] = {{MetadataPolicy::None, false, false},
                    {MetadataPolicy::NoGps, true, false},
                    {MetadataPolicy::All, true, true}};
    for (bool bigEndian : {false, true}) {
        const test::TiffSpec spec = test::CameraExif(bigEndian, 6, 4000, 3000);
        const Bytes source = test::WithSegments(test::EncodedJpeg(64, 48),
                                                test::ExifSegment(test::BuildTiff(spec)), true);
        const SourceMetadata metadata = ExtractJpegMetadata(source.data(), source.size());
        ASSERT_FALSE(metadata.exif.empty());
        for (const auto& p : policies) {
            SCOPED_TRACE(testing::Message()
                         << "policy " << int(p.policy) << " big-endian " << bigEndian);
            const Bytes encoded = test::EncodedJpeg(48, 64);
            const Bytes output = CarryJpegMetadata(encoded, metadata, p.policy, 48, 64, 350);
            ASSERT_FALSE(Decode(output).empty());
            const Bytes exif = ExtractJpegMetadata(output.data(), output.size()).exif;
            ASSERT_EQ(!exif.empty(), p.exif);
            EXPECT_EQ(ContainsMark(output, test::kGpsMark), p.gps);
            if (!p.exif) {
                continue;
            }
            const ReadTiff tags = ReadTags(exif);
            EXPECT_EQ(tags.values.at(274), 1u);
            EXPECT_EQ(tags.values.at(282), 350u);
            EXPECT_EQ(tags.values.at(0x20000 + 282), 1u);
            EXPECT_EQ(tags.values.at(283), 350u);
            EXPECT_EQ(tags.values.at(296), 2u);
            EXPECT_EQ(tags.values.at(0x10000 + 40962), 48u);
            EXPECT_EQ(tags.values.at(0x10000 + 40963), 64u);
            EXPECT_EQ(tags.values.count(34853), p.gps ? 1u : 0u);
            EXPECT_EQ(tags.nextIfd, 0u) << "thumbnail still linked";
            const Bytes thumbnailPart(spec.thumbnail.begin() + 20, spec.thumbnail.begin() + 80);
            EXPECT_FALSE(Contains(output, thumbnailPart)) << "thumbnail bytes left behind";
            const std::string note = "MAKERNOTE-DATA-KEPT";
            EXPECT_TRUE(Contains(output, Bytes(note.begin(), note.end())));
            EXPECT_LT(exif.size(), metadata.exif.size());
        }
    }
}

TEST(ExifForOutput, RefusesMalformedStructures) {
    const Bytes good = test::BuildTiff(test::CameraExif(false, 1, 100, 80));
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = good;
        std::copy(bytes.begin(), bytes.end(), b.begin() + long(at));
        return b;
    };
    // IFD0 starts at 8; its entries are sorted: 271, 274, 282, 283, 296, 34665, 34853.
    const auto entry = [](int i) { return size_t(8 + 2 + 12 * i); };
    const auto link = [&](int i) {
        const size_t at = entry(i) + 8;
        return uint32_t(good[at] | good[at + 1] << 8 | good[at + 2] << 16 | good[at + 3] << 24);
    };
    const uint32_t exifAt = link(5);
    const uint32_t gpsAt = link(6);
    const struct {
        const char* name;
        Bytes tiff;
    } cases[] = {
        {"unknown byte order", patched(0, {'X', 'X'})},
        {"not 42", patched(2, {43, 0})},
        {"IFD0 beyond the end", patched(4, {0xF0, 0xFF, 0, 0})},
        {"IFD0 entry count past the end", patched(8, {0xFF, 0x7F})},
        {"a value beyond the end", patched(entry(2) + 8, {0xF0, 0xFF, 0xFF, 0xFF})},
        {"Exif IFD beyond the end", patched(entry(5) + 8, {0x00, 0xFF, 0xFF, 0x00})},
        {"GPS IFD beyond the end", patched(entry(6) + 8, {0x00, 0xFF, 0xFF, 0x00})},
        // Values written into the structure would break it (found by fuzzing).
        {"a resolution inside the header", patched(entry(2) + 8, {0, 0, 0, 0})},
        {"a resolution inside the Exif IFD",
         patched(entry(3) + 8, {uint8_t(exifAt - 4), uint8_t((exifAt - 4) >> 8), 0, 0})},
        {"a resolution inside IFD0", patched(entry(2) + 8, {uint8_t(entry(1)), 0, 0, 0})},
        // Unlinking the first of two GPS links would keep the place in the second.
        {"two GPS links", patched(entry(0), {0x25, 0x88, 4, 0, 1, 0, 0, 0, uint8_t(gpsAt),
                                             uint8_t(gpsAt >> 8), 0, 0})},
        {"cut short", Bytes(good.begin(), good.begin() + 60)},
        {"empty", Bytes{}},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(ExifForOutput(c.tiff, false, 10, 10, 300)) << c.name;
    }
    EXPECT_TRUE(ExifForOutput(good, false, 10, 10, 300));
}

// A thumbnail said to lie over the header is not cleared there (found by fuzzing).
TEST(ExifForOutput, NeverClearsTheHeader) {
    Bytes tiff = test::BuildTiff(test::CameraExif(false, 6, 100, 80));
    const Bytes thumbnailOffset = {0x01, 0x02, 4, 0, 1, 0, 0, 0};
    const auto at =
        std::search(tiff.begin(), tiff.end(), thumbnailOffset.begin(), thumbnailOffset.end());
    ASSERT_NE(at, tiff.end());
    std::fill(at + 8, at + 12, uint8_t(0));
    ASSERT_EQ(at[12], 0x02);  // the length follows: 4 bytes, all inside the header
    std::copy_n(Bytes{4, 0, 0, 0}.begin(), 4, at + 20);
    const auto made = ExifForOutput(tiff, false, 10, 10, 300);
    ASSERT_TRUE(made);
    EXPECT_TRUE(std::equal(tiff.begin(), tiff.begin() + 8, made->begin()));
    const auto again = ExifForOutput(*made, false, 10, 10, 300);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *made);
}

// A header cut or damaged anywhere gives either nothing or whole pieces, and the output
// always decodes to the encoder's pixels.
TEST(CarryJpegMetadata, DamagedSourceHeadersNeverSpoilTheOutput) {
    Bytes segments = test::ExifSegment(test::BuildTiff(test::CameraExif(true, 8, 64, 48)));
    const Bytes profile = test::ProfileSegments(test::MakeProfile(2000), 700);
    segments.insert(segments.end(), profile.begin(), profile.end());
    const Bytes source = test::WithSegments(test::EncodedJpeg(64, 48), segments, true);
    const Bytes encoded = test::EncodedJpeg(20, 20);
    const cv::Mat pixels = Decode(encoded);
    const size_t header = WalkJpegHeader(source.data(), source.size()).scanAt + 4;
    for (size_t cut = 0; cut <= header; ++cut) {
        const SourceMetadata metadata = ExtractJpegMetadata(source.data(), cut);
        if (cut < header - 2) {
            EXPECT_TRUE(metadata.exif.empty() && metadata.iccProfile.empty()) << cut;
        }
        const Bytes output = CarryJpegMetadata(encoded, metadata, MetadataPolicy::All, 20, 20, 96);
        ASSERT_TRUE(SamePixels(Decode(output), pixels)) << "cut at " << cut;
    }
    // Every single byte of the header changed in turn.
    for (size_t at = 2; at < header; ++at) {
        Bytes damaged = source;
        damaged[at] ^= 0xA5;
        const SourceMetadata metadata = ExtractJpegMetadata(damaged.data(), damaged.size());
        const Bytes output = CarryJpegMetadata(encoded, metadata, MetadataPolicy::All, 20, 20, 96);
        ASSERT_TRUE(SamePixels(Decode(output), pixels)) << "byte " << at;
        const JpegHeaderWalk walk = WalkJpegHeader(output.data(), output.size());
        ASSERT_TRUE(walk.complete) << "byte " << at;
    }
}

TEST(CarryJpegMetadata, LeavesAnythingButAJpegAlone) {
    const Bytes notJpeg = {'B', 'M', 1, 2, 3, 4};
    SourceMetadata metadata;
    metadata.iccProfile = test::MakeProfile(500);
    EXPECT_EQ(CarryJpegMetadata(notJpeg, metadata, MetadataPolicy::All, 1, 1, 1), notJpeg);
}

// --- Resolution only ------------------------------------------------------------------------

// The number of positions at which two buffers of equal length differ.
size_t Differences(const uint8_t* a, const uint8_t* b, size_t size) {
    size_t n = 0;
    for (size_t i = 0; i < size; ++i) {
        n += a[i] != b[i];
    }
    return n;
}

std::string WriteTemp(const test::TempDir& dir, const std::string& name, const Bytes& bytes) {
    const std::string path = dir.File(name);
    test::WriteFile(path, bytes);
    return path;
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p)) {
            out += buffer;
        }
        ::pclose(p);
    }
    return out;
}

TEST(JpegWithResolution, CameraFileGetsAJfifSegmentAndKeepsEveryPixelByte) {
    const test::TiffSpec spec = test::CameraExif(false, 6, 64, 48);
    const Bytes source = test::WithSegments(test::EncodedJpeg(64, 48),
                                            test::ExifSegment(test::BuildTiff(spec)), true);
    ASSERT_EQ(CountSegments(source, 0xE0), 0);
    const std::optional<Bytes> output = JpegWithResolution(source, 300);
    ASSERT_TRUE(output);
    ASSERT_EQ(output->size(), source.size() + 18);
    EXPECT_EQ(CountSegments(*output, 0xE0), 1);
    // Only the Exif resolution values (two rationals, numerator and denominator) may differ.
    EXPECT_LE(Differences(output->data() + 20, source.data() + 2, source.size() - 2), 16u);
    const size_t scan = WalkJpegHeader(source.data(), source.size()).scanAt;
    EXPECT_TRUE(
        std::equal(source.begin() + long(scan), source.end(), output->begin() + long(scan + 18)));
    EXPECT_TRUE(SamePixels(Decode(*output), Decode(source)));
    EXPECT_TRUE(SamePixels(Decode(*output, cv::IMREAD_COLOR), Decode(source, cv::IMREAD_COLOR)));
    const ReadTiff tags = ReadTags(ExtractJpegMetadata(output->data(), output->size()).exif);
    EXPECT_EQ(tags.values.at(274), 6u) << "the pixels were not turned";
    EXPECT_EQ(tags.values.at(282), 300u);
    EXPECT_NE(tags.nextIfd, 0u) << "a copy keeps its thumbnail";

    test::TempDir dir;
    const std::string path = WriteTemp(dir, "camera.jpg", *output);
    const auto probed = ProbeImageHeader(path);
    ASSERT_TRUE(probed);
    EXPECT_EQ(*probed, (ImageHeaderInfo{48, 64, 300}));
    // Peer readers agree (test dependencies; skipped where they are missing).
    if (Output("command -v exiftool").empty() || Output("command -v identify").empty()) {
        GTEST_SKIP() << "exiftool or identify missing";
    }
    EXPECT_EQ(
        Output("exiftool -s3 -JFIF:XResolution -IFD0:XResolution -IFD0:YResolution '" + path + "'"),
        "300\n300\n300\n");
    EXPECT_EQ(Output("identify -format '%x %y %U' '" + path + "'"), "300 300 PixelsPerInch");
}

TEST(JpegWithResolution, JfifDensitiesChangeInPlace) {
    const struct {
        uint32_t dpi;
        uint8_t high, low;
    } cases[] = {{300, 0x01, 0x2C}, {72, 0x00, 0x48}, {0, 0, 0}, {70000, 0xFF, 0xFF}};
    const Bytes source = test::EncodedJpeg(40, 30);
    for (const auto& c : cases) {
        const std::optional<Bytes> output = JpegWithResolution(source, c.dpi);
        ASSERT_TRUE(output);
        ASSERT_EQ(output->size(), source.size());
        EXPECT_LE(Differences(output->data(), source.data(), source.size()), 5u);
        const Bytes expected = {0x01, c.high, c.low, c.high, c.low};
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), output->begin() + 13)) << c.dpi;
    }
}

TEST(BmpWithResolution, WritesBothFieldsAndNothingElse) {
    test::BmpSpec spec;
    spec.pixelBytes = 64 * 48 * 3;
    const Bytes bmp = test::MakeBmp(spec);
    const std::optional<Bytes> output = BmpWithResolution(bmp, 300);
    ASSERT_TRUE(output);
    ASSERT_EQ(output->size(), bmp.size());
    const Bytes fields = {0x23, 0x2E, 0, 0, 0x23, 0x2E, 0, 0};
    EXPECT_TRUE(std::equal(fields.begin(), fields.end(), output->begin() + 38));
    EXPECT_TRUE(std::equal(bmp.begin() + 46, bmp.end(), output->begin() + 46));

    spec.infoSize = 12;
    const Bytes core = test::MakeBmp(spec);
    EXPECT_EQ(BmpWithResolution(core, 300), core) << "a core header has no fields to set";
    EXPECT_FALSE(BmpWithResolution(test::EncodedJpeg(8, 8), 300));
    EXPECT_FALSE(JpegWithResolution(bmp, 300));
    EXPECT_FALSE(JpegWithResolution({}, 300));
    EXPECT_TRUE(WithResolution("scan.BMP", bmp, 72));
    EXPECT_FALSE(WithResolution("scan.jpg", bmp, 72));
}

TEST(WithResolution, PngAndTiffByTheirExtensionOnly) {
    const cv::Mat image(12, 16, CV_8UC4, cv::Scalar(1, 2, 3, 4));
    Bytes png, tiff;
    ASSERT_TRUE(cv::imencode(".png", image, png));
    ASSERT_TRUE(cv::imencode(".tiff", image, tiff));
    const struct {
        const char* name;
        const Bytes& bytes;
        bool done;
    } cases[] = {
        {"a.png", png, true},   {"a.PNG", png, true},  {"a.tif", tiff, true},
        {"a.TIFF", tiff, true}, {"a.tif", png, false}, {"a.png", tiff, false},
        {"a.jpg", png, false},  {"a.png", {}, false},  {"a.tiff", {}, false},
    };
    for (const auto& c : cases) {
        const std::optional<Bytes> output = WithResolution(c.name, c.bytes, 300);
        ASSERT_EQ(output.has_value(), c.done) << c.name;
        if (output) {
            EXPECT_TRUE(SamePixels(Decode(*output), image)) << c.name;
        }
    }
}

}  // namespace
}  // namespace korvale
