// The JPEG decoder gives exactly the pixels that cv::imread gives, over the kinds of JPEG a user
// meets, says when the data was damaged, and prints nothing.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "Conversion.h"
#include "JpegDecode.h"
#include "TestFiles.h"

namespace korvale {
namespace {

// A photo-like image with odd sizes, so that partial blocks at the edges are decoded too.
cv::Mat Picture(int channels) {
    cv::Mat coarse(5, 7, CV_8UC3);
    cv::randu(coarse, cv::Scalar::all(0), cv::Scalar::all(255));
    cv::Mat image;
    cv::resize(coarse, image, cv::Size(203, 131), 0, 0, cv::INTER_CUBIC);
    cv::Mat noise(image.size(), CV_8UC3);
    cv::randu(noise, cv::Scalar::all(0), cv::Scalar::all(24));
    image += noise;
    if (channels == 1) {
        cv::cvtColor(image, image, cv::COLOR_BGR2GRAY);
    }
    return image;
}

test::Bytes Encode(const cv::Mat& image, const std::vector<int>& params) {
    std::vector<uchar> bytes;
    EXPECT_TRUE(cv::imencode(".jpg", image, bytes, params));
    return test::Bytes(bytes.begin(), bytes.end());
}

// The JPEG with an Exif APP1 segment right after its SOI marker.
test::Bytes WithExif(const test::Bytes& jpeg, bool bigEndian,
                     const std::vector<test::ExifEntry>& e) {
    const test::Bytes exif = test::JpegBuilder().App1Exif(bigEndian, e).bytes();
    test::Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), exif.begin(), exif.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

test::Bytes CutTo(test::Bytes bytes, double share) {
    bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * share));
    return bytes;
}

struct Kind {
    std::string name;
    test::Bytes bytes;
    bool damaged;
};

std::vector<Kind> Kinds() {
    const cv::Mat colour = Picture(3), grey = Picture(1);
    const test::Bytes baseline = Encode(colour, {cv::IMWRITE_JPEG_QUALITY, 90});
    const test::Bytes progressive =
        Encode(colour, {cv::IMWRITE_JPEG_QUALITY, 90, cv::IMWRITE_JPEG_PROGRESSIVE, 1});
    // Different luma and chroma qualities make OpenCV keep full chroma resolution (4:4:4).
    const test::Bytes full =
        Encode(colour, {cv::IMWRITE_JPEG_LUMA_QUALITY, 90, cv::IMWRITE_JPEG_CHROMA_QUALITY, 70});
    std::vector<Kind> kinds = {
        {"colour 4:2:0", baseline, false},
        {"colour 4:4:4", full, false},
        {"grey", Encode(grey, {cv::IMWRITE_JPEG_QUALITY, 80}), false},
        {"progressive", progressive, false},
        {"restart markers", Encode(colour, {cv::IMWRITE_JPEG_RST_INTERVAL, 3}), false},
        {"optimised tables", Encode(colour, {cv::IMWRITE_JPEG_OPTIMIZE, 1}), false},
        {"baseline cut short", CutTo(baseline, 0.6), true},
        {"progressive cut short", CutTo(progressive, 0.5), true},
        {"grey cut short", CutTo(Encode(grey, {}), 0.3), true},
        {"Exif big-endian, orientation and strings",
         WithExif(
             baseline, true,
             {{0x010F, 2, 4, 0x4B4F5200}, test::ExifOrientation(6), test::ExifXResolution(300, 1)}),
         false},
        {"Exif string outside the data before the orientation",
         WithExif(baseline, false, {{0x010F, 2, 40, 5000}, test::ExifOrientation(6)}), false},
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        kinds.push_back({"Exif orientation " + std::to_string(orientation),
                         WithExif(orientation % 2 ? full : baseline, orientation > 4,
                                  {test::ExifOrientation(static_cast<uint16_t>(orientation))}),
                         false});
    }
    // Bytes of the entropy-coded data replaced: libjpeg warns and goes on.
    test::Bytes corrupt = baseline;
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 40; ++i) {
        corrupt[i] = 0xFF;
    }
    corrupt[corrupt.size() / 2 + 40] = 0xD0;
    kinds.push_back({"corrupt data in the middle", corrupt, true});
    return kinds;
}

TEST(JpegDecode, SamePixelsAsImreadSaysDamageAndPrintsNothing) {
    const test::TempDir dir;
    int index = 0;
    for (const Kind& kind : Kinds()) {
        const std::string path = dir.File(std::to_string(index++) + ".jpg");
        test::WriteFile(path, kind.bytes);
        ::testing::internal::CaptureStderr();  // what libjpeg prints through OpenCV
        const cv::Mat expected = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
        ::testing::internal::GetCapturedStderr();
        ASSERT_FALSE(expected.empty()) << kind.name;

        cv::Mat got;
        JpegDecodeNotes notes;
        ::testing::internal::CaptureStderr();
        const JpegDecodeResult result = DecodeJpeg(path, got, notes);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << kind.name;
        ASSERT_EQ(result, JpegDecodeResult::Decoded) << kind.name;
        EXPECT_EQ(got.type(), expected.type()) << kind.name;
        ASSERT_EQ(got.size(), expected.size()) << kind.name;
        EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0) << kind.name;
        EXPECT_EQ(notes.damaged, kind.damaged) << kind.name;
        EXPECT_FALSE(notes.lackedMemory) << kind.name;

        // The conversion's decoder passes the same on.
        DecodeNotes decodeNotes;
        ASSERT_TRUE(DecodeImage(path, got, &decodeNotes)) << kind.name;
        EXPECT_EQ(cv::norm(got, expected, cv::NORM_INF), 0) << kind.name;
        EXPECT_EQ(decodeNotes.damaged, kind.damaged) << kind.name;
    }
}

TEST(JpegDecode, OtherFilesAreLeftToOpenCvAndBrokenOnesFail) {
    const test::TempDir dir;
    const std::string bmp = dir.File("a.bmp"), broken = dir.File("b.jpg"), text = dir.File("c");
    ASSERT_TRUE(cv::imwrite(bmp, Picture(3)));
    test::WriteFile(broken, {0xFF, 0xD8, 0xFF, 0xE0, 0x00});
    test::WriteFile(text, {'h', 'i'});
    cv::Mat image;
    JpegDecodeNotes notes;
    EXPECT_EQ(DecodeJpeg(bmp, image, notes), JpegDecodeResult::NotHandled);
    EXPECT_EQ(DecodeJpeg(text, image, notes), JpegDecodeResult::NotHandled);
    EXPECT_EQ(DecodeJpeg(dir.File("missing.jpg"), image, notes), JpegDecodeResult::NotHandled);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(DecodeJpeg(broken, image, notes), JpegDecodeResult::Failed);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(image.empty());
    EXPECT_FALSE(notes.lackedMemory);
    EXPECT_TRUE(DecodeImage(bmp, image));
    EXPECT_FALSE(DecodeImage(broken, image));
}

}  // namespace
}  // namespace korvale
