// The probe and the stamper on many random and mutated headers: no crash, no hang (the CTest
// timeout), no write outside the fields, and never a change of the file's length.
#include <gtest/gtest.h>

#include <random>

#include "ImageHeader.h"
#include "PngTiffFiles.h"
#include "ResolutionEdit.h"
#include "ResolutionStamp.h"
#include "TestFiles.h"
#include "Text.h"

namespace korvale {
namespace {

using test::Bytes;
using test::JpegBuilder;

std::vector<Bytes> Templates() {
    std::vector<Bytes> templates;
    for (uint32_t infoSize : {12u, 40u, 108u, 124u}) {
        templates.push_back(test::MakeBmp({infoSize, 31, -17, 0, 3780, 3780, 64}));
    }
    templates.push_back(JpegBuilder()
                            .Soi()
                            .App0(1, 300, 300)
                            .Segment(0xDB, Bytes(65, 3))
                            .Frame(0xC0, 480, 640)
                            .ScanAndEnd()
                            .bytes());
    for (bool bigEndian : {false, true}) {
        templates.push_back(
            JpegBuilder()
                .Soi()
                .App1Exif(bigEndian, {test::ExifOrientation(6), test::ExifXResolution(7200, 100),
                                      test::ExifResolutionUnit(2)})
                .App0(2, 118, 118)
                .Frame(0xC2, 10, 20)
                .ScanAndEnd()
                .bytes());
    }
    templates.push_back(test::SimplePng(30, 20));
    templates.push_back(test::SimplePngWithPhys(30, 20, 3780, 1));
    for (bool bigEndian : {false, true}) {
        templates.push_back(test::SimpleTiff(bigEndian, 30, 20));
        templates.push_back(test::MakeTiff(bigEndian, {{256, test::kTiffLong, {30}},
                                                       {257, test::kTiffShort, {20}},
                                                       {274, test::kTiffShort, {6}},
                                                       {282, test::kTiffRational, {72, 1}},
                                                       {283, test::kTiffRational, {72, 1}},
                                                       {296, test::kTiffShort, {3}}}));
    }
    return templates;
}

Bytes Mutate(Bytes bytes, std::mt19937& random) {
    auto pick = [&random](size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random);
    };
    const int mutations = 1 + static_cast<int>(pick(6));
    for (int m = 0; m < mutations; ++m) {
        switch (pick(7)) {
            case 0:  // flip a byte
                if (!bytes.empty()) {
                    bytes[pick(bytes.size())] = static_cast<uint8_t>(random());
                }
                break;
            case 1:  // truncate
                bytes.resize(pick(bytes.size() + 1));
                break;
            case 2:  // a length or offset field becomes extreme
                if (bytes.size() >= 2) {
                    const size_t at = pick(bytes.size() - 1);
                    const uint8_t extremes[][2] = {{0, 0}, {0, 1}, {0, 2}, {0xFF, 0xFF}, {0x80, 0}};
                    const auto& e = extremes[pick(5)];
                    bytes[at] = e[0];
                    bytes[at + 1] = e[1];
                }
                break;
            case 3:  // a run of fill bytes
                bytes.insert(bytes.begin() + static_cast<long>(pick(bytes.size() + 1)), pick(6) + 1,
                             0xFF);
                break;
            case 4: {  // random bytes inserted
                Bytes noise(pick(16) + 1);
                for (auto& b : noise) {
                    b = static_cast<uint8_t>(random());
                }
                bytes.insert(bytes.begin() + static_cast<long>(pick(bytes.size() + 1)),
                             noise.begin(), noise.end());
                break;
            }
            case 5:  // a marker-looking pair
                if (bytes.size() >= 2) {
                    const size_t at = pick(bytes.size() - 1);
                    bytes[at] = 0xFF;
                    bytes[at + 1] = static_cast<uint8_t>(0xC0 + pick(0x40));
                }
                break;
            default:  // duplicate a slice
                if (!bytes.empty()) {
                    const size_t from = pick(bytes.size());
                    const size_t count = pick(bytes.size() - from) + 1;
                    Bytes slice(bytes.begin() + static_cast<long>(from),
                                bytes.begin() + static_cast<long>(from + count));
                    bytes.insert(bytes.begin() + static_cast<long>(pick(bytes.size() + 1)),
                                 slice.begin(), slice.end());
                }
                break;
        }
    }
    return bytes;
}

void CheckStampStaysInside(const std::string& path, const Bytes& before, uint32_t dpi, bool bmp) {
    StampResolution(path, dpi);
    const Bytes after = test::ReadFile(path);
    ASSERT_EQ(after.size(), before.size()) << path;
    size_t first = after.size(), last = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] != before[i]) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first == after.size()) {
        return;
    }
    if (bmp) {
        EXPECT_GE(first, 38u);
        EXPECT_LE(last, 45u);
    } else {
        EXPECT_LT(last - first, 5u);
    }
}

// PNG and TIFF files may grow by an insertion, but the file stamp makes exactly the bytes that
// the copy in memory makes, and what it makes reads back with the size it had and the DPI.
void CheckStampMatchesTheCopy(const std::string& path, const Bytes& before, uint32_t dpi) {
    const bool png = HasExtension(path, "png");
    const auto probed = ProbeImageHeader(path);
    StampResolution(path, dpi);
    const Bytes after = test::ReadFile(path);
    const auto copy = png ? PngWithResolution(before, dpi) : TiffWithResolution(before, dpi);
    ASSERT_EQ(after, copy ? *copy : before) << path;
    if (!copy) {
        return;
    }
    ASSERT_TRUE(probed) << "only a readable file is changed";
    const auto stamped = ProbeImageHeader(path);
    ASSERT_TRUE(stamped);
    EXPECT_EQ(stamped->width, probed->width);
    EXPECT_EQ(stamped->height, probed->height);
    EXPECT_EQ(stamped->dpi, png ? BmpDpiFromPixelsPerMetre(BmpPixelsPerMetre(dpi)) : dpi);
}

TEST(Robustness, RandomAndMutatedHeaders) {
    std::mt19937 random(20261207);
    const std::vector<Bytes> templates = Templates();
    test::TempDir dir;
    const std::string bmpPath = dir.File("case.bmp");
    const std::string jpegPath = dir.File("case.jpg");
    const std::string pngPath = dir.File("case.png");
    const std::string tiffPath = dir.File("case.tif");
    const uint32_t dpis[] = {0, 72, 300, 10000, 65535, 65536, 214749, UINT32_MAX};
    constexpr int kCases = 6000;
    for (int i = 0; i < kCases; ++i) {
        Bytes bytes;
        if (i % 10 == 0) {
            bytes.resize(random() % 200);
            for (auto& b : bytes) {
                b = static_cast<uint8_t>(random());
            }
        } else {
            bytes = Mutate(templates[random() % templates.size()], random);
        }
        const uint32_t dpi = dpis[random() % std::size(dpis)];
        for (const std::string& path : {bmpPath, jpegPath, pngPath, tiffPath}) {
            // A third of the cases for PNG and TIFF: their insertions replace the file, which
            // costs a flush to the device each.
            if ((path == pngPath || path == tiffPath) && i % 3 != 0) {
                continue;
            }
            test::WriteFile(path, bytes);
            (void)ProbeImageHeader(path);
            if (const auto pixel = ProbePixelLayout(path)) {
                EXPECT_TRUE(pixel->channels == 1 || pixel->channels == 3 || pixel->channels == 4);
                EXPECT_TRUE(pixel->bytesPerChannel == 1 || pixel->bytesPerChannel == 2 ||
                            pixel->bytesPerChannel == 4 || pixel->bytesPerChannel == 8);
            }
            if (path == pngPath || path == tiffPath) {
                CheckStampMatchesTheCopy(path, bytes, dpi);
            } else {
                CheckStampStaysInside(path, bytes, dpi, path == bmpPath);
            }
            (void)ProbeImageHeader(path);
            if (::testing::Test::HasFailure()) {
                FAIL() << "case " << i << " " << path;
            }
        }
    }
}

}  // namespace
}  // namespace korvale
