// TIFF outputs written by our libtiff encoder: every type the engine hands it, in one strip or
// many, from whole images and from views into larger ones, read back by OpenCV and our probe.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "ImageHeader.h"
#include "TestFiles.h"
#include "TiffAlpha.h"
#include "TiffEncode.h"

namespace korvale {
namespace {

cv::Mat Noise(int rows, int cols, int type) {
    cv::Mat image(rows, cols, type);
    cv::randu(image, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
    return image;
}

TEST(TiffEncode, ReadsBackAsWrittenWithItsDpiAndAlpha) {
    test::TempDir dir;
    const cv::Size sizes[] = {{1, 1}, {80, 50}, {997, 301}};
    const int types[] = {CV_8UC1, CV_8UC3, CV_8UC4, CV_16UC1, CV_16UC3, CV_16UC4};
    for (const cv::Size size : sizes) {
        for (const int type : types) {
            for (const bool view : {false, true}) {
                cv::Mat whole = Noise(size.height + 2, size.width + 3, type);
                if (type == CV_8UC4) {
                    // OpenCV reads 8-bit declared alpha through libtiff's multiplication.
                    cv::Mat alpha(whole.size(), CV_8UC1, cv::Scalar(255));
                    const int pair[] = {0, 3};
                    cv::mixChannels(&alpha, 1, &whole, 1, pair, 1);
                }
                const cv::Mat image = view ? whole(cv::Rect(1, 1, size.width, size.height))
                                           : whole(cv::Rect(0, 0, size.width, size.height)).clone();
                const std::string where = std::to_string(size.width) + "x" +
                                          std::to_string(size.height) + " type " +
                                          std::to_string(type) + (view ? " view" : "");
                std::vector<uint8_t> bytes;
                ASSERT_TRUE(EncodeTiff(image, 600, 1, bytes)) << where;
                const cv::Mat back = cv::imdecode(bytes, cv::IMREAD_UNCHANGED);
                ASSERT_EQ(back.type(), type) << where;
                EXPECT_EQ(cv::norm(back, image, cv::NORM_INF), 0) << where;

                const std::string path = dir.File("out.tif");
                test::WriteFile(path, bytes);
                const auto info = ProbeImageHeader(path);
                ASSERT_TRUE(info) << where;
                EXPECT_EQ(info->width, static_cast<uint32_t>(size.width)) << where;
                EXPECT_EQ(info->height, static_cast<uint32_t>(size.height)) << where;
                EXPECT_EQ(info->dpi, 600u) << where;
                EXPECT_EQ(TiffAlphaOfFile(path),
                          CV_MAT_CN(type) == 4 ? TiffAlpha::Unassociated : TiffAlpha::Unknown)
                    << where;
            }
        }
    }
}

TEST(TiffEncode, LeavesTheResolutionOutWithoutADpiAndRefusesOtherTypes) {
    test::TempDir dir;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeTiff(Noise(20, 30, CV_8UC3), std::nullopt, 1, bytes));
    const std::string path = dir.File("plain.tif");
    test::WriteFile(path, bytes);
    const auto info = ProbeImageHeader(path);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->dpi, 0u);

    for (const int type : {CV_8UC2, CV_32FC3, CV_16SC1, CV_64FC1}) {
        EXPECT_FALSE(TiffEncodable(type)) << type;
        EXPECT_FALSE(EncodeTiff(cv::Mat(4, 4, type, cv::Scalar::all(0)), 72, 1, bytes)) << type;
    }
    EXPECT_FALSE(EncodeTiff(cv::Mat(), 72, 1, bytes));
}

}  // namespace
}  // namespace korvale
