// Sources of the layouts other programs write, made at test time with ImageMagick, Pillow and
// libtiff's tools: the engine's decode against ImageMagick's or Pillow's own decode of the same
// file, and the pixel the header says against the one decoded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "Conversion.h"
#include "ImageHeader.h"
#include "TestFiles.h"

namespace korvale {
namespace {

// Debian's tools, not whatever else PATH may put first.
const std::string kConvert = "/usr/bin/convert";
const std::string kPython = "/usr/bin/python3";

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

bool HaveTools() {
    return Shell("test -x " + kConvert + " && command -v tiffcp >/dev/null && " + kPython +
                 " -c 'import PIL' 2>/dev/null");
}

// 8-bit BGRA with the colours multiplied by the alpha, so that colours under full
// transparency, which no reader agrees on, do not count.
cv::Mat Comparable(const cv::Mat& image) {
    cv::Mat narrow;
    const double scale = image.depth() == CV_16U                              ? 1.0 / 257
                         : image.depth() == CV_32F || image.depth() == CV_64F ? 255.0
                                                                              : 1.0;
    image.convertTo(narrow, CV_8U, scale);
    cv::Mat bgra = narrow;
    if (narrow.channels() == 1) {
        cv::cvtColor(narrow, bgra, cv::COLOR_GRAY2BGRA);
    } else if (narrow.channels() == 3) {
        cv::cvtColor(narrow, bgra, cv::COLOR_BGR2BGRA);
    }
    cv::Mat out(bgra.size(), CV_64FC4);
    for (int y = 0; y < bgra.rows; ++y) {
        for (int x = 0; x < bgra.cols; ++x) {
            const cv::Vec4b p = bgra.at<cv::Vec4b>(y, x);
            out.at<cv::Vec4d>(y, x) = {p[0] * p[3] / 255.0, p[1] * p[3] / 255.0,
                                       p[2] * p[3] / 255.0, static_cast<double>(p[3])};
        }
    }
    return out;
}

// Mean difference over every sample, in 8-bit levels.
double MeanError(const cv::Mat& a, const cv::Mat& b) {
    const cv::Scalar mean = cv::mean(cv::abs(a - b));
    return (mean[0] + mean[1] + mean[2] + mean[3]) / 4;
}

struct Source {
    const char* name;
    const char* file;
    // Shell commands: `make` writes $SRC from $BASE8 or $BASE16 (61 x 43, 8 or 16 bits);
    // `reference` writes what another reader decodes, as PNG, to $REF.
    std::string make;
    std::string reference;
    double tolerance = 1.0;  // mean difference allowed, in 8-bit levels
};

// ImageMagick's decode and Pillow's, with colours and alpha as they read them.
const std::string kMagickReference = kConvert + " \"$SRC\" -depth 16 \"$REF\"";
const std::string kPillowReference =
    kPython +
    " -c \"import os; from PIL import Image; "
    "Image.open(os.environ['SRC']).convert('RGBA').save(os.environ['REF'])\"";

std::string Pillow(const std::string& script) {
    return kPython +
           " -c \"import os; from PIL import Image; im = Image.open(os.environ['BASE8']); " +
           script + "\"";
}

class ThirdPartyPixels : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTools()) {
            GTEST_SKIP() << "ImageMagick, libtiff-tools or Pillow missing";
        }
        base8_ = dir_.File("base8.png");
        base16_ = dir_.File("base16.png");
        ASSERT_TRUE(Shell(kConvert + " -seed 5 -size 61x43 plasma:fractal -depth 16 '" + base16_ +
                          "' && " + kConvert + " '" + base16_ + "' -depth 8 '" + base8_ + "'"));
    }

    // Every source decodes as the reference reads it, to less than a level on average, with the
    // pixel its header states.
    void ExpectFaithful(const Source* sources, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const Source& s = sources[i];
            SCOPED_TRACE(s.name);
            const std::string src = dir_.File(s.file);
            const std::string ref = dir_.File(std::string(s.file) + ".ref.png");
            const std::string script = dir_.File(std::string(s.file) + ".sh");
            const std::string text = "set -e\n" + s.make + "\n" + s.reference + "\n";
            test::WriteFile(script, test::Bytes(text.begin(), text.end()));
            ASSERT_TRUE(Shell("BASE8='" + base8_ + "' BASE16='" + base16_ + "' SRC='" + src +
                              "' REF='" + ref + "' sh '" + script + "'"))
                << text;
            cv::Mat decoded;
            ASSERT_TRUE(DecodeImage(src, decoded));
            const cv::Mat expected = cv::imread(ref, cv::IMREAD_UNCHANGED);
            ASSERT_EQ(decoded.size(), expected.size());
            EXPECT_LT(MeanError(Comparable(decoded), Comparable(expected)), s.tolerance);
            const std::optional<PixelLayout> layout = ProbePixelLayout(src);
            ASSERT_TRUE(layout.has_value());
            EXPECT_EQ(layout->channels, static_cast<uint32_t>(decoded.channels()));
            EXPECT_EQ(layout->bytesPerChannel, static_cast<uint32_t>(decoded.elemSize1()));
        }
    }

    test::TempDir dir_;
    std::string base8_;
    std::string base16_;
};

TEST_F(ThirdPartyPixels, TiffLayoutsOpenCvMishandles) {
    const std::string im = kConvert + " \"$BASE16\" ";
    const std::string im8 = kConvert + " \"$BASE8\" ";
    const std::string rgba16 = im + "-alpha set -channel A -fx \"i/w\" +channel -depth 16 ";
    const Source sources[] = {
        {"16-bit RGB planes", "p16.tif", im + "-depth 16 -interlace plane \"$SRC\"",
         kMagickReference},
        {"16-bit RGBA planes, deflate", "p16a.tif",
         rgba16 + "-interlace plane -compress zip \"$SRC\"", kMagickReference},
        {"16-bit RGB planes in tiles", "p16t.tif",
         im + "-depth 16 -interlace plane -define tiff:tile-geometry=16x16 \"$SRC\"",
         kMagickReference},
        {"8-bit RGB planes", "p8.tif", im8 + "-interlace plane \"$SRC\"", kMagickReference},
        {"2-bit grey", "g2.tif", im + "-colorspace gray -depth 2 \"$SRC\"", kMagickReference},
        {"4-bit grey, LZW", "g4.tif", im + "-colorspace gray -depth 4 -compress lzw \"$SRC\"",
         kMagickReference},
        {"4-bit grey, white is zero", "g4w.tif",
         im + "-colorspace gray -depth 4 -define tiff:photometric=min-is-white \"$SRC\"",
         kMagickReference},
        {"1-bit palette", "pal1.tif", im8 + "-colors 2 -type palette \"$SRC\"", kMagickReference},
        {"2-bit palette", "pal2.tif", im8 + "-colors 4 -depth 2 -type palette \"$SRC\"",
         kMagickReference},
        {"4-bit palette, LZW", "pal4.tif", im8 + "-colors 16 -type palette -compress lzw \"$SRC\"",
         kMagickReference},
        // ImageMagick reads 8-bit a* and b* half a unit off their stored value (53 as 52.5, -2
        // as -1.5), about a level of colour.
        {"8-bit CIE L*a*b*", "lab8.tif", im8 + "-colorspace Lab -depth 8 \"$SRC\"",
         kMagickReference, 2.0},
        // ImageMagick reads its own 16-bit L*a*b* more than a level off the picture it wrote.
        {"16-bit CIE L*a*b*", "lab16.tif", im + "-colorspace Lab -depth 16 \"$SRC\"",
         "cp \"$BASE16\" \"$REF\""},
        {"32-bit unsigned grey", "g32.tif", im + "-colorspace gray -depth 32 \"$SRC\"",
         kMagickReference},
        {"32-bit floating grey", "gf.tif",
         im + "-colorspace gray -depth 32 -define quantum:format=floating-point \"$SRC\"",
         kMagickReference},
    };
    ExpectFaithful(sources, std::size(sources));
}

TEST_F(ThirdPartyPixels, PngTransparencyFromEveryPlace) {
    const Source sources[] = {
        {"grey with tRNS", "grey-trns.png",
         Pillow("im = im.convert(\\\"L\\\"); im.save(os.environ[\\\"SRC\\\"], "
                "transparency=im.getpixel((0, 0)))"),
         kPillowReference},
        {"RGB with tRNS", "rgb-trns.png",
         Pillow("im = im.convert(\\\"RGB\\\"); im.save(os.environ[\\\"SRC\\\"], "
                "transparency=im.getpixel((3, 3)))"),
         kPillowReference},
        {"palette with tRNS", "palette-trns.png",
         Pillow("im = im.convert(\\\"P\\\"); im.save(os.environ[\\\"SRC\\\"], transparency=7)"),
         kPillowReference},
    };
    ExpectFaithful(sources, std::size(sources));
}

TEST_F(ThirdPartyPixels, BmpCoreHeaderColours) {
    const std::string im8 = kConvert + " \"$BASE8\" ";
    const Source sources[] = {
        {"core header, 24-bit", "core24.bmp", im8 + "-type truecolor \"BMP2:$SRC\"",
         kPillowReference},
        {"core header, 8-bit palette", "core8.bmp", im8 + "-colors 200 -type palette \"BMP2:$SRC\"",
         kPillowReference},
        {"core header, 1-bit palette", "core1.bmp", im8 + "-colors 2 -type palette \"BMP2:$SRC\"",
         kPillowReference},
        {"core header, palette of greys", "core-grey.bmp",
         im8 + "-colorspace gray -colors 50 -type palette \"BMP2:$SRC\"", kPillowReference},
    };
    ExpectFaithful(sources, std::size(sources));
}

}  // namespace
}  // namespace korvale

namespace korvale {
namespace {

// What cannot be decoded soundly is a read failure, never a picture made up in part.
TEST_F(ThirdPartyPixels, LayoutsWithoutSoundDecodingAreRefused) {
    const std::string half = dir_.File("half-float-planes.tif");
    ASSERT_TRUE(Shell(kConvert + " '" + base16_ +
                      "' -depth 16 -define quantum:format=floating-point -interlace plane '" +
                      half + "'"));
    const std::string damaged = dir_.File("damaged-planes.tif");
    ASSERT_TRUE(Shell(kConvert + " '" + base16_ + "' -depth 16 -interlace plane -compress zip '" +
                      damaged + "'"));
    // Garbage in the compressed planes, which lie between the header and the IFD.
    test::Bytes bytes = test::ReadFile(damaged);
    const size_t ifd = bytes[4] | (bytes[5] << 8) | (bytes[6] << 16) | (size_t{bytes[7]} << 24);
    ASSERT_GT(ifd, 1000u);
    for (size_t at = 200; at < ifd - 200; ++at) {
        bytes[at] = static_cast<uint8_t>(at * 131);
    }
    test::WriteFile(damaged, bytes);
    for (const std::string& path : {half, damaged}) {
        SCOPED_TRACE(path);
        cv::Mat image(2, 2, CV_8UC1);
        EXPECT_FALSE(DecodeImage(path, image));
        EXPECT_TRUE(image.empty());
    }
}

}  // namespace
}  // namespace korvale
