// The decoded pixel read from a header against what the program's decoder really hands over,
// and the memory bound of the work ahead that counts with it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "Conversion.h"
#include "EncoderLimits.h"
#include "ImageHeader.h"
#include "TestFiles.h"
#include "WorkAhead.h"

namespace korvale {
namespace {

const std::string kPython = "/usr/bin/python3";

bool HavePillow() {
    return std::system((kPython + " -c 'import PIL' 2>/dev/null").c_str()) == 0;
}

// OpenCV writes `path` from a small image of `type` with varied values.
std::string Written(const std::string& path, int type) {
    cv::Mat image(9, 13, type);
    cv::randu(image, cv::Scalar::all(0),
              cv::Scalar::all(CV_MAT_DEPTH(type) == CV_16U ? 65535 : 255));
    EXPECT_TRUE(cv::imwrite(path, image)) << path;
    return path;
}

// Pillow writes `path` in `mode`; `extra` runs on the image `im` before it is saved.
std::string Pillow(const std::string& path, const std::string& mode, const std::string& extra = "",
                   const std::string& save = "") {
    const std::string command = kPython + " -c \"from PIL import Image; im = Image.new('" + mode +
                                "', (13, 9)); " + extra + "im.save('" + path + "'" + save + ")\"";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

TEST(PixelLayout, HeaderSaysWhatTheDecoderHandsOver) {
    test::TempDir dir;
    std::vector<std::string> files = {
        Written(dir.File("grey.png"), CV_8UC1),   Written(dir.File("grey16.png"), CV_16UC1),
        Written(dir.File("rgb.png"), CV_8UC3),    Written(dir.File("rgb16.png"), CV_16UC3),
        Written(dir.File("rgba.png"), CV_8UC4),   Written(dir.File("rgba16.png"), CV_16UC4),
        Written(dir.File("grey.tif"), CV_8UC1),   Written(dir.File("grey16.tif"), CV_16UC1),
        Written(dir.File("rgb.tif"), CV_8UC3),    Written(dir.File("rgb16.tiff"), CV_16UC3),
        Written(dir.File("rgba.tif"), CV_8UC4),   Written(dir.File("rgba16.tif"), CV_16UC4),
        Written(dir.File("float.tif"), CV_32FC3), Written(dir.File("grey.bmp"), CV_8UC1),
        Written(dir.File("rgb.bmp"), CV_8UC3),    Written(dir.File("rgba.bmp"), CV_8UC4),
        Written(dir.File("grey.jpg"), CV_8UC1),   Written(dir.File("rgb.jpg"), CV_8UC3),
    };
    if (HavePillow()) {
        // Palettes with and without transparency, grey with alpha, 1-bit, a palette TIFF, and a
        // palette BMP of colours beside one of greys.
        const std::string palette = "im.putpalette([10, 200, 30] * 256); ";
        files.push_back(Pillow(dir.File("palette.png"), "P", palette));
        files.push_back(Pillow(dir.File("palette-trns.png"), "P", palette, ", transparency=0"));
        files.push_back(Pillow(dir.File("rgb-trns.png"), "RGB", "", ", transparency=(1, 2, 3)"));
        files.push_back(Pillow(dir.File("grey-alpha.png"), "LA"));
        files.push_back(Pillow(dir.File("bits.png"), "1"));
        files.push_back(Pillow(dir.File("palette.tif"), "P", palette));
        files.push_back(Pillow(dir.File("grey-alpha.tif"), "LA"));
        files.push_back(Pillow(dir.File("bits.tif"), "1"));
        files.push_back(Pillow(dir.File("palette.bmp"), "P", palette));
        files.push_back(Pillow(dir.File("greys.bmp"), "P",
                               "im.putpalette([v for i in range(256) for v in (i, i, i)]); "));
        files.push_back(Pillow(dir.File("cmyk.jpg"), "CMYK"));
    }
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        cv::Mat decoded;
        ASSERT_TRUE(DecodeImage(path, decoded));
        const std::optional<PixelLayout> layout = ProbePixelLayout(path);
        ASSERT_TRUE(layout.has_value());
        EXPECT_EQ(layout->channels, static_cast<uint32_t>(decoded.channels()));
        EXPECT_EQ(layout->bytesPerChannel, static_cast<uint32_t>(decoded.elemSize1()));
    }
    test::WriteFile(dir.File("junk.png"), {1, 2, 3});
    EXPECT_FALSE(ProbePixelLayout(dir.File("junk.png")).has_value());
}

// A BMP that ends inside its info header: the fields it lacks are not made up, so the layout
// is only told where the bytes that decide it are in the file.
TEST(PixelLayout, BmpCutShortSaysOnlyWhatItHolds) {
    test::TempDir dir;
    test::Bytes full = test::MakeBmp({});
    full[28] = 8;                     // a palette image: the colour count at offset 46 decides
    full.resize(54 + 4 * 256, 0x80);  // a palette of one grey
    const struct {
        size_t length;
        uint16_t bits;
        std::optional<PixelLayout> expected;
    } cases[] = {
        {20, 24, std::nullopt},
        {33, 24, std::nullopt},
        {34, 24, PixelLayout{3, 1}},
        {40, 24, PixelLayout{3, 1}},
        {40, 8, std::nullopt},
        {49, 8, std::nullopt},
        {54 + 4 * 256, 8, PixelLayout{1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " bytes, " + std::to_string(c.bits) + " bits");
        test::Bytes bytes = full;
        bytes[28] = static_cast<uint8_t>(c.bits);
        bytes.resize(c.length);
        const std::string path = dir.File("cut" + std::to_string(c.length) + ".bmp");
        test::WriteFile(path, bytes);
        EXPECT_EQ(ProbePixelLayout(path), c.expected);
    }
}

TEST(PreparationBytes, CountsTheBytesOfEachPixelOfPngAndTiff) {
    test::TempDir dir;
    BatchRequest request;
    request.targetWidth = 100;
    request.targetHeight = 50;
    request.saveFormat = SaveFormat::SameAsSource;
    const auto bytes = [&](const std::string& path) {
        return PreparationBytes(request, FileEntry{path, 1000, 2000, 72});
    };
    const uint64_t rgb = bytes(Written(dir.File("rgb.png"), CV_8UC3));
    const uint64_t rgba16 = bytes(Written(dir.File("rgba16.png"), CV_16UC4));
    const uint64_t grey = bytes(Written(dir.File("grey.png"), CV_8UC1));
    const uint64_t tiff16 = bytes(Written(dir.File("rgb16.tif"), CV_16UC3));
    // Eight bytes a pixel against three, one against three, six against three.
    EXPECT_GT(rgba16, rgb);
    EXPECT_LT(grey, rgb);
    EXPECT_GT(tiff16, rgb);
    // 8-bit colour counts as JPEG and BMP always have.
    EXPECT_EQ(rgb, bytes(dir.File("absent.jpg")));
    EXPECT_EQ(rgb, bytes(dir.File("absent.bmp")));
    // An unreadable header counts the largest pixel.
    test::WriteFile(dir.File("junk.tif"), {1, 2, 3});
    EXPECT_GE(bytes(dir.File("junk.tif")), rgba16);

    // Into JPEG, 16-bit RGBA becomes 8-bit colour: the output side shrinks, the source not.
    request.saveFormat = SaveFormat::Jpeg;
    const uint64_t intoJpeg = bytes(dir.File("rgba16.png"));
    EXPECT_LT(intoJpeg, rgba16);
    EXPECT_GT(intoJpeg, rgb);
}

}  // namespace
}  // namespace korvale
