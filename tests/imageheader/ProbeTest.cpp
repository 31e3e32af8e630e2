// The header probe: which reader a name picks, the fields read, and when a file is unreadable.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <ostream>

#include "ImageHeader.h"
#include "PngTiffFiles.h"
#include "TestFiles.h"

namespace korvale {

void PrintTo(const ImageHeaderInfo& info, std::ostream* os) {
    *os << info.width << "x" << info.height << "@" << info.dpi;
}

namespace {

using test::BmpSpec;
using test::Bytes;
using test::ExifOrientation;
using test::ExifResolutionUnit;
using test::ExifXResolution;
using test::JpegBuilder;
using test::kTiffLong;
using test::kTiffRational;
using test::kTiffShort;
using test::MakeTiff;
using test::PngBuilder;
using test::SimplePng;
using test::SimplePngWithPhys;
using test::SimpleTiff;
using test::TiffField;

struct ProbeCase {
    const char* name;
    std::string fileName;
    Bytes bytes;
    std::optional<ImageHeaderInfo> expected;
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.name;
}

std::optional<ImageHeaderInfo> Info(uint32_t w, uint32_t h, uint32_t dpi) {
    return ImageHeaderInfo{w, h, dpi};
}

Bytes Bmp(BmpSpec spec) {
    return test::MakeBmp(spec);
}

BmpSpec BmpWith(int32_t width, int32_t height, int32_t ppm = 3780, uint32_t infoSize = 40,
                uint32_t compression = 0) {
    BmpSpec spec;
    spec.width = width;
    spec.height = height;
    spec.pixelsPerMetreX = ppm;
    spec.infoSize = infoSize;
    spec.compression = compression;
    return spec;
}

Bytes Truncated(Bytes bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

// SOI, JFIF APP0, a quantisation table, the frame and the scan: what encoders usually write.
Bytes TypicalJpeg(uint8_t units, uint16_t density, uint16_t height = 480, uint16_t width = 640) {
    return JpegBuilder()
        .Soi()
        .App0(units, density, density)
        .Segment(0xDB, Bytes(65, 1))
        .Frame(0xC0, height, width)
        .ScanAndEnd()
        .bytes();
}

Bytes ExifJpeg(bool bigEndian, const std::vector<test::ExifEntry>& entries) {
    return JpegBuilder()
        .Soi()
        .App1Exif(bigEndian, entries)
        .Segment(0xDB, Bytes(65, 1))
        .Frame(0xC0, 480, 640)
        .ScanAndEnd()
        .bytes();
}

Bytes ManyCommentSegments(int count) {
    JpegBuilder jpeg;
    jpeg.Soi();
    for (int i = 0; i < count; ++i) {
        jpeg.Segment(0xFE, {'x'});
    }
    return jpeg.Frame(0xC0, 10, 20).ScanAndEnd().bytes();
}

class ProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTest, ReadsHeaderAsDescribed) {
    const ProbeCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.File(c.fileName);
    test::WriteFile(path, c.bytes);
    EXPECT_EQ(ProbeImageHeader(path), c.expected);
}

// BMP fields, the range checks and the DPI rounding.
INSTANTIATE_TEST_SUITE_P(
    Bmp, ProbeTest,
    ::testing::Values(
        ProbeCase{"Info40_96dpi", "a.bmp", Bmp(BmpWith(64, 48, 3780)), Info(64, 48, 96)},
        ProbeCase{"Ppm0_gives0", "a.bmp", Bmp(BmpWith(64, 48, 0)), Info(64, 48, 0)},
        ProbeCase{"Ppm2835_72", "a.bmp", Bmp(BmpWith(1, 1, 2835)), Info(1, 1, 72)},
        ProbeCase{"Ppm3937_100", "a.bmp", Bmp(BmpWith(1, 1, 3937)), Info(1, 1, 100)},
        ProbeCase{"Ppm5906_150", "a.bmp", Bmp(BmpWith(1, 1, 5906)), Info(1, 1, 150)},
        ProbeCase{"Ppm11811_300", "a.bmp", Bmp(BmpWith(1, 1, 11811)), Info(1, 1, 300)},
        ProbeCase{"NegativePpm_gives0", "a.bmp", Bmp(BmpWith(1, 1, -3780)), Info(1, 1, 0)},
        ProbeCase{"PpmBeyond32BitProduct", "a.bmp", Bmp(BmpWith(1, 1, 8454641)),
                  Info(1, 1, 214748)},
        ProbeCase{"PpmMaxInt", "a.bmp", Bmp(BmpWith(1, 1, INT32_MAX)), Info(1, 1, 54546085)},
        ProbeCase{"TopDownHeight", "a.bmp", Bmp(BmpWith(800, -600)), Info(800, 600, 96)},
        ProbeCase{"Width32767", "a.bmp", Bmp(BmpWith(32767, 1)), Info(32767, 1, 96)},
        ProbeCase{"Width32768", "a.bmp", Bmp(BmpWith(32768, 1)), std::nullopt},
        ProbeCase{"Height32768", "a.bmp", Bmp(BmpWith(1, 32768)), std::nullopt},
        ProbeCase{"HeightMinInt", "a.bmp", Bmp(BmpWith(1, INT32_MIN)), std::nullopt},
        ProbeCase{"WidthZero", "a.bmp", Bmp(BmpWith(0, 1)), std::nullopt},
        ProbeCase{"NegativeWidth", "a.bmp", Bmp(BmpWith(-5, 1)), std::nullopt},
        ProbeCase{"Compression3", "a.bmp", Bmp(BmpWith(8, 8, 3780, 40, 3)), std::nullopt},
        ProbeCase{"Compression1", "a.bmp", Bmp(BmpWith(8, 8, 3780, 40, 1)), std::nullopt},
        ProbeCase{"Info108", "a.bmp", Bmp(BmpWith(30, 20, 11811, 108)), Info(30, 20, 300)},
        ProbeCase{"Info124", "a.bmp", Bmp(BmpWith(30, 20, 11811, 124)), Info(30, 20, 300)},
        ProbeCase{"Info12Core", "a.bmp", Bmp(BmpWith(640, 480, 0, 12)), Info(640, 480, 0)},
        ProbeCase{"Info12ZeroSizes", "a.bmp", Bmp(BmpWith(0, 0, 0, 12)), Info(0, 0, 0)},
        ProbeCase{"Info12Width65535", "a.bmp", Bmp(BmpWith(65535, 2, 0, 12)), Info(65535, 2, 0)},
        ProbeCase{"Info39", "a.bmp", Bmp(BmpWith(8, 8, 3780, 39)), std::nullopt},
        ProbeCase{"Info41", "a.bmp", Bmp(BmpWith(8, 8, 3780, 41)), Info(8, 8, 96)},
        ProbeCase{"TruncatedInfoHeader", "a.bmp", Truncated(Bmp(BmpWith(8, 8)), 53),
                  std::nullopt},
        ProbeCase{"TruncatedCoreHeader", "a.bmp", Truncated(Bmp(BmpWith(8, 8, 0, 12)), 25),
                  std::nullopt},
        ProbeCase{"WrongSignature", "a.bmp", [] {
                      Bytes b = test::MakeBmp(BmpSpec{});
                      b[1] = 'A';
                      return b;
                  }(),
                  std::nullopt},
        ProbeCase{"Empty", "a.bmp", Bytes{}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// The reader is chosen by the last extension only; contents are never sniffed.
INSTANTIATE_TEST_SUITE_P(
    Extension, ProbeTest,
    ::testing::Values(
        ProbeCase{"UpperCaseBmp", "scan.BMP", Bmp(BmpWith(10, 20)), Info(10, 20, 96)},
        ProbeCase{"DoubleExtension", "photo.jpg.bmp", Bmp(BmpWith(10, 20)), Info(10, 20, 96)},
        ProbeCase{"BmpNamedJpg", "scan.jpg", Bmp(BmpWith(10, 20)), std::nullopt},
        ProbeCase{"JpegNamedBmp", "photo.bmp", TypicalJpeg(1, 300), std::nullopt},
        ProbeCase{"JpegWithoutDot", "photo", TypicalJpeg(1, 300), Info(640, 480, 300)},
        ProbeCase{"JpegNamedJpeg", "photo.JPEG", TypicalJpeg(1, 300), Info(640, 480, 300)},
        ProbeCase{"Png", "picture.png",
                  Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// JPEG densities, Exif resolution and orientation, frames and the segment walk.
INSTANTIATE_TEST_SUITE_P(
    Jpeg, ProbeTest,
    ::testing::Values(
        ProbeCase{"Units1", "a.jpg", TypicalJpeg(1, 300), Info(640, 480, 300)},
        ProbeCase{"Units2_118", "a.jpg", TypicalJpeg(2, 118), Info(640, 480, 300)},
        ProbeCase{"Units2_38", "a.jpg", TypicalJpeg(2, 38), Info(640, 480, 97)},
        ProbeCase{"Units0", "a.jpg", TypicalJpeg(0, 1), Info(640, 480, 1)},
        ProbeCase{"Units7", "a.jpg", TypicalJpeg(7, 5), Info(640, 480, 5)},
        ProbeCase{"JfifBeatsLaterExif", "a.jpg",
                  JpegBuilder()
                      .Soi()
                      .App0(0, 1, 1)
                      .App1Exif(false, {ExifXResolution(72, 1)})
                      .Frame(0xC0, 480, 640)
                      .ScanAndEnd()
                      .bytes(),
                  Info(640, 480, 1)},
        ProbeCase{"App0AfterExifWins", "a.jpg",
                  JpegBuilder()
                      .Soi()
                      .App1Exif(true, {ExifXResolution(72, 1)})
                      .App0(1, 300, 300)
                      .Frame(0xC0, 480, 640)
                      .ScanAndEnd()
                      .bytes(),
                  Info(640, 480, 300)},
        // A JFXX extension holds a thumbnail where JFIF holds densities.
        ProbeCase{"LaterJfxxIsNoDensity", "a.jpg",
                  JpegBuilder()
                      .Soi()
                      .App0(1, 300, 300)
                      .App0(1, 150, 150, std::string("JFXX\0\x10\x00", 7))
                      .Frame(0xC0, 480, 640)
                      .ScanAndEnd()
                      .bytes(),
                  Info(640, 480, 300)},
        ProbeCase{"NoDensityAnywhere", "a.jpg",
                  JpegBuilder().Soi().Frame(0xC0, 480, 640).ScanAndEnd().bytes(),
                  Info(640, 480, 0)},
        ProbeCase{"ExifLittle72", "a.jpg", ExifJpeg(false, {ExifXResolution(72, 1)}),
                  Info(640, 480, 72)},
        ProbeCase{"ExifBig72", "a.jpg", ExifJpeg(true, {ExifXResolution(72, 1)}),
                  Info(640, 480, 72)},
        ProbeCase{"ExifFraction", "a.jpg", ExifJpeg(true, {ExifXResolution(7200, 100)}),
                  Info(640, 480, 72)},
        ProbeCase{"ExifTruncatesQuotient", "a.jpg", ExifJpeg(false, {ExifXResolution(7299, 100)}),
                  Info(640, 480, 72)},
        ProbeCase{"ExifCentimetres", "a.jpg",
                  ExifJpeg(false, {ExifXResolution(300, 1), ExifResolutionUnit(3)}),
                  Info(640, 480, 0)},
        ProbeCase{"ExifUnitNone", "a.jpg",
                  ExifJpeg(true, {ExifResolutionUnit(1), ExifXResolution(300, 1)}),
                  Info(640, 480, 0)},
        ProbeCase{"ExifUnitBeforeResolution", "a.jpg",
                  ExifJpeg(true, {ExifResolutionUnit(2), ExifXResolution(300, 1)}),
                  Info(640, 480, 300)},
        ProbeCase{"ExifZeroDenominator", "a.jpg", ExifJpeg(false, {ExifXResolution(300, 0)}),
                  Info(640, 480, 0)},
        ProbeCase{"ExifWrongTypeIgnored", "a.jpg",
                  ExifJpeg(false, {{282, 4, 1, 300}, {274, 4, 1, 6}}), Info(640, 480, 0)},
        ProbeCase{"Orientation1", "a.jpg", ExifJpeg(false, {ExifOrientation(1)}),
                  Info(640, 480, 0)},
        ProbeCase{"Orientation3", "a.jpg", ExifJpeg(true, {ExifOrientation(3)}),
                  Info(640, 480, 0)},
        ProbeCase{"Orientation5", "a.jpg", ExifJpeg(false, {ExifOrientation(5)}),
                  Info(480, 640, 0)},
        ProbeCase{"Orientation6", "a.jpg",
                  ExifJpeg(true, {ExifOrientation(6), ExifXResolution(72, 1)}),
                  Info(480, 640, 72)},
        ProbeCase{"Orientation8", "a.jpg", ExifJpeg(false, {ExifOrientation(8)}),
                  Info(480, 640, 0)},
        ProbeCase{"ExifBadByteOrder", "a.jpg",
                  [] {
                      Bytes b = ExifJpeg(false, {ExifOrientation(6), ExifXResolution(72, 1)});
                      b[2 + 4 + 6] = 'X';  // first byte-order letter of the TIFF header
                      return b;
                  }(),
                  Info(640, 480, 0)},
        ProbeCase{"ExifResolutionOutsideFile", "a.jpg",
                  [] {
                      // The orientation stays although the rational cannot be read.
                      Bytes b = ExifJpeg(false, {ExifOrientation(6), ExifXResolution(72, 1)});
                      const size_t offsetField = 2 + 4 + 6 + 8 + 2 + 12 + 8;
                      b[offsetField + 3] = 0x7F;
                      return b;
                  }(),
                  Info(480, 640, 0)},
        ProbeCase{"Sof1", "a.jpg", JpegBuilder().Soi().Frame(0xC1, 5, 6).ScanAndEnd().bytes(),
                  Info(6, 5, 0)},
        ProbeCase{"Sof2", "a.jpg", JpegBuilder().Soi().Frame(0xC2, 5, 6).ScanAndEnd().bytes(),
                  Info(6, 5, 0)},
        ProbeCase{"Sof3", "a.jpg", JpegBuilder().Soi().Frame(0xC3, 5, 6).ScanAndEnd().bytes(),
                  Info(6, 5, 0)},
        ProbeCase{"Sof5Only", "a.jpg", JpegBuilder().Soi().Frame(0xC5, 5, 6).ScanAndEnd().bytes(),
                  std::nullopt},
        ProbeCase{"Sof9Only", "a.jpg", JpegBuilder().Soi().Frame(0xC9, 5, 6).ScanAndEnd().bytes(),
                  std::nullopt},
        ProbeCase{"Sof15Only", "a.jpg",
                  JpegBuilder().Soi().Frame(0xCF, 5, 6).ScanAndEnd().bytes(), std::nullopt},
        ProbeCase{"LastFrameWins", "a.jpg",
                  JpegBuilder().Soi().Frame(0xC0, 5, 6).Frame(0xC2, 7, 8).ScanAndEnd().bytes(),
                  Info(8, 7, 0)},
        ProbeCase{"HeightZero", "a.jpg", JpegBuilder().Soi().Frame(0xC0, 0, 6).bytes(),
                  Info(6, 0, 0)},
        ProbeCase{"TruncatedAfterFrame", "a.jpg",
                  Truncated(TypicalJpeg(1, 72), 2 + 18 + 69 + 19), Info(640, 480, 72)},
        ProbeCase{"TruncatedInsideFrame", "a.jpg",
                  Truncated(TypicalJpeg(1, 72), 2 + 18 + 69 + 8), std::nullopt},
        ProbeCase{"OnlyOtherSegments128", "a.jpg", ManyCommentSegments(128), Info(20, 10, 0)},
        ProbeCase{"OtherSegments129", "a.jpg", ManyCommentSegments(129), std::nullopt},
        ProbeCase{"FillByteBeforeFrame", "a.jpg",
                  JpegBuilder().Soi().Raw({0xFF}).Frame(0xC0, 5, 6).ScanAndEnd().bytes(),
                  std::nullopt},
        ProbeCase{"FrameAfterScanIgnored", "a.jpg",
                  JpegBuilder().Soi().ScanAndEnd().Frame(0xC0, 5, 6).bytes(), std::nullopt},
        ProbeCase{"NoStartOfImage", "a.jpg", Bytes{0xFF, 0xD9, 0xFF, 0xC0}, std::nullopt},
        ProbeCase{"EmptyJpeg", "a.jpg", Bytes{}, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

Bytes WithByte(Bytes bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

Bytes PngWithExif(const Bytes& tiff, bool phys = false) {
    PngBuilder png;
    png.Signature().Ihdr(30, 20).Chunk("eXIf", tiff);
    if (phys) {
        png.Phys(11811, 11811, 1);
    }
    return png.Idat().End().bytes();
}

// PNG: IHDR sizes, the pHYs units and where the chunk may stand, the eXIf orientation.
INSTANTIATE_TEST_SUITE_P(
    Png, ProbeTest,
    ::testing::Values(
        ProbeCase{"Phys11811", "a.png", SimplePngWithPhys(30, 20, 11811, 1), Info(30, 20, 300)},
        ProbeCase{"Phys3780", "a.PNG", SimplePngWithPhys(30, 20, 3780, 1), Info(30, 20, 96)},
        ProbeCase{"Phys2835", "a.Png", SimplePngWithPhys(1, 1, 2835, 1), Info(1, 1, 72)},
        ProbeCase{"PhysUnit0", "a.png", SimplePngWithPhys(30, 20, 2, 0), Info(30, 20, 0)},
        ProbeCase{"PhysUnit2", "a.png", SimplePngWithPhys(30, 20, 11811, 2), Info(30, 20, 0)},
        ProbeCase{"NoPhys", "a.png", SimplePng(30, 20), Info(30, 20, 0)},
        ProbeCase{"PhysBeyondSignedRange", "a.png", SimplePngWithPhys(30, 20, 0x80000000u, 1),
                  Info(30, 20, 0)},
        ProbeCase{"PhysAfterImageData", "a.png",
                  PngBuilder().Signature().Ihdr(30, 20).Idat().Phys(11811, 11811, 1).End().bytes(),
                  Info(30, 20, 0)},
        ProbeCase{"PhysOfWrongLength", "a.png",
                  PngBuilder().Signature().Ihdr(30, 20).Chunk("pHYs", Bytes(8, 1)).Idat().bytes(),
                  Info(30, 20, 0)},
        ProbeCase{"ExifOrientation6", "a.png",
                  PngWithExif(MakeTiff(true, {{274, kTiffShort, {6}}}, 0)), Info(20, 30, 0)},
        ProbeCase{"ExifOrientation8AndPhys", "a.png",
                  PngWithExif(MakeTiff(false, {{274, kTiffShort, {8}}}, 0), true),
                  Info(20, 30, 300)},
        ProbeCase{"ExifOrientation3", "a.png",
                  PngWithExif(MakeTiff(false, {{274, kTiffShort, {3}}}, 0)), Info(30, 20, 0)},
        ProbeCase{"ExifAfterImageData", "a.png",
                  PngBuilder()
                      .Signature()
                      .Ihdr(30, 20)
                      .Idat()
                      .Chunk("eXIf", MakeTiff(false, {{274, kTiffShort, {6}}}, 0))
                      .End()
                      .bytes(),
                  Info(30, 20, 0)},
        // The IFD the header points to lies in the next chunk: not part of the Exif data.
        ProbeCase{"ExifIfdPastItsChunk", "a.png",
                  PngBuilder()
                      .Signature()
                      .Ihdr(30, 20)
                      .Chunk("eXIf", {'M', 'M', 0, 42, 0, 0, 0, 20})
                      .Chunk("tEXt", {0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0})
                      .Idat()
                      .End()
                      .bytes(),
                  Info(30, 20, 0)},
        ProbeCase{"LargeSides", "a.png", SimplePng(0x7FFFFFFF, 70000), Info(0x7FFFFFFF, 70000, 0)},
        ProbeCase{"WidthZero", "a.png", SimplePng(0, 20), std::nullopt},
        ProbeCase{"HeightBeyondSignedRange", "a.png", SimplePng(30, 0x80000000u), std::nullopt},
        ProbeCase{"FirstChunkNotIhdr", "a.png",
                  PngBuilder().Signature().Phys(1, 1, 1).Ihdr(30, 20).Idat().bytes(),
                  std::nullopt},
        ProbeCase{"IhdrOfWrongLength", "a.png", WithByte(SimplePng(30, 20), 11, 14),
                  std::nullopt},
        ProbeCase{"BadSignature", "a.png", WithByte(SimplePng(30, 20), 7, 0), std::nullopt},
        ProbeCase{"CutAfterIhdr", "a.png", Truncated(SimplePngWithPhys(30, 20, 11811, 1), 33),
                  Info(30, 20, 0)},
        ProbeCase{"CutInsidePhys", "a.png", Truncated(SimplePngWithPhys(30, 20, 11811, 1), 45),
                  Info(30, 20, 0)},
        ProbeCase{"CutInsideIhdr", "a.png", Truncated(SimplePng(30, 20), 23), std::nullopt},
        ProbeCase{"HugeChunkLength", "a.png",
                  [] {
                      Bytes b = SimplePngWithPhys(30, 20, 11811, 1);
                      b.insert(b.begin() + 33, {0xFF, 0xFF, 0xFF, 0xF0, 't', 'E', 'X', 't'});
                      return b;
                  }(),
                  Info(30, 20, 0)},
        ProbeCase{"JpegNamedPng", "a.png", TypicalJpeg(1, 300), std::nullopt},
        ProbeCase{"PngNamedJpg", "a.jpg", SimplePngWithPhys(30, 20, 11811, 1), std::nullopt},
        ProbeCase{"PngNamedBmp", "a.bmp", SimplePng(30, 20), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// TIFF: byte orders, size types, the resolution units and their rounding, orientation.
INSTANTIATE_TEST_SUITE_P(
    Tiff, ProbeTest,
    ::testing::Values(
        ProbeCase{"LittleShort300", "a.tif", SimpleTiff(false, 30, 20, 300, 1, 2),
                  Info(30, 20, 300)},
        ProbeCase{"BigShort300", "a.tif", SimpleTiff(true, 30, 20, 300, 1, 2), Info(30, 20, 300)},
        ProbeCase{"LittleLong", "a.TIFF", SimpleTiff(false, 70000, 5, 72, 1, 2, true),
                  Info(70000, 5, 72)},
        ProbeCase{"BigLong", "a.Tif", SimpleTiff(true, 70000, 5, 72, 1, 2, true),
                  Info(70000, 5, 72)},
        ProbeCase{"NoUnitMeansInch", "a.tiff", SimpleTiff(true, 30, 20, 150, 1), Info(30, 20, 150)},
        ProbeCase{"InchTruncated", "a.tif", SimpleTiff(false, 30, 20, 7299, 100, 2),
                  Info(30, 20, 72)},
        ProbeCase{"Centimetre118", "a.tif", SimpleTiff(false, 30, 20, 118, 1, 3),
                  Info(30, 20, 300)},
        ProbeCase{"Centimetre38", "a.tif", SimpleTiff(true, 30, 20, 38, 1, 3), Info(30, 20, 97)},
        // A fraction is not cut first: 37.8 per cm is 96.012 per inch.
        ProbeCase{"CentimetreFraction", "a.tif", SimpleTiff(false, 30, 20, 378, 10, 3),
                  Info(30, 20, 96)},
        ProbeCase{"CentimetreHuge", "a.tif", SimpleTiff(false, 30, 20, UINT32_MAX, 1, 3),
                  Info(30, 20, UINT32_MAX)},
        ProbeCase{"UnitNone", "a.tif", SimpleTiff(false, 30, 20, 300, 1, 1), Info(30, 20, 0)},
        ProbeCase{"ZeroDenominator", "a.tif", SimpleTiff(true, 30, 20, 300, 0, 2), Info(30, 20, 0)},
        ProbeCase{"NoResolution", "a.tif", SimpleTiff(false, 30, 20), Info(30, 20, 0)},
        ProbeCase{
            "ResolutionAsLong", "a.tif",
            MakeTiff(false,
                     {{256, kTiffShort, {30}}, {257, kTiffShort, {20}}, {282, kTiffLong, {300}}}),
            Info(30, 20, 0)},
        ProbeCase{"ResolutionOutsideFile", "a.tif",
                  Truncated(SimpleTiff(false, 30, 20, 300, 1, 2), 8 + 16 + 2 + 5 * 12 + 4),
                  Info(30, 20, 0)},
        ProbeCase{
            "Orientation6", "a.tif",
            MakeTiff(true,
                     {{256, kTiffShort, {30}}, {257, kTiffLong, {20}}, {274, kTiffShort, {6}}}),
            Info(20, 30, 0)},
        ProbeCase{
            "Orientation5", "a.tif",
            MakeTiff(false,
                     {{274, kTiffShort, {5}}, {256, kTiffShort, {30}}, {257, kTiffShort, {20}}}),
            Info(20, 30, 0)},
        ProbeCase{
            "Orientation8", "a.tif",
            MakeTiff(false,
                     {{256, kTiffLong, {30}}, {257, kTiffShort, {20}}, {274, kTiffShort, {8}}}),
            Info(20, 30, 0)},
        ProbeCase{
            "Orientation3", "a.tif",
            MakeTiff(true,
                     {{256, kTiffShort, {30}}, {257, kTiffShort, {20}}, {274, kTiffShort, {3}}}),
            Info(30, 20, 0)},
        ProbeCase{
            "Orientation9", "a.tif",
            MakeTiff(false,
                     {{256, kTiffShort, {30}}, {257, kTiffShort, {20}}, {274, kTiffShort, {9}}}),
            Info(30, 20, 0)},
        ProbeCase{"NoLength", "a.tif", MakeTiff(false, {{256, kTiffShort, {30}}}), std::nullopt},
        ProbeCase{"WidthZero", "a.tif", SimpleTiff(false, 0, 20), std::nullopt},
        ProbeCase{"WidthAsRational", "a.tif",
                  MakeTiff(false, {{256, kTiffRational, {30, 1}}, {257, kTiffShort, {20}}}),
                  std::nullopt},
        ProbeCase{"NoEntries", "a.tif", MakeTiff(true, {}), std::nullopt},
        ProbeCase{"IfdCutShort", "a.tif", Truncated(SimpleTiff(false, 30, 20), 8 + 16 + 2 + 20),
                  std::nullopt},
        ProbeCase{"IfdOutsideFile", "a.tif", WithByte(SimpleTiff(false, 30, 20), 7, 0x40),
                  std::nullopt},
        ProbeCase{"BigTiff", "a.tif", WithByte(SimpleTiff(false, 30, 20), 2, 43), std::nullopt},
        ProbeCase{"MixedByteOrder", "a.tif", WithByte(SimpleTiff(false, 30, 20), 1, 'M'),
                  std::nullopt},
        ProbeCase{"PngNamedTif", "a.tif", SimplePngWithPhys(30, 20, 11811, 1), std::nullopt},
        ProbeCase{"TiffNamedPng", "a.png", SimpleTiff(false, 30, 20, 300, 1, 2), std::nullopt},
        ProbeCase{"TiffNamedJpeg", "a.jpg", SimpleTiff(false, 30, 20, 300, 1, 2), std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProbeFiles, MissingFileAndFolderAreUnreadable) {
    test::TempDir dir;
    EXPECT_EQ(ProbeImageHeader(dir.File("missing.jpg")), std::nullopt);
    EXPECT_EQ(ProbeImageHeader(dir.path()), std::nullopt);
    EXPECT_EQ(ProbeImageHeader(dir.path() + "/"), std::nullopt);
}

TEST(ProbeFiles, NamedPipeIsUnreadableWithoutBlocking) {
    test::TempDir dir;
    const std::string pipe = dir.File("pipe.jpg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(ProbeImageHeader(pipe), std::nullopt);
}

TEST(ProbeJpegHeader, LeavesDpiAloneWhenFileStatesNone) {
    test::TempDir dir;
    const std::string path = dir.File("a.jpg");
    test::WriteFile(path, JpegBuilder().Soi().Frame(0xC0, 5, 6).ScanAndEnd().bytes());
    uint32_t width = 0, height = 0, dpi = 77;
    int32_t orientation = 99;
    ASSERT_TRUE(ProbeJpegHeader(path, width, height, dpi, orientation));
    EXPECT_EQ(dpi, 77u);
    EXPECT_EQ(orientation, 0);
}

}  // namespace
}  // namespace korvale
