// One image converted, checked pixel by pixel on lossless BMP outputs.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "Conversion.h"
#include "MessageWords.h"
#include "TestFiles.h"

namespace korvale {
namespace {

const Rgb kMargin{10, 20, 30};
const cv::Vec3b kMarginBgr(30, 20, 10);
const cv::Vec3b kInk(200, 100, 50);

// An image whose pixel (row, column) encodes its own position, to see which pixels survive a
// cut: blue = column % 256, green = column / 256, red = row % 256.
cv::Mat PositionImage(int width, int height) {
    cv::Mat image(height, width, CV_8UC3);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            image.at<cv::Vec3b>(r, c) =
                cv::Vec3b(static_cast<uchar>(c % 256), static_cast<uchar>(c / 256),
                          static_cast<uchar>(r % 256));
        }
    }
    return image;
}

cv::Vec3b Position(int row, int column) {
    return cv::Vec3b(static_cast<uchar>(column % 256), static_cast<uchar>(column / 256),
                     static_cast<uchar>(row % 256));
}

class ConversionTest : public ::testing::Test {
protected:
    std::string Source(const cv::Mat& image, const std::string& name = "src.bmp") {
        const std::string path = dir_.File(name);
        EXPECT_TRUE(cv::imwrite(path, image));
        return path;
    }
    cv::Mat Output() { return cv::imread(out_, cv::IMREAD_UNCHANGED); }

    test::TempDir dir_;
    const std::string out_ = dir_.File("out.bmp");
    const EncoderParams params_ = JpegQualityParams(95);
};

TEST_F(ConversionTest, KeepAspectCentresWithMarginsOfTheChosenColour) {
    const std::string src = Source(cv::Mat(300, 400, CV_8UC3, cv::Scalar(kInk)));
    ASSERT_EQ(ResizeImage(src, out_, {100, 100}, params_, cv::INTER_NEAREST, 4, true, kMargin),
              ConvertResult::Ok);
    const cv::Mat out = Output();
    ASSERT_EQ(out.size(), cv::Size(100, 100));
    // 100 x 75 placed with 12 rows above and 13 below.
    EXPECT_EQ(out.at<cv::Vec3b>(11, 50), kMarginBgr);
    EXPECT_EQ(out.at<cv::Vec3b>(12, 50), kInk);
    EXPECT_EQ(out.at<cv::Vec3b>(86, 50), kInk);
    EXPECT_EQ(out.at<cv::Vec3b>(87, 50), kMarginBgr);
    EXPECT_EQ(out.at<cv::Vec3b>(99, 0), kMarginBgr);
}

TEST_F(ConversionTest, OddMarginRowGoesToTheBottom) {
    const std::string src = Source(cv::Mat(1000, 1001, CV_8UC3, cv::Scalar(kInk)));
    ASSERT_EQ(ResizeImage(src, out_, {1000, 1000}, params_, cv::INTER_NEAREST, 4, true, kMargin),
              ConvertResult::Ok);
    const cv::Mat out = Output();
    ASSERT_EQ(out.size(), cv::Size(1000, 1000));
    EXPECT_EQ(out.at<cv::Vec3b>(0, 500), kInk);
    EXPECT_EQ(out.at<cv::Vec3b>(998, 500), kInk);
    EXPECT_EQ(out.at<cv::Vec3b>(999, 500), kMarginBgr);
}

TEST_F(ConversionTest, WithoutKeepAspectStretchesToTheTarget) {
    const std::string src = Source(cv::Mat(30, 40, CV_8UC3, cv::Scalar(kInk)));
    ASSERT_EQ(ResizeImage(src, out_, {64, 32}, params_, cv::INTER_AREA, 9, false, kMargin),
              ConvertResult::Ok);
    EXPECT_EQ(Output().size(), cv::Size(64, 32));
}

TEST_F(ConversionTest, AnchorIsJudgedOnlyWhenMarginsAreNeeded) {
    const std::string src = Source(cv::Mat(30, 40, CV_8UC3, cv::Scalar(kInk)));
    EXPECT_EQ(ResizeImage(src, out_, {40, 40}, params_, cv::INTER_LINEAR, 9, true, kMargin),
              ConvertResult::BadAnchor);
    EXPECT_FALSE(std::ifstream(out_).good());
    EXPECT_EQ(ResizeImage(src, out_, {80, 60}, params_, cv::INTER_LINEAR, 9, true, kMargin),
              ConvertResult::Ok);
    // Crop-and-paste judges the anchor for every image.
    EXPECT_EQ(CropPasteImage(src, out_, {40, 30}, params_, 9, kMargin), ConvertResult::BadAnchor);
    EXPECT_EQ(CropPasteImage(src, out_, {40, 30}, params_, -1, kMargin), ConvertResult::BadAnchor);
}

struct CropPixelCase {
    const char* name;
    cv::Size source;
    cv::Size target;
    int anchor;
    // (output row, output column) -> source (row, column), or the margin when row < 0
    std::vector<std::array<int, 4>> samples;
};

TEST_F(ConversionTest, CropPasteKeepsThePixelsTheAnchorSelects) {
    const CropPixelCase cases[] = {
        {"cut 1200 wide to 1000, pad 800 high to 1000, centre",
         {1200, 800},
         {1000, 1000},
         4,
         {{100, 0, 0, 100},
          {100, 999, 0, 1099},
          {99, 0, -1, -1},
          {900, 0, -1, -1},
          {899, 500, 799, 600}}},
        {"one column cut left, two right",
         {1003, 1000},
         {1000, 1000},
         4,
         {{0, 0, 0, 1}, {999, 999, 999, 1000}}},
        {"bottom-right corner", {1200, 1200}, {1000, 1000}, 8, {{0, 0, 200, 200}}},
        {"bottom-centre padding",
         {801, 600},
         {1000, 1000},
         7,
         {{400, 99, 0, 0},
          {400, 98, -1, -1},
          {999, 899, 599, 800},
          {999, 900, -1, -1},
          {399, 500, -1, -1}}},
    };
    for (const auto& c : cases) {
        const std::string src = Source(PositionImage(c.source.width, c.source.height));
        ASSERT_EQ(CropPasteImage(src, out_, {c.target.width, c.target.height}, params_, c.anchor,
                                 kMargin),
                  ConvertResult::Ok)
            << c.name;
        const cv::Mat out = Output();
        ASSERT_EQ(out.size(), c.target) << c.name;
        for (const auto& s : c.samples) {
            const cv::Vec3b expected = s[2] < 0 ? kMarginBgr : Position(s[2], s[3]);
            EXPECT_EQ(out.at<cv::Vec3b>(s[0], s[1]), expected)
                << c.name << " at " << s[0] << "," << s[1];
        }
    }
}

TEST_F(ConversionTest, GreySourceKeepsOneChannelAndTakesTheBlueComponentAsMargin) {
    const std::string src = Source(cv::Mat(10, 20, CV_8UC1, cv::Scalar(200)));
    ASSERT_EQ(CropPasteImage(src, out_, {20, 14}, params_, 0, kMargin), ConvertResult::Ok);
    cv::Mat out = Output();
    ASSERT_EQ(out.channels(), 1);
    EXPECT_EQ(out.at<uchar>(0, 0), 200);
    EXPECT_EQ(out.at<uchar>(13, 0), 30);
    ASSERT_EQ(ResizeImage(src, out_, {20, 20}, params_, cv::INTER_NEAREST, 4, true, kMargin),
              ConvertResult::Ok);
    out = Output();
    ASSERT_EQ(out.channels(), 1);
    EXPECT_EQ(out.at<uchar>(0, 0), 30);
    EXPECT_EQ(out.at<uchar>(10, 10), 200);
}

TEST_F(ConversionTest, JpegOutputUsesTheQualityPair) {
    const std::string src = Source(PositionImage(64, 48));
    const std::string low = dir_.File("low.jpg"), high = dir_.File("high.jpg");
    ASSERT_EQ(ResizeImage(src, low, {64, 48}, JpegQualityParams(10), 1, 4, false, kMargin),
              ConvertResult::Ok);
    ASSERT_EQ(ResizeImage(src, high, {64, 48}, JpegQualityParams(100), 1, 4, false, kMargin),
              ConvertResult::Ok);
    EXPECT_LT(test::ReadFile(low).size(), test::ReadFile(high).size());
    EXPECT_EQ(cv::imread(low).size(), cv::Size(64, 48));
}

// The prepared pixels must be exactly those of scaling, then padding with a constant border (or
// padding, then taking the region), whatever the anchor, depth and channels. A 16-bit image
// takes the margin colour on its own scale (255 is 65535), and margins are opaque where there
// is an alpha channel.
TEST(PreparedPixels, EqualScaleThenBorderAndBorderThenRegion) {
    cv::RNG rng(7);
    const int types[] = {CV_8UC3, CV_8UC1, CV_16UC3, CV_8UC4};
    const Rgb margin{10, 200, 30};
    for (int type : types) {
        const cv::Scalar border =
            cv::Scalar(30, 200, 10, 255) * (CV_MAT_DEPTH(type) == CV_16U ? 257 : 1);
        cv::Mat source(37, 53, type);
        rng.fill(source, cv::RNG::UNIFORM, 0, 255);
        for (int anchor = 0; anchor < kAnchorCount; ++anchor) {
            for (const PixelSize target :
                 {PixelSize{80, 40}, PixelSize{40, 80}, PixelSize{53, 37}, PixelSize{30, 60}}) {
                const PixelSize fitted = FittedSize({53, 37}, target, true);
                cv::Mat scaled, expected;
                cv::resize(source, scaled, cv::Size(fitted.width, fitted.height), 0, 0,
                           cv::INTER_LANCZOS4);
                const Margins m = *AnchorMargins(anchor, fitted, target);
                cv::copyMakeBorder(scaled, expected, m.top, m.bottom, m.left, m.right,
                                   cv::BORDER_CONSTANT, border);
                const PreparedImage resized =
                    PrepareResized(source, target, cv::INTER_LANCZOS4, anchor, true, margin);
                ASSERT_EQ(resized.result, ConvertResult::Ok);
                EXPECT_EQ(cv::norm(resized.image, expected, cv::NORM_INF), 0)
                    << "resize type " << type << " anchor " << anchor;

                const CropPastePlan plan = *PlanCropPaste(anchor, {53, 37}, target);
                cv::Mat canvas;
                cv::copyMakeBorder(source, canvas, plan.margins.top, plan.margins.bottom,
                                   plan.margins.left, plan.margins.right, cv::BORDER_CONSTANT,
                                   border);
                const cv::Mat region =
                    canvas(cv::Rect(plan.x, plan.y, target.width, target.height));
                const PreparedImage pasted = PrepareCropPasted(source, target, anchor, margin);
                ASSERT_EQ(pasted.result, ConvertResult::Ok);
                EXPECT_EQ(cv::norm(pasted.image, region, cv::NORM_INF), 0)
                    << "crop type " << type << " anchor " << anchor << " target " << target.width
                    << "x" << target.height;
            }
        }
    }
}

TEST_F(ConversionTest, FailuresBecomeResultCodesNotCrashes) {
    const std::string src = Source(cv::Mat(10, 20, CV_8UC3, cv::Scalar(kInk)));
    const struct {
        const char* name;
        ConvertResult got;
        ConvertResult expected;
    } cases[] = {
        {"missing source",
         ResizeImage(dir_.File("none.bmp"), out_, {10, 10}, params_, 1, 4, false, kMargin),
         ConvertResult::ReadFailed},
        {"not an image",
         [&] {
             test::WriteFile(dir_.File("text.jpg"), {'h', 'e', 'l', 'l', 'o'});
             return CropPasteImage(dir_.File("text.jpg"), out_, {10, 10}, params_, 4, kMargin);
         }(),
         ConvertResult::ReadFailed},
        {"zero height target", ResizeImage(src, out_, {10, 0}, params_, 1, 4, false, kMargin),
         ConvertResult::WriteFailed},
        {"zero width crop", CropPasteImage(src, out_, {0, 10}, params_, 4, kMargin),
         ConvertResult::WriteFailed},
        {"extension without an encoder",
         ResizeImage(src, dir_.File("out.xyz"), {10, 10}, params_, 1, 4, false, kMargin),
         ConvertResult::WriteFailed},
        {"no extension", CropPasteImage(src, dir_.File("README"), {10, 10}, params_, 4, kMargin),
         ConvertResult::WriteFailed},
        {"missing folder",
         ResizeImage(src, dir_.File("no/out.bmp"), {10, 10}, params_, 1, 4, false, kMargin),
         ConvertResult::WriteFailed},
        {"output is a folder",
         ResizeImage(src, dir_.path(), {10, 10}, params_, 1, 4, false, kMargin),
         ConvertResult::WriteFailed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.got, c.expected) << c.name;
    }
    EXPECT_EQ(Japanese(ConvertResultMessage(ConvertResult::ReadFailed)),
              "画像ファイルの読み出しに失敗しました。");
    EXPECT_EQ(Japanese(ConvertResultMessage(ConvertResult::BadAnchor)), "配置の基準が異常です。");
    EXPECT_EQ(Japanese(ConvertResultMessage(ConvertResult::WriteFailed)),
              "画像ファイルの書き込みに失敗しました。");
}

}  // namespace
}  // namespace korvale
