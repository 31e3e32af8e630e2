// Resolution stamping, read back byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "ImageHeader.h"
#include "ResolutionStamp.h"
#include "TestFiles.h"

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
    for (const std::string name : {"ro.bmp", "ro.jpg"}) {
        const std::string path = dir.File(name);
        const Bytes before = name == "ro.bmp" ? test::MakeBmp({40, 4, 4, 0, 0, 0, 48})
                                              : JpegBuilder().Soi().App0(0, 1, 1).bytes();
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
    StampResolution(dir.path(), 300);
    SUCCEED();
}

}  // namespace
}  // namespace korvale
