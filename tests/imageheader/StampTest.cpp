// Resolution stamping, read back byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tiffio.h>

#include <algorithm>
#include <cerrno>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "ImageHeader.h"
#include "PngTiffFiles.h"
#include "ResolutionCopy.h"
#include "ResolutionEdit.h"
#include "ResolutionStamp.h"
#include "TestFiles.h"
#include "Text.h"

namespace korvale {
namespace {

using test::Bytes;
using test::JpegBuilder;

Bytes Slice(const Bytes& bytes, size_t from, size_t count) {
    return Bytes(bytes.begin() + static_cast<long>(from),
                 bytes.begin() + static_cast<long>(from + count));
}

// Positions at which two equally long byte strings differ.
std::vector<size_t> Differences(const Bytes& a, const Bytes& b) {
    std::vector<size_t> at;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i]) {
            at.push_back(i);
        }
    }
    return at;
}

TEST(BmpPixelsPerMetre, RoundsHalfUpAndClampsToTheField) {
    const struct {
        uint32_t dpi;
        int32_t expected;
    } cases[] = {
        {0, 0},          {72, 2835},        {96, 3780},        {300, 11811},           {350, 13780},
        {10000, 393701}, {214748, 8454646}, {214749, 8454685}, {UINT32_MAX, INT32_MAX}};
    for (const auto& c : cases) {
        EXPECT_EQ(BmpPixelsPerMetre(c.dpi), c.expected) << c.dpi;
    }
}

TEST(BmpPixelsPerMetre, EveryTargetDpiReadsBackUnchanged) {
    for (uint32_t dpi = 0; dpi <= 10000; ++dpi) {
        ASSERT_EQ(BmpDpiFromPixelsPerMetre(BmpPixelsPerMetre(dpi)), dpi);
    }
}

// A BMP cut short anywhere in its header: the probe, the pixel layout, the stamp and the copy
// each read only the fields the bytes hold, and the fields are written whole or not at all.
TEST(BmpCutShort, EveryReaderTakesOnlyWhatTheBytesHold) {
    test::TempDir dir;
    const Bytes info = test::MakeBmp({});  // 64 x 48, 24 bits, 3780 pixels per metre
    test::BmpSpec coreSpec;
    coreSpec.infoSize = 12;
    const Bytes core = test::MakeBmp(coreSpec);
    const uint8_t stamped300[8] = {0x23, 0x2E, 0, 0, 0x23, 0x2E, 0, 0};  // 11811 twice
    for (const Bytes* whole : {&info, &core}) {
        const bool isCore = whole == &core;
        for (size_t length : {0, 17, 18, 25, 26, 33, 34, 45, 46, 49, 50, 53, 54}) {
            if (length > whole->size()) {
                continue;
            }
            SCOPED_TRACE((isCore ? "core header, " : "info header, ") + std::to_string(length));
            const Bytes bytes(whole->begin(), whole->begin() + static_cast<long>(length));
            const std::string path =
                dir.File(std::to_string(length) + (isCore ? "c" : "i") + ".bmp");
            test::WriteFile(path, bytes);
            const bool bmp = length >= 18;

            const std::optional<ImageHeaderInfo> probed = ProbeImageHeader(path);
            EXPECT_EQ(probed.has_value(), length >= (isCore ? 26u : 54u));
            if (probed) {
                EXPECT_EQ(*probed, (ImageHeaderInfo{64, 48, isCore ? 0u : 96u}));
            }
            const std::optional<PixelLayout> pixel = ProbePixelLayout(path);
            EXPECT_EQ(
                pixel,
                // A core header keeps its colours; its bit count ends at byte 26.
                length >= (isCore ? 26u : 34u) ? std::optional(PixelLayout{3, 1}) : std::nullopt);

            const bool fieldsFit = !isCore && length >= 46;
            Bytes expected = bytes;
            if (fieldsFit) {
                std::copy(std::begin(stamped300), std::end(stamped300), expected.begin() + 38);
            }
            const std::optional<Bytes> copy = WithResolution(path, bytes, 300);
            EXPECT_EQ(copy, bmp ? std::optional(expected) : std::nullopt);
            EXPECT_EQ(StampResolution(path, 300).kind,
                      fieldsFit ? StampOutcome::Kind::Stamped : StampOutcome::Kind::NotStamped);
            EXPECT_EQ(test::ReadFile(path), expected);
        }
    }
}

TEST(StampBmp, WritesBothFieldsAndNothingElse) {
    test::TempDir dir;
    const std::string path = dir.File("out.bmp");
    const Bytes before = test::MakeBmp({40, 4, 4, 0, 0, 0, 48});
    test::WriteFile(path, before);
    StampResolution(path, 300);
    const Bytes after = test::ReadFile(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(Slice(after, 38, 8), (Bytes{0x23, 0x2E, 0, 0, 0x23, 0x2E, 0, 0}));
    EXPECT_EQ(Slice(after, 0, 38), Slice(before, 0, 38));
    EXPECT_EQ(Slice(after, 46, after.size() - 46), Slice(before, 46, before.size() - 46));
    EXPECT_EQ(ProbeImageHeader(path)->dpi, 300u);
}

TEST(StampBmp, ZeroDpiClearsBothFields) {
    test::TempDir dir;
    const std::string path = dir.File("out.bmp");
    test::WriteFile(path, test::MakeBmp({40, 4, 4, 0, 11811, 11811, 48}));
    StampResolution(path, 0);
    EXPECT_EQ(Slice(test::ReadFile(path), 38, 8), Bytes(8, 0));
}

TEST(StampBmp, LeavesUnsuitableFilesUnchanged) {
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"core header", test::MakeBmp({12, 4, 4, 0, 0, 0, 48})},
        {"header of 39 bytes", test::MakeBmp({39, 4, 4, 0, 0, 0, 48})},
        {"no BM signature",
         [] {
             Bytes b = test::MakeBmp({40, 4, 4, 0, 0, 0, 48});
             b[0] = 'X';
             return b;
         }()},
        // The fields would lie beyond the end: the file must not grow.
        {"ends before the fields",
         [] {
             Bytes b = test::MakeBmp({40, 4, 4, 0, 0, 0, 0});
             b.resize(40);
             return b;
         }()},
        // Room for the first field only: half a stamp would be a changed file all the same.
        {"ends inside the second field",
         [] {
             Bytes b = test::MakeBmp({40, 4, 4, 0, 0, 0, 0});
             b.resize(44);
             return b;
         }()},
        {"empty", Bytes{}},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.File("x.bmp");
        test::WriteFile(path, c.bytes);
        StampResolution(path, 300);
        EXPECT_EQ(test::ReadFile(path), c.bytes) << c.name;
    }
}

TEST(StampJpeg, PatchesTheEncodersJfifHeader) {
    test::TempDir dir;
    const std::string path = dir.File("out.jpg");
    const cv::Mat image(16, 24, CV_8UC3, cv::Scalar(10, 200, 30));
    ASSERT_TRUE(cv::imwrite(path, image, {cv::IMWRITE_JPEG_QUALITY, 95}));
    const Bytes before = test::ReadFile(path);
    StampResolution(path, 350);
    const Bytes after = test::ReadFile(path);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(Slice(after, 13, 5), (Bytes{0x01, 0x01, 0x5E, 0x01, 0x5E}));
    for (size_t at : Differences(before, after)) {
        EXPECT_TRUE(at >= 13 && at < 18) << at;
    }
    EXPECT_EQ(ProbeImageHeader(path), (ImageHeaderInfo{24, 16, 350}));
}

struct JpegStampCase {
    const char* name;
    std::string fileName;
    Bytes bytes;
    uint32_t dpi;
    std::optional<size_t> fieldsAt;  // where the five bytes go; nullopt: file unchanged
    Bytes fields;
};

void PrintTo(const JpegStampCase& c, std::ostream* os) {
    *os << c.name;
}

class StampJpegCases : public ::testing::TestWithParam<JpegStampCase> {};

TEST_P(StampJpegCases, WritesOnlyTheFirstApp0) {
    const JpegStampCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.File(c.fileName);
    test::WriteFile(path, c.bytes);
    StampResolution(path, c.dpi);
    Bytes expected = c.bytes;
    if (c.fieldsAt) {
        std::copy(c.fields.begin(), c.fields.end(),
                  expected.begin() + static_cast<long>(*c.fieldsAt));
    }
    EXPECT_EQ(test::ReadFile(path), expected);
}

Bytes WithApp1First() {
    return JpegBuilder()
        .Soi()
        .App1Exif(false, {test::ExifXResolution(72, 1)})
        .App0(0, 1, 1)
        .Frame(0xC0, 4, 4)
        .ScanAndEnd()
        .bytes();
}

constexpr size_t kApp1Size = 2 + 2 + 6 + 8 + 2 + 12 + 4 + 8;

Bytes ManySegmentsThenApp0(int count) {
    JpegBuilder jpeg;
    jpeg.Soi();
    for (int i = 0; i < count; ++i) {
        jpeg.Segment(0xFE, {'c'});
    }
    return jpeg.App0(0, 1, 1).Frame(0xC0, 4, 4).ScanAndEnd().bytes();
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, StampJpegCases,
    ::testing::Values(
        JpegStampCase{"App1BeforeApp0",
                      "a.jpg",
                      WithApp1First(),
                      300,
                      2 + kApp1Size + 11,
                      {1, 0x01, 0x2C, 0x01, 0x2C}},
        JpegStampCase{"NoApp0",
                      "a.jpg",
                      JpegBuilder()
                          .Soi()
                          .App1Exif(true, {test::ExifXResolution(72, 1)})
                          .Frame(0xC0, 4, 4)
                          .ScanAndEnd()
                          .bytes(),
                      300,
                      std::nullopt,
                      {}},
        JpegStampCase{"App0AfterScanIgnored",
                      "a.jpg",
                      JpegBuilder().Soi().ScanAndEnd().App0(0, 1, 1).bytes(),
                      300,
                      std::nullopt,
                      {}},
        JpegStampCase{"FillBytesBeforeMarker",
                      "a.jpg",
                      JpegBuilder().Soi().Raw({0xFF, 0xFF, 0xFF}).App0(0, 1, 1).bytes(),
                      72,
                      2 + 3 + 11,
                      {1, 0, 72, 0, 72}},
        JpegStampCase{
            "StrayBytesBetweenSegments",
            "a.jpg",
            JpegBuilder().Soi().Segment(0xDB, {1, 2}).Raw({0x00, 0x12}).App0(0, 1, 1).bytes(),
            96,
            2 + 6 + 2 + 11,
            {1, 0, 96, 0, 96}},
        JpegStampCase{"DpiAbove16BitsIsClamped",
                      "a.jpg",
                      JpegBuilder().Soi().App0(0, 1, 1).bytes(),
                      70000,
                      13,
                      {1, 0xFF, 0xFF, 0xFF, 0xFF}},
        JpegStampCase{"NonJfifApp0IsStampedToo",
                      "a.jpg",
                      JpegBuilder().Soi().App0(0, 1, 1, std::string("ABCDEFG", 7)).bytes(),
                      200,
                      13,
                      {1, 0, 200, 0, 200}},
        JpegStampCase{"Segments128ThenApp0",
                      "a.jpg",
                      ManySegmentsThenApp0(128),
                      100,
                      2 + 128 * 5 + 11,
                      {1, 0, 100, 0, 100}},
        JpegStampCase{
            "Segments129ThenApp0", "a.jpg", ManySegmentsThenApp0(129), 100, std::nullopt, {}},
        JpegStampCase{"App0WithoutRoomForFields",
                      "a.jpg",
                      Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 1},
                      300,
                      std::nullopt,
                      {}},
        JpegStampCase{"App0TooShortForTheFieldsLeavesTheNextSegment",
                      "a.jpg",
                      JpegBuilder()
                          .Soi()
                          .Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 1})
                          .Segment(0xDB, {1, 2, 3, 4, 5, 6})
                          .bytes(),
                      300,
                      std::nullopt,
                      {}},
        JpegStampCase{"NoStartOfImage",
                      "a.jpg",
                      Bytes{0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'},
                      300,
                      std::nullopt,
                      {}},
        JpegStampCase{"NameBmpJpgIsJpeg",
                      "pic.bmp.jpg",
                      JpegBuilder().Soi().App0(0, 1, 1).bytes(),
                      300,
                      13,
                      {1, 0x01, 0x2C, 0x01, 0x2C}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StampResolution, MixedCaseBmpExtensionTakesTheBmpBranch) {
    test::TempDir dir;
    const std::string path = dir.File("OUT.Bmp");
    test::WriteFile(path, test::MakeBmp({40, 4, 4, 0, 0, 0, 48}));
    StampResolution(path, 96);
    EXPECT_EQ(Slice(test::ReadFile(path), 38, 4), (Bytes{0xC4, 0x0E, 0, 0}));
}

TEST(StampResolution, ReadOnlyFileIsLeftAlone) {
    test::TempDir dir;
    const std::pair<std::string, Bytes> files[] = {
        {"ro.bmp", test::MakeBmp({40, 4, 4, 0, 0, 0, 48})},
        {"ro.jpg", JpegBuilder().Soi().App0(0, 1, 1).bytes()},
        {"in-place.png", test::SimplePngWithPhys(4, 4, 1, 0)},
        {"insert.png", test::SimplePng(4, 4)},
        {"in-place.tif", test::SimpleTiff(false, 4, 4, 72, 1, 2)},
        {"insert.tif", test::SimpleTiff(true, 4, 4)},
    };
    for (const auto& [name, before] : files) {
        const std::string path = dir.File(name);
        test::WriteFile(path, before);
        ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
        StampResolution(path, 300);
        EXPECT_EQ(test::ReadFile(path), before) << name;
    }
}

TEST(StampResolution, MissingFileIsSilent) {
    test::TempDir dir;
    StampResolution(dir.File("none.jpg"), 300);
    StampResolution(dir.File("none.bmp"), 300);
    StampResolution(dir.File("none.png"), 300);
    StampResolution(dir.File("none.tif"), 300);
    StampResolution(dir.path(), 300);
    SUCCEED();
}

// Every chunk from the signature to IEND, with its CRC checked.
bool PngChunksIntact(const Bytes& png, std::vector<std::string>* types = nullptr) {
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint32_t length =
            (uint32_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
        if (at + 12 + length > png.size()) {
            return false;
        }
        const uint8_t* crc = png.data() + at + 8 + length;
        const uint32_t stored = (uint32_t{crc[0]} << 24) | (crc[1] << 16) | (crc[2] << 8) | crc[3];
        if (test::PngCrc(png.data() + at + 4, length + 4) != stored) {
            return false;
        }
        if (types != nullptr) {
            types->emplace_back(png.begin() + static_cast<long>(at) + 4,
                                png.begin() + static_cast<long>(at) + 8);
        }
        at += 12 + length;
    }
    return at == png.size();
}

struct EditCase {
    const char* name;
    std::string fileName;
    Bytes bytes;
    uint32_t dpi;
    // How many bytes the file grows; -1: it is left as it was.
    int growth;
};

void PrintTo(const EditCase& c, std::ostream* os) {
    *os << c.name;
}

class StampEdit : public ::testing::TestWithParam<EditCase> {};

// The file stamp and the copy in memory make the same bytes; a stamped file reads back its DPI
// with its size unchanged, and a second stamp never grows it again.
TEST_P(StampEdit, SetsTheResolutionOrLeavesTheFileAlone) {
    const EditCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.File(c.fileName);
    test::WriteFile(path, c.bytes);
    const auto before = ProbeImageHeader(path);
    StampResolution(path, c.dpi);
    const Bytes after = test::ReadFile(path);
    const bool png = AsciiToLower(c.fileName.back()) == 'g';
    const auto inMemory =
        png ? PngWithResolution(c.bytes, c.dpi) : TiffWithResolution(c.bytes, c.dpi);
    if (c.growth < 0) {
        EXPECT_EQ(after, c.bytes);
        EXPECT_FALSE(inMemory);
        return;
    }
    ASSERT_EQ(after.size(), c.bytes.size() + static_cast<size_t>(c.growth));
    EXPECT_EQ(inMemory, after);
    ASSERT_TRUE(before);
    EXPECT_EQ(ProbeImageHeader(path), (ImageHeaderInfo{before->width, before->height, c.dpi}));
    if (png) {
        EXPECT_TRUE(PngChunksIntact(after));
    }
    StampResolution(path, 96);
    EXPECT_EQ(test::ReadFile(path).size(), after.size());
    EXPECT_EQ(ProbeImageHeader(path)->dpi, 96u);
}

Bytes PngWithChunkBeforeImage(const std::string& type, const Bytes& data) {
    return test::PngBuilder()
        .Signature()
        .Ihdr(30, 20)
        .Chunk(type, data)
        .Idat()
        .Idat()
        .End()
        .bytes();
}

INSTANTIATE_TEST_SUITE_P(
    Png, StampEdit,
    ::testing::Values(
        EditCase{"PhysInPlace", "a.png", test::SimplePngWithPhys(30, 20, 3780, 1), 300, 0},
        EditCase{"PhysUnit0InPlace", "a.PNG", test::SimplePngWithPhys(30, 20, 1, 0), 72, 0},
        EditCase{"PhysInserted", "a.png", test::SimplePng(30, 20), 300, 21},
        EditCase{"PhysInsertedBeforeFirstOfTwoIdat", "a.png",
                 PngWithChunkBeforeImage("iCCP", Bytes(40, 7)), 150, 21},
        EditCase{"PhysAfterImageDataGetsOneBefore", "a.png",
                 test::PngBuilder().Signature().Ihdr(30, 20).Idat().Phys(1, 1, 0).End().bytes(),
                 600, 21},
        EditCase{"LargeDpiClampedToTheField", "a.png", test::SimplePng(30, 20), 10000, 21},
        EditCase{"DamagedPhys", "a.png", PngWithChunkBeforeImage("pHYs", Bytes(8, 0)), 300, -1},
        EditCase{"NoImageData", "a.png", test::PngBuilder().Signature().Ihdr(30, 20).End().bytes(),
                 300, -1},
        EditCase{"CutBeforeImageData", "a.png", Slice(test::SimplePng(30, 20), 0, 40), 300, -1},
        EditCase{"PhysWithoutRoomForCrc", "a.png",
                 Slice(test::SimplePngWithPhys(30, 20, 1, 1), 0, 53), 300, -1},
        EditCase{"JpegNamedPng", "a.png", JpegBuilder().Soi().App0(1, 72, 72).bytes(), 300, -1},
        EditCase{"Empty", "a.png", Bytes{}, 300, -1}),
    [](const auto& info) { return std::string(info.param.name); });

Bytes TiffWithTextTag(bool bigEndian, const std::vector<test::TiffField>& resolution) {
    std::vector<test::TiffField> fields = {{256, test::kTiffShort, {30}},
                                           {257, test::kTiffLong, {20}},
                                           {273, test::kTiffLong, {8}},
                                           {279, test::kTiffLong, {16}}};
    fields.insert(fields.end(), resolution.begin(), resolution.end());
    return test::MakeTiff(bigEndian, fields);
}

Bytes RationalInsideTheIfd() {
    Bytes b = test::SimpleTiff(false, 30, 20, 72, 1, 2);
    b[8 + 16 + 2 + 2 * 12 + 8] = 8 + 16 + 2;  // XResolution's offset: the IFD's first entry
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Tiff, StampEdit,
    ::testing::Values(
        EditCase{"LittleInPlace", "a.tif", test::SimpleTiff(false, 30, 20, 72, 1, 2), 300, 0},
        EditCase{"BigInPlace", "a.tiff", test::SimpleTiff(true, 30, 20, 72, 1, 2), 300, 0},
        EditCase{"CentimetresBecomeInches", "a.TIF", test::SimpleTiff(true, 30, 20, 118, 1, 3), 150,
                 0},
        EditCase{"LargeDpiExact", "a.tif", test::SimpleTiff(false, 30, 20, 1, 1, 2), UINT32_MAX, 0},
        // A new IFD0 of 7 entries plus two rationals.
        EditCase{"NoTagsLittle", "a.tif", TiffWithTextTag(false, {}), 300, 2 + 7 * 12 + 4 + 16},
        EditCase{"NoTagsBig", "a.tif", TiffWithTextTag(true, {}), 300, 2 + 7 * 12 + 4 + 16},
        EditCase{"OddLengthGetsAPaddingByte", "a.tif",
                 [] {
                     Bytes b = test::SimpleTiff(true, 30, 20);
                     b.push_back(0);
                     return b;
                 }(),
                 300, 1 + 2 + 5 * 12 + 4 + 16},
        EditCase{"NoUnitTag", "a.tif", test::SimpleTiff(false, 30, 20, 72, 1), 300,
                 2 + 5 * 12 + 4 + 16},
        EditCase{
            "ResolutionAsLong", "a.tif",
            TiffWithTextTag(false, {{282, test::kTiffLong, {72}}, {296, test::kTiffShort, {2}}}),
            300, 2 + 7 * 12 + 4 + 16},
        EditCase{"RationalInsideTheIfd", "a.tif", RationalInsideTheIfd(), 300, 2 + 5 * 12 + 4 + 16},
        EditCase{"NoLength", "a.tif", test::MakeTiff(false, {{256, test::kTiffShort, {30}}}), 300,
                 -1},
        EditCase{"CutInsideTheIfd", "a.tif", Slice(test::SimpleTiff(false, 30, 20), 0, 40), 300,
                 -1},
        EditCase{"PngNamedTif", "a.tif", test::SimplePng(30, 20), 300, -1},
        EditCase{"Empty", "a.tif", Bytes{}, 300, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StampPng, InPlaceWritesOnlyTheChunkDataAndCrc) {
    test::TempDir dir;
    const std::string path = dir.File("a.png");
    const Bytes before = test::SimplePngWithPhys(30, 20, 3780, 1);
    test::WriteFile(path, before);
    StampResolution(path, 300);
    const Bytes after = test::ReadFile(path);
    for (size_t at : Differences(before, after)) {
        EXPECT_TRUE(at >= 41 && at < 54) << at;
    }
    // 11811 twice, unit 1.
    EXPECT_EQ(Slice(after, 41, 9), (Bytes{0, 0, 0x2E, 0x23, 0, 0, 0x2E, 0x23, 1}));
}

TEST(StampPng, InsertedChunkStandsRightBeforeTheImageData) {
    test::TempDir dir;
    const std::string path = dir.File("a.png");
    const Bytes before = PngWithChunkBeforeImage("tEXt", {'k', 0, 'v'});
    test::WriteFile(path, before);
    StampResolution(path, 300);
    std::vector<std::string> types;
    ASSERT_TRUE(PngChunksIntact(test::ReadFile(path), &types));
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "tEXt", "pHYs", "IDAT", "IDAT", "IEND"}));
}

TEST(StampTiff, AppendedIfdKeepsEveryOtherTagAndTheOldBytes) {
    for (bool bigEndian : {false, true}) {
        test::TempDir dir;
        const std::string path = dir.File("a.tif");
        const Bytes before = TiffWithTextTag(bigEndian, {{282, test::kTiffRational, {7, 0}}});
        test::WriteFile(path, before);
        StampResolution(path, 300);
        const Bytes after = test::ReadFile(path);
        ASSERT_GT(after.size(), before.size());
        // Only the header's IFD offset changed in what was there.
        for (size_t at : Differences(before, after)) {
            EXPECT_TRUE(at >= 4 && at < 8) << at;
        }
        const size_t ifd = bigEndian ? (after[6] << 8) | after[7] : after[4] | (after[5] << 8);
        EXPECT_EQ(ifd % 2, 0u);
        const auto get16 = [&](size_t at) {
            return bigEndian ? (after[at] << 8) | after[at + 1] : after[at] | (after[at + 1] << 8);
        };
        std::vector<int> tags;
        for (int i = 0; i < get16(ifd); ++i) {
            tags.push_back(get16(ifd + 2 + 12 * static_cast<size_t>(i)));
        }
        EXPECT_EQ(tags, (std::vector<int>{256, 257, 273, 279, 282, 283, 296})) << bigEndian;
        // The strip entries are copied as they were.
        const size_t oldIfd = 24;
        EXPECT_EQ(Slice(after, ifd + 2, 48), Slice(before, oldIfd + 2, 48));
    }
}

// The outcome says whether bytes changed, whether or not the file is otherwise readable.
TEST(StampOutcome, SaysWhatHappenedToTheBytes) {
    using Kind = StampOutcome::Kind;
    const Bytes bmp = test::MakeBmp({40, 4, 4, 0, 0, 0, 48});
    const Bytes jfif = JpegBuilder().Soi().App0(1, 72, 72).Frame(0xC0, 3, 4).bytes();
    const auto withByte = [](Bytes bytes, size_t at, uint8_t value) {
        bytes[at] = value;
        return bytes;
    };
    const struct {
        const char* name;
        std::string fileName;
        Bytes bytes;
        Kind expected;
    } cases[] = {
        // Damaged beyond the probe, but the fields are there to write.
        {"BMP of width 0", "a.bmp", test::MakeBmp({40, 0, 4, 0, 0, 0, 48}), Kind::Stamped},
        {"BMP without pixels", "a.bmp", test::MakeBmp({40, 4, 4, 0, 0, 0, 0}), Kind::Stamped},
        {"BMP of unknown compression", "a.bmp", test::MakeBmp({40, 4, 4, 77, 0, 0, 48}),
         Kind::Stamped},
        {"BMP of bit count 0", "a.bmp", withByte(bmp, 28, 0), Kind::Stamped},
        {"JPEG without a frame", "a.jpg", JpegBuilder().Soi().App0(0, 1, 1).bytes(), Kind::Stamped},
        {"JPEG with a frame of height 0", "a.jpg",
         JpegBuilder().Soi().App0(0, 1, 1).Frame(0xC0, 0, 4).bytes(), Kind::Stamped},
        {"JPEG cut inside its frame", "a.jpg",
         Slice(JpegBuilder().Soi().App0(0, 1, 1).Frame(0xC0, 3, 4).bytes(), 0, 24), Kind::Stamped},
        {"BMP already at the DPI", "a.bmp", test::MakeBmp({40, 4, 4, 0, 11811, 11811, 48}),
         Kind::AlreadySet},
        {"JPEG already at the DPI", "a.jpg",
         JpegBuilder().Soi().App0(1, 300, 300).Frame(0xC0, 3, 4).bytes(), Kind::AlreadySet},
        {"PNG already at the DPI", "a.png", test::SimplePngWithPhys(4, 3, 11811, 1),
         Kind::AlreadySet},
        {"TIFF already at the DPI", "a.tif", test::SimpleTiff(false, 4, 3, 300, 1, 2),
         Kind::AlreadySet},
        {"JPEG with Exif only", "a.jpg",
         JpegBuilder()
             .Soi()
             .App1Exif(false, {test::ExifXResolution(72, 1)})
             .Frame(0xC0, 2, 2)
             .bytes(),
         Kind::NoJfif},
        {"JPEG with an APP0 too short", "a.jpg",
         JpegBuilder().Soi().Segment(0xE0, {'J', 'F', 'I', 'F', 0}).Frame(0xC0, 2, 2).bytes(),
         Kind::NoJfif},
        {"JPEG of its start marker only", "a.jpg", Bytes{0xFF, 0xD8}, Kind::NoJfif},
        {"BMP ending inside its fields", "a.bmp", Slice(bmp, 0, 44), Kind::NotStamped},
        {"JPEG ending inside its fields", "a.jpg", Slice(jfif, 0, 16), Kind::NotStamped},
        {"not a BMP", "a.bmp", jfif, Kind::NotStamped},
        {"not a JPEG", "a.jpg", bmp, Kind::NotStamped},
        {"PNG named TIFF", "a.tif", test::SimplePng(4, 3), Kind::NotStamped},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        const std::string path = dir.File(c.fileName);
        test::WriteFile(path, c.bytes);
        const StampOutcome outcome = StampResolution(path, 300);
        EXPECT_EQ(outcome.kind, c.expected) << c.name;
        EXPECT_EQ(test::ReadFile(path) != c.bytes, c.expected == Kind::Stamped) << c.name;
        EXPECT_EQ(StampResolution(path, 300).kind,
                  c.expected == Kind::Stamped ? Kind::AlreadySet : c.expected)
            << c.name;
        ::unlink(path.c_str());
    }
}

TEST(StampOutcome, SaysWhyTheSystemRefused) {
    test::TempDir dir;
    const std::string readOnly = dir.File("ro.jpg");
    test::WriteFile(readOnly, JpegBuilder().Soi().App0(0, 1, 1).bytes());
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    const std::string fifo = dir.File("pipe.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const struct {
        std::string path;
        int error;
    } cases[] = {
        {dir.File("missing.bmp"), ENOENT},
        {dir.File("missing.png"), ENOENT},
        {dir.path(), EISDIR},
        {fifo, ENXIO},
        {readOnly, EACCES},
        {dir.File("missing/a.tif"), ENOENT},
    };
    for (const auto& c : cases) {
        const StampOutcome outcome = StampResolution(c.path, 300);
        EXPECT_EQ(outcome.kind, StampOutcome::Kind::Failed) << c.path;
        EXPECT_EQ(outcome.error, c.error) << c.path;
    }
}

}  // namespace
}  // namespace korvale

namespace korvale {
namespace {

// A camera's JFIF header followed by a JFXX thumbnail: the stamp and the probe after it take the
// same segment, and the thumbnail's bytes stay as they are.
TEST(StampJpeg, ProbeReadsTheApp0TheStampWrote) {
    const Bytes thumbnail = {'J',  'F',  'X',  'X',  0,    0x10, 0xFF, 0xD8,
                             0xFF, 0xDB, 0x00, 0x43, 0x00, 0x11, 0x22, 0x33};
    const struct {
        const char* name;
        Bytes bytes;
        bool stamped;
    } cases[] = {
        {"JFIF then JFXX",
         JpegBuilder()
             .Soi()
             .App0(1, 72, 72)
             .Segment(0xE0, thumbnail)
             .Frame(0xC0, 4, 4)
             .ScanAndEnd()
             .bytes(),
         true},
        {"Exif, JFXX, then JFIF",
         JpegBuilder()
             .Soi()
             .App1Exif(false, {test::ExifXResolution(72, 1)})
             .Segment(0xE0, thumbnail)
             .App0(1, 72, 72)
             .Frame(0xC0, 4, 4)
             .ScanAndEnd()
             .bytes(),
         true},
        {"two JFIF headers",
         JpegBuilder().Soi().App0(1, 72, 72).App0(1, 96, 96).Frame(0xC0, 4, 4).ScanAndEnd().bytes(),
         true},
        {"JFXX alone",
         JpegBuilder().Soi().Segment(0xE0, thumbnail).Frame(0xC0, 4, 4).ScanAndEnd().bytes(),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::string path = dir.File("a.jpg");
        test::WriteFile(path, c.bytes);
        const StampOutcome outcome = StampResolution(path, 300);
        const Bytes after = test::ReadFile(path);
        // Whatever was written, a thumbnail is whole.
        const auto has = [&thumbnail](const Bytes& bytes) {
            return std::search(bytes.begin(), bytes.end(), thumbnail.begin(), thumbnail.end()) !=
                   bytes.end();
        };
        EXPECT_EQ(has(after), has(c.bytes));
        if (!c.stamped) {
            EXPECT_EQ(outcome.kind, StampOutcome::Kind::NoJfif);
            EXPECT_EQ(after, c.bytes);
            continue;
        }
        EXPECT_EQ(outcome.kind, StampOutcome::Kind::Stamped);
        const std::optional<ImageHeaderInfo> probed = ProbeImageHeader(path);
        ASSERT_TRUE(probed.has_value());
        EXPECT_EQ(probed->dpi, 300u);
        EXPECT_EQ(StampResolution(path, 300).kind, StampOutcome::Kind::AlreadySet);
    }
}

// The IFD links of a TIFF file, in the order a reader follows them, up to the first repeat.
std::vector<uint32_t> IfdChain(const Bytes& tiff) {
    const bool big = tiff[0] == 'M';
    const auto get = [&](size_t at, int size) {
        uint32_t value = 0;
        for (int i = 0; i < size; ++i) {
            value |= static_cast<uint32_t>(tiff[at + (big ? size - 1 - i : i)]) << (8 * i);
        }
        return value;
    };
    std::vector<uint32_t> chain;
    for (uint32_t ifd = get(4, 4); ifd != 0 && ifd + 2 <= tiff.size();) {
        if (std::find(chain.begin(), chain.end(), ifd) != chain.end()) {
            break;
        }
        chain.push_back(ifd);
        const size_t next = ifd + 2 + 12 * size_t{get(ifd, 2)};
        if (next + 4 > tiff.size()) {
            break;
        }
        ifd = get(next, 4);
    }
    return chain;
}

// Points the next-IFD link of IFD `from` (an index along the chain) at `offset`.
Bytes LinkedTo(Bytes tiff, size_t from, uint32_t offset) {
    const std::vector<uint32_t> chain = IfdChain(tiff);
    const bool big = tiff[0] == 'M';
    const uint32_t ifd = chain.at(from);
    const size_t count = big ? (tiff[ifd] << 8) | tiff[ifd + 1] : tiff[ifd] | (tiff[ifd + 1] << 8);
    const size_t link = ifd + 2 + 12 * count;
    for (int i = 0; i < 4; ++i) {
        tiff[link + (big ? 3 - i : i)] = static_cast<uint8_t>(offset >> (8 * i));
    }
    return tiff;
}

// Points it at IFD `to` of the chain.
Bytes Linked(const Bytes& tiff, size_t from, size_t to) {
    return LinkedTo(tiff, from, IfdChain(tiff).at(to));
}

// A TIFF whose IFD chain loops keeps as many pages when a stamp or the resolution copy appends a
// new first IFD: the loop ends where it ended for readers.
TEST(StampTiff, LoopingIfdChainGainsNoPage) {
    // 4 x 3 grey pixels in one strip, without resolution fields.
    const auto grey = [](bool bigEndian) {
        using test::kTiffShort;
        return test::MakeTiff(bigEndian, {{256, kTiffShort, {4}},
                                          {257, kTiffShort, {3}},
                                          {258, kTiffShort, {8}},
                                          {259, kTiffShort, {1}},
                                          {262, kTiffShort, {1}},
                                          {273, kTiffShort, {8}},
                                          {277, kTiffShort, {1}},
                                          {278, kTiffShort, {3}},
                                          {279, kTiffShort, {12}}});
    };
    const Bytes one = grey(false);
    // Two pages: the second IFD is a copy of the first one's entries placed after it.
    Bytes two = grey(true);
    {
        const std::vector<uint32_t> chain = IfdChain(two);
        const size_t ifd = chain[0];
        const size_t count = (two[ifd] << 8) | two[ifd + 1];
        const Bytes copy(two.begin() + static_cast<long>(ifd),
                         two.begin() + static_cast<long>(ifd + 2 + 12 * count + 4));
        two.resize(two.size() + (two.size() & 1));
        const auto second = static_cast<uint32_t>(two.size());
        two.insert(two.end(), copy.begin(), copy.end());
        const size_t link = ifd + 2 + 12 * count;
        for (int i = 0; i < 4; ++i) {
            two[link + 3 - i] = static_cast<uint8_t>(second >> (8 * i));
        }
        ASSERT_EQ(IfdChain(two).size(), 2u);
    }
    const struct {
        const char* name;
        Bytes bytes;
        size_t pages;
    } cases[] = {
        {"first links to itself", Linked(one, 0, 0), 1},
        {"second links back to the first", Linked(two, 1, 0), 2},
        {"second links to itself", Linked(two, 1, 1), 2},
        {"no loop", two, 2},
        // Readers end the chain there, where the stamp appends the new first IFD: that IFD must
        // not become a page, nor its values a cut link.
        {"second links past the end, where the new IFD goes",
         LinkedTo(two, 1, static_cast<uint32_t>((two.size() + 1) & ~size_t{1})), 2},
        {"second links past the end, into the new IFD's entries",
         LinkedTo(two, 1, static_cast<uint32_t>(((two.size() + 1) & ~size_t{1}) + 2)), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(IfdChain(c.bytes).size(), c.pages);
        const std::optional<Bytes> copied = TiffWithResolution(c.bytes, 300);
        ASSERT_TRUE(copied.has_value());
        EXPECT_EQ(IfdChain(*copied).size(), c.pages);
        test::TempDir dir;
        const std::string path = dir.File("a.tif");
        test::WriteFile(path, c.bytes);
        EXPECT_EQ(StampResolution(path, 300).kind, StampOutcome::Kind::Stamped);
        const Bytes stamped = test::ReadFile(path);
        EXPECT_EQ(IfdChain(stamped).size(), c.pages);
        EXPECT_EQ(stamped, *copied);
        // libtiff, which stops at a repeated IFD as well, agrees.
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(tif, nullptr);
        EXPECT_EQ(TIFFNumberOfDirectories(tif), c.pages);
        float x = 0;
        float y = 0;
        EXPECT_EQ(TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x), 1);
        EXPECT_EQ(TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y), 1);
        EXPECT_EQ(x, 300.0f);
        EXPECT_EQ(y, 300.0f);
        TIFFClose(tif);
        EXPECT_EQ(ProbeImageHeader(path)->dpi, 300u);
    }
}

}  // namespace
}  // namespace korvale
