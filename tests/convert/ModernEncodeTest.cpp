// WebP and AVIF outputs: pixels near the source, the DPI in their Exif as our probe and
// exiftool read it, and their resolution edited without touching the image data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "BatchRequest.h"
#include "Conversion.h"
#include "ImageFormats.h"
#include "OutputWriter.h"
#include "ResolutionStamp.h"
#include "TestFiles.h"

namespace korvale {
namespace {

bool Succeeds(const std::string& command) {
    return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

cv::Mat Photo(int width, int height) {
    cv::Mat image(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.at<cv::Vec3b>(y, x) = {static_cast<uchar>(x * 255 / width),
                                         static_cast<uchar>(y * 255 / height),
                                         static_cast<uchar>((x + y) % 256)};
        }
    }
    cv::GaussianBlur(image, image, {5, 5}, 0);
    return image;
}

// The chunk's payload of a RIFF file (first of that name), empty when none.
test::Bytes Chunk(const test::Bytes& riff, const char* fourcc) {
    for (size_t at = 12; at + 8 <= riff.size();) {
        const size_t size = riff[at + 4] | (riff[at + 5] << 8) | (riff[at + 6] << 16) |
                            (static_cast<size_t>(riff[at + 7]) << 24);
        if (std::equal(fourcc, fourcc + 4, riff.begin() + static_cast<std::ptrdiff_t>(at))) {
            return test::Bytes(riff.begin() + static_cast<std::ptrdiff_t>(at + 8),
                               riff.begin() + static_cast<std::ptrdiff_t>(at + 8 + size));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

TEST(ModernOutputs, RoundTripWithTheirDpi) {
    struct Case {
        const char* name;
        int quality;
        double minPsnr;  // 0: exact
    };
    const Case cases[] = {{"lossy.webp", 90, 35}, {"lossless.webp", 100, 0}, {"q80.avif", 80, 32}};
    test::TempDir dir;
    const cv::Mat source = Photo(160, 120);
    for (const Case& c : cases) {
        const std::string path = dir.File(c.name);
        BatchRequest request;
        request.jpegQuality = c.quality;
        ASSERT_EQ(WriteOutput(request, source, path, 150), ConvertResult::Ok) << c.name;
        const std::optional<ImageHeaderInfo> info = ProbeImageHeader(path);
        ASSERT_TRUE(info) << c.name;
        EXPECT_EQ(info->width, 160u) << c.name;
        EXPECT_EQ(info->height, 120u) << c.name;
        EXPECT_EQ(info->dpi, 150u) << c.name;
        cv::Mat decoded;
        ASSERT_TRUE(DecodeImage(path, decoded)) << c.name;
        ASSERT_EQ(decoded.size(), source.size()) << c.name;
        cv::Mat three = decoded;
        if (decoded.channels() == 4) {
            cv::cvtColor(decoded, three, cv::COLOR_BGRA2BGR);
        }
        if (c.minPsnr == 0) {
            EXPECT_EQ(cv::norm(three, source, cv::NORM_INF), 0) << c.name;
        } else {
            EXPECT_GT(cv::PSNR(three, source), c.minPsnr) << c.name;
        }
        if (!Succeeds("command -v exiftool")) {
            std::cout << "exiftool is not installed; its reading is not checked\n";
            continue;
        }
        EXPECT_TRUE(Succeeds("exiftool -s3 -XResolution -YResolution -ResolutionUnit '" + path +
                        "' | tr '\\n' ' ' | grep -qx '150 150 inches '"))
            << c.name;
    }
}

TEST(ModernOutputs, StampKeepsTheWebpBitstreamAndOurAvifsSize) {
    test::TempDir dir;
    const std::string png = dir.File("a.png");
    ASSERT_TRUE(cv::imwrite(png, Photo(64, 48)));
    struct Case {
        const char* name;
        const char* make;  // IN the PNG, OUT the WebP
        const char* bitstream;
    };
    const Case cases[] = {{"lossy.webp", "cwebp -quiet -q 80 IN -o OUT", "VP8 "},
                          {"lossless.webp", "cwebp -quiet -lossless IN -o OUT", "VP8L"},
                          {"exif.webp", "cwebp -quiet -metadata exif IN -o OUT", "VP8 "}};
    if (!Succeeds("command -v cwebp")) {
        GTEST_SKIP() << "cwebp is not installed";
    }
    for (const Case& c : cases) {
        const std::string out = dir.File(c.name);
        std::string make = c.make;
        make.replace(make.find("IN"), 2, png);
        make.replace(make.find("OUT"), 3, out);
        ASSERT_TRUE(Succeeds(make)) << make;
        const test::Bytes before = Chunk(test::ReadFile(out), c.bitstream);
        ASSERT_FALSE(before.empty()) << c.name;
        EXPECT_EQ(StampResolution(out, 200).kind, StampOutcome::Kind::Stamped) << c.name;
        EXPECT_EQ(ProbeImageHeader(out)->dpi, 200u) << c.name;
        EXPECT_EQ(StampResolution(out, 96).kind, StampOutcome::Kind::Stamped) << c.name;
        EXPECT_EQ(ProbeImageHeader(out)->dpi, 96u) << c.name;
        EXPECT_EQ(Chunk(test::ReadFile(out), c.bitstream), before) << c.name;
        EXPECT_TRUE(Succeeds("dwebp -quiet '" + out + "' -o /dev/null")) << c.name;
    }
    // Our AVIF's Exif holds the three tags: it is set where it lies, and the file keeps its size.
    const std::string avif = dir.File("a.avif");
    ASSERT_EQ(WriteOutput(BatchRequest{}, Photo(32, 24), avif, 72), ConvertResult::Ok);
    const size_t avifSize = test::ReadFile(avif).size();
    EXPECT_EQ(StampResolution(avif, 300).kind, StampOutcome::Kind::Stamped);
    EXPECT_EQ(ProbeImageHeader(avif)->dpi, 300u);
    EXPECT_EQ(test::ReadFile(avif).size(), avifSize);
}

}  // namespace
}  // namespace korvale
