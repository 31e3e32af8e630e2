// PNG and TIFF through the engine, with sources made by other programs (Pillow, ImageMagick,
// libtiff's tools): pixels against OpenCV's own decode, alpha blended for formats without it,
// 16 bits kept or scaled, each output in the format its name says, with its DPI.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "BatchRun.h"
#include "EncoderLimits.h"
#include "Geometry.h"
#include "ImageHeader.h"
#include "OutputWriter.h"
#include "PngTiffFiles.h"
#include "QuietHost.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"
#include "Text.h"
#include "TiffAlpha.h"

namespace korvale {
namespace {

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p)) {
            out += buffer;
        }
        ::pclose(p);
    }
    return out;
}

// ImageMagick and Debian's Python with its Pillow, not whatever else PATH may put first.
const std::string kConvert = "/usr/bin/convert";
const std::string kPython = "/usr/bin/python3";

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

bool HaveTools() {
    return Shell(std::string("test -x ") + kConvert + " && command -v tiffcp >/dev/null && " +
                 kPython + " -c 'import PIL' 2>/dev/null");
}

// Pillow writes `name` in `mode` from a fixed pseudo-random pattern; `save` holds extra
// arguments of Image.save.
std::string PillowImage(const test::TempDir& dir, const std::string& name, const char* mode,
                        const char* save = "") {
    const std::string path = dir.File(name);
    const std::string script =
        "from PIL import Image\n"
        "import random\n"
        "random.seed(7)\n"
        "im = Image.new('" +
        std::string(mode) +
        "', (61, 43))\n"
        "bands = len(im.getbands())\n"
        "top = 65535 if im.mode.startswith('I') else 255\n"
        "px = [tuple(random.randint(0, top) for _ in range(bands)) for _ in range(61 * 43)]\n"
        "im.putdata([p[0] for p in px] if bands == 1 else px)\n"
        "im.save('" +
        path + "'" + save + ")\n";
    const std::string scriptPath = dir.File(name + ".py");
    test::WriteFile(scriptPath, test::Bytes(script.begin(), script.end()));
    EXPECT_TRUE(Shell(kPython + " '" + scriptPath + "'")) << name;
    return path;
}

cv::Mat Decoded(const std::string& path) {
    return cv::imread(path, cv::IMREAD_UNCHANGED);
}

// libtiff hands over 8-bit TIFF colours multiplied by their declared alpha (TIFFs made by the
// tools here declare it).
bool Multiplied(const std::string& path, const cv::Mat& image) {
    return (HasExtension(path, "tif") || HasExtension(path, "tiff")) && image.type() == CV_8UC4;
}

cv::Mat Multiply(cv::Mat image, bool divide) {
    image.forEach<cv::Vec4b>([divide](cv::Vec4b& p, const int*) {
        for (int c = 0; c < 3 && (p[3] != 0 || !divide); ++c) {
            const double v = divide ? p[c] * 255.0 / p[3] : p[c] * p[3] / 255.0;
            p[c] = static_cast<uint8_t>(std::min(255L, std::lround(v)));
        }
    });
    return image;
}

double DepthScale(int depth) {
    return depth == CV_16U ? 257.0 : 1.0;
}

// What a BMP or JPEG output holds of an image with alpha: each colour blended onto the margin
// colour by the alpha, rounded to nearest.
cv::Mat BlendedOnto(const cv::Mat& bgra, const Rgb& margin) {
    cv::Mat out(bgra.rows, bgra.cols, CV_8UC3);
    const int under[3] = {margin.blue, margin.green, margin.red};
    for (int y = 0; y < bgra.rows; ++y) {
        for (int x = 0; x < bgra.cols; ++x) {
            const cv::Vec4b p = bgra.at<cv::Vec4b>(y, x);
            for (int c = 0; c < 3; ++c) {
                out.at<cv::Vec3b>(y, x)[c] = static_cast<uint8_t>(
                    std::lround((p[c] * p[3] + under[c] * (255.0 - p[3])) / 255.0));
            }
        }
    }
    return out;
}

// The image the engine should write: OpenCV's decode of the source, made 8-bit and blended for
// BMP and JPEG, then scaled by cv::resize to the target or placed by copyMakeBorder.
cv::Mat Expected(const std::string& source, const std::string& output, PixelSize target, bool crop,
                 const Rgb& margin) {
    cv::Mat image = Decoded(source);
    if (Multiplied(source, image)) {
        image = Multiply(image, true);
    }
    const bool keepsAlpha = HasExtension(output, "png") || HasExtension(output, "tif");
    if (!keepsAlpha) {
        image.convertTo(image, CV_8U, 1.0 / DepthScale(image.depth()));
        if (image.channels() == 4) {
            image = BlendedOnto(image, margin);
        }
    }
    const double scale = DepthScale(image.depth());
    const cv::Scalar colour = cv::Scalar(margin.blue, margin.green, margin.red, 255) * scale;
    const PixelSize size{image.cols, image.rows};
    // Scaling stretches to the target: the margins are crop-and-paste's.
    const ConversionGeometry g =
        crop ? CropPasteGeometry(size, target, 4) : ResizeGeometry(size, target, false, 4);
    cv::Mat placed = image;
    if (!crop) {
        cv::resize(image, placed, cv::Size(g.placed.width, g.placed.height), 0, 0,
                   cv::INTER_LANCZOS4);
    }
    cv::Mat out;
    cv::copyMakeBorder(placed, out, g.margins.top, g.margins.bottom, g.margins.left,
                       g.margins.right, cv::BORDER_CONSTANT, colour);
    if (HasExtension(output, "jpg")) {
        std::vector<uchar> bytes;
        cv::imencode(".jpg", out, bytes, {cv::IMWRITE_JPEG_QUALITY, 95});
        out = cv::imdecode(bytes, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
    }
    return out;
}

class ImageFormats : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveTools()) {
            GTEST_SKIP() << "ImageMagick, libtiff-tools or Pillow missing";
        }
        request_.outputFolder = out_.path();
        request_.targetWidth = 80;
        request_.targetHeight = 50;
        request_.targetDpi = 300;
        request_.anchor = 4;
    }

    // Lists `path` as the probe reads it, or with the given size when the probe refuses it.
    void List(const std::string& path) {
        const cv::Mat image = Decoded(path);
        ASSERT_FALSE(image.empty()) << path;
        list_.MergeBatch(
            {{path, static_cast<uint32_t>(image.cols), static_cast<uint32_t>(image.rows), 72}});
    }

    BatchEnd RunAll() {
        QuietHost host;
        bool running = false;
        return RunBatch(list_, request_, running, host, ui_);
    }

    using QuietHost = test::QuietHost;

    test::TempDir in_;
    test::TempDir out_;
    FileList list_;
    BatchRequest request_;
    test::RecordingInteraction ui_;
};

TEST_F(ImageFormats, ConvertedPixelsMatchOpenCvsDecodeOfTheSource) {
    const std::string rgb = PillowImage(in_, "rgb.png", "RGB");
    const std::string rgba = PillowImage(in_, "rgba.png", "RGBA");
    const struct {
        std::string path;
        int type;  // as OpenCV decodes the source
    } sources[] = {
        {rgb, CV_8UC3},
        {rgba, CV_8UC4},
        {PillowImage(in_, "grey.png", "L"), CV_8UC1},
        {PillowImage(in_, "grey-alpha.png", "LA"), CV_8UC4},
        {PillowImage(in_, "grey16.png", "I;16"), CV_16UC1},
        {PillowImage(in_, "plain.tif", "RGB"), CV_8UC3},
        {PillowImage(in_, "alpha-lzw.tiff", "RGBA", ", compression='tiff_lzw'"), CV_8UC4},
        {PillowImage(in_, "grey.TIF", "L"), CV_8UC1},
    };
    std::vector<std::pair<std::string, int>> all;
    for (const auto& s : sources) {
        all.emplace_back(s.path, s.type);
    }
    // ImageMagick: 16-bit colour with and without alpha, a big-endian TIFF; tiffcp: LZW.
    ASSERT_TRUE(Shell(kConvert + " '" + rgb + "' -depth 16 png48:'" + in_.File("rgb16.png") + "'"));
    ASSERT_TRUE(
        Shell(kConvert + " '" + rgba + "' -depth 16 png64:'" + in_.File("rgba16.png") + "'"));
    ASSERT_TRUE(Shell(kConvert + " '" + rgb + "' -depth 16 -endian MSB -compress none '" +
                      in_.File("rgb16-be.tif") + "'"));
    ASSERT_TRUE(
        Shell("tiffcp -c lzw '" + in_.File("plain.tif") + "' '" + in_.File("lzw.tif") + "'"));
    all.insert(all.end(), {{in_.File("rgb16.png"), CV_16UC3},
                           {in_.File("rgba16.png"), CV_16UC4},
                           {in_.File("rgb16-be.tif"), CV_16UC3},
                           {in_.File("lzw.tif"), CV_8UC3}});
    const Rgb margin{10, 200, 30};
    request_.margin = margin;
    for (const auto& [path, type] : all) {
        ASSERT_EQ(Decoded(path).type(), type) << path;
        for (const SaveFormat format :
             {SaveFormat::Png, SaveFormat::Tiff, SaveFormat::Bmp, SaveFormat::Jpeg}) {
            for (const BatchMethod method : {BatchMethod::Resize, BatchMethod::CropPaste}) {
                list_ = FileList();
                List(path);
                request_.saveFormat = format;
                request_.method = method;
                ui_ = test::RecordingInteraction();
                ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
                ASSERT_EQ(RunAll(), BatchEnd::Completed) << path << " " << int(format);
                const std::string output = out_.File(*OutputFileName(path, request_.saveFormat));
                const cv::Mat written = Decoded(output);
                cv::Mat expected =
                    Expected(path, output, {80, 50}, method == BatchMethod::CropPaste, margin);
                ASSERT_EQ(written.type(), expected.type()) << output;
                ASSERT_EQ(written.size(), expected.size()) << output;
                // Read back through libtiff's multiplication, which rounds on its own.
                const bool multiplied = Multiplied(output, written);
                if (multiplied) {
                    expected = Multiply(expected, false);
                }
                EXPECT_LE(cv::norm(written, expected, cv::NORM_INF), multiplied ? 1 : 0)
                    << path << " into " << output << " by " << int(method);
            }
        }
    }
}

TEST_F(ImageFormats, AlphaIsBlendedOntoTheMarginColourOnlyWhereTheOutputCannotHoldIt) {
    // Transparent red, opaque blue, half-covering green.
    const std::string script =
        "from PIL import Image\n"
        "im = Image.new('RGBA', (3, 1))\n"
        "im.putdata([(255, 0, 0, 0), (0, 0, 255, 255), (0, 255, 0, 128)])\n"
        "im.save('" +
        in_.File("dots.png") + "')\n";
    test::WriteFile(in_.File("dots.py"), test::Bytes(script.begin(), script.end()));
    ASSERT_TRUE(Shell(kPython + " '" + in_.File("dots.py") + "'"));
    ASSERT_TRUE(Shell(kConvert + " '" + in_.File("dots.png") + "' -depth 16 png64:'" +
                      in_.File("dots16.png") + "'"));
    request_.margin = {10, 20, 30};
    request_.method = BatchMethod::CropPaste;
    request_.targetWidth = 5;
    request_.targetHeight = 1;
    using Px = cv::Vec3b;
    // BGR: margin, margin where nothing covered, blue, the blend of green, margin.
    const std::vector<Px> blended = {
        {30, 20, 10}, {30, 20, 10}, {255, 0, 0}, {15, 138, 5}, {30, 20, 10}};
    for (const char* source : {"dots.png", "dots16.png"}) {
        for (const SaveFormat format : {SaveFormat::Bmp, SaveFormat::Jpeg, SaveFormat::Png}) {
            list_ = FileList();
            List(in_.File(source));
            request_.saveFormat = format;
            ui_ = test::RecordingInteraction();
            ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
            ASSERT_EQ(RunAll(), BatchEnd::Completed) << source;
            const cv::Mat out = Decoded(out_.File(*OutputFileName(source, format)));
            if (format == SaveFormat::Bmp) {
                ASSERT_EQ(out.type(), CV_8UC3);
                for (int x = 0; x < 5; ++x) {
                    EXPECT_EQ(out.at<Px>(0, x), blended[static_cast<size_t>(x)])
                        << source << " at " << x;
                }
            } else if (format == SaveFormat::Jpeg) {
                EXPECT_EQ(out.type(), CV_8UC3);  // lossy: the channels only
            } else {
                // PNG keeps the alpha and what hides under it; the margins are opaque.
                const bool deep = std::string(source) == "dots16.png";
                ASSERT_EQ(out.type(), deep ? CV_16UC4 : CV_8UC4);
                cv::Mat narrow;
                out.convertTo(narrow, CV_8U, deep ? 1.0 / 257 : 1.0);
                EXPECT_EQ(narrow.at<cv::Vec4b>(0, 0), cv::Vec4b(30, 20, 10, 255));
                EXPECT_EQ(narrow.at<cv::Vec4b>(0, 1), cv::Vec4b(0, 0, 255, 0));
                EXPECT_EQ(narrow.at<cv::Vec4b>(0, 3), cv::Vec4b(0, 255, 0, 128));
            }
        }
    }
}

TEST_F(ImageFormats, OutputsCarryTheirDpiForOurProbeAndForPillow) {
    List(PillowImage(in_, "photo.png", "RGB"));
    List(PillowImage(in_, "scan.tif", "RGB"));
    const struct {
        SaveFormat format;
        const char* png;
        const char* tif;
    } cases[] = {
        {SaveFormat::Png, "photo.png", "scan.png"},
        {SaveFormat::Tiff, "photo.tif", "scan.tif"},
        {SaveFormat::SameAsSource, "photo.png", "scan.tif"},
    };
    for (const auto& c : cases) {
        request_.saveFormat = c.format;
        ui_ = test::RecordingInteraction();
        ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
        ASSERT_EQ(RunAll(), BatchEnd::Completed);
        for (const char* name : {c.png, c.tif}) {
            const std::string path = out_.File(name);
            const auto info = ProbeImageHeader(path);
            ASSERT_TRUE(info) << name;
            EXPECT_EQ(info->width, 80u);
            EXPECT_EQ(info->height, 50u);
            EXPECT_EQ(info->dpi, 300u) << name;
            EXPECT_EQ(Output(kPython + " -c \"from PIL import Image; d = Image.open('" + path +
                             "').info['dpi']; print(round(d[0]), round(d[1]), Image.open('" + path +
                             "').format)\""),
                      std::string("300 300 ") + (HasExtension(name, "png") ? "PNG" : "TIFF") + "\n")
                << name;
        }
    }
}

// JPEG bytes under a PNG name, listed before the file changed: the output is a PNG with its
// DPI. A name whose format cannot carry the DPI is not written at all.
TEST_F(ImageFormats, TheOutputNameDecidesTheFormatAndNeverGoesWithoutItsDpi) {
    cv::Mat image(30, 40, CV_8UC3, cv::Scalar(40, 80, 120));
    std::vector<uchar> jpeg;
    cv::imencode(".jpg", image, jpeg);
    for (const char* name : {"x.jpg.png", "y.png.tif"}) {
        test::WriteFile(in_.File(name), test::Bytes(jpeg.begin(), jpeg.end()));
        List(in_.File(name));
    }
    request_.saveFormat = SaveFormat::SameAsSource;
    ASSERT_EQ(RunAll(), BatchEnd::Completed);
    const test::Bytes png = test::ReadFile(out_.File("x.jpg.png"));
    ASSERT_GE(png.size(), 8u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    const test::Bytes tif = test::ReadFile(out_.File("y.png.tif"));
    ASSERT_GE(tif.size(), 4u);
    EXPECT_EQ(std::string(tif.begin(), tif.begin() + 2), "II");
    for (const char* name : {"x.jpg.png", "y.png.tif"}) {
        const auto info = ProbeImageHeader(out_.File(name));
        ASSERT_TRUE(info) << name;
        EXPECT_EQ(info->dpi, 300u) << name;
    }

    list_ = FileList();
    test::WriteFile(in_.File("z.webp"), test::Bytes(jpeg.begin(), jpeg.end()));
    List(in_.File("z.webp"));
    EXPECT_EQ(RunAll(), BatchEnd::Failed);
    EXPECT_FALSE(std::ifstream(out_.File("z.webp")).good());
}

TEST_F(ImageFormats, TiffAlphaIsReadFromExtraSamplesAndAddedInEitherByteOrder) {
    const std::string rgba = PillowImage(in_, "rgba.png", "RGBA");
    const struct {
        const char* name;
        const char* options;
        TiffAlpha alpha;  // as made; "tiffset -u 338" then takes the declaration away
    } cases[] = {
        {"lsb-unassoc.tif", "-endian LSB", TiffAlpha::Unassociated},
        {"msb-unassoc.tif", "-endian MSB", TiffAlpha::Unassociated},
        {"msb-assoc.tif", "-endian MSB -define tiff:alpha=associated", TiffAlpha::Associated},
    };
    for (const auto& c : cases) {
        const std::string path = in_.File(c.name);
        ASSERT_TRUE(Shell(kConvert + " '" + rgba + "' " + c.options + " '" + path + "'"));
        EXPECT_EQ(TiffAlphaOfFile(path), c.alpha) << c.name;
        EXPECT_FALSE(TiffWithUnassociatedAlpha(test::ReadFile(path))) << c.name;
        ASSERT_TRUE(Shell("tiffset -u 338 '" + path + "'"));
        EXPECT_EQ(TiffAlphaOfFile(path), TiffAlpha::Unknown) << c.name;
        const std::optional<test::Bytes> marked = TiffWithUnassociatedAlpha(test::ReadFile(path));
        ASSERT_TRUE(marked) << c.name;
        const std::string copy = in_.File(std::string("marked-") + c.name);
        test::WriteFile(copy, *marked);
        EXPECT_EQ(TiffAlphaOfFile(copy), TiffAlpha::Unassociated) << c.name;
        const auto info = ProbeImageHeader(copy);
        ASSERT_TRUE(info) << c.name;
        EXPECT_EQ(info->width, 61u) << c.name;
        // libtiff's own reader takes the copy for RGB with unassociated alpha.
        EXPECT_NE(Output("tiffinfo '" + copy + "' 2>&1").find("unassoc-alpha"), std::string::npos)
            << c.name;
    }
    EXPECT_EQ(TiffAlphaOfFile(rgba), TiffAlpha::Unknown);
    EXPECT_FALSE(TiffWithUnassociatedAlpha(test::ReadFile(rgba)));
}

// Read with its alpha, a PNG is turned by its eXIf orientation as OpenCV turns it without.
TEST_F(ImageFormats, PngIsTurnedByItsExifOrientationAndKeepsItsAlpha) {
    if (!Shell("command -v exiftool >/dev/null")) {
        GTEST_SKIP() << "exiftool missing";
    }
    const std::string plain = PillowImage(in_, "plain.png", "RGBA");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const std::string path = in_.File("turned" + std::to_string(orientation) + ".png");
        ASSERT_TRUE(Shell("exiftool -q -o '" + path +
                          "' -Orientation#=" + std::to_string(orientation) + " '" + plain + "'"));
        cv::Mat decoded;
        ASSERT_TRUE(DecodeImage(path, decoded));
        ASSERT_EQ(decoded.type(), CV_8UC4) << orientation;
        const cv::Mat byOpenCv = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
        ASSERT_EQ(decoded.size(), byOpenCv.size()) << orientation;
        cv::Mat colours;
        cv::cvtColor(decoded, colours, cv::COLOR_BGRA2BGR);
        EXPECT_EQ(cv::norm(colours, byOpenCv, cv::NORM_INF), 0) << orientation;
        const auto info = ProbeImageHeader(path);
        ASSERT_TRUE(info);
        EXPECT_EQ(cv::Size(static_cast<int>(info->width), static_cast<int>(info->height)),
                  decoded.size())
            << orientation;
    }
}

// A 16-bit RGBA TIFF of two pixels, one half covered and one opaque, with ExtraSamples
// `extra` (1 associated, 2 unassociated): its samples as stored, little-endian.
test::Bytes SixteenBitRgbaTiff(uint16_t extra, const uint16_t (&samples)[8]) {
    constexpr uint32_t kBytes = sizeof samples;
    test::Bytes tiff = test::MakeTiff(false,
                                      {{256, test::kTiffShort, {2}},
                                       {257, test::kTiffShort, {1}},
                                       {258, test::kTiffShort, {16, 16, 16, 16}},
                                       {259, test::kTiffShort, {1}},
                                       {262, test::kTiffShort, {2}},
                                       {273, test::kTiffLong, {8}},
                                       {277, test::kTiffShort, {4}},
                                       {278, test::kTiffShort, {1}},
                                       {279, test::kTiffLong, {kBytes}},
                                       {284, test::kTiffShort, {1}},
                                       {338, test::kTiffShort, {extra}}},
                                      kBytes);
    for (size_t i = 0; i < 8; ++i) {
        tiff[8 + 2 * i] = static_cast<uint8_t>(samples[i]);
        tiff[9 + 2 * i] = static_cast<uint8_t>(samples[i] >> 8);
    }
    return tiff;
}

TEST(TiffAlpha, SixteenBitAssociatedAlphaComesOutAsPlainColours) {
    test::TempDir in, out;
    // RGBA: colours multiplied by half coverage (or not), then an opaque pixel.
    const uint16_t stored[8] = {30000, 20000, 10000, 32768, 3456, 2345, 1234, 65535};
    const struct {
        const char* name;
        uint16_t extra;
        double red, green, blue;  // of the half-covered pixel, 0 to 65535
    } cases[] = {
        {"associated", 1, 30000 * 65535.0 / 32768, 20000 * 65535.0 / 32768,
         10000 * 65535.0 / 32768},
        {"unassociated", 2, 30000, 20000, 10000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = in.File(std::string(c.name) + ".tif");
        test::WriteFile(source, SixteenBitRgbaTiff(c.extra, stored));
        // PNG keeps the depth and the alpha; BMP blends onto the white margin colour.
        const std::string png = out.File(std::string(c.name) + ".png");
        const std::string bmp = out.File(std::string(c.name) + ".bmp");
        for (const std::string& output : {png, bmp}) {
            ASSERT_EQ(CropPasteImage(source, output, {2, 1}, {}, 4, Rgb{255, 255, 255}),
                      ConvertResult::Ok);
        }
        const cv::Mat deep = cv::imread(png, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(deep.type(), CV_16UC4);
        const auto half = deep.at<cv::Vec<uint16_t, 4>>(0, 0);
        EXPECT_NEAR(half[2], c.red, 1.0);
        EXPECT_NEAR(half[1], c.green, 1.0);
        EXPECT_NEAR(half[0], c.blue, 1.0);
        EXPECT_EQ(half[3], 32768);
        const cv::Vec<uint16_t, 4> opaque{1234, 2345, 3456, 65535};
        EXPECT_EQ((deep.at<cv::Vec<uint16_t, 4>>(0, 1)), opaque);

        const cv::Mat flat = cv::imread(bmp, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(flat.type(), CV_8UC3);
        const double cover = 32768 / 65535.0;
        const auto blended = [&](double colour) {
            return colour / 257 * cover + 255 * (1 - cover);
        };
        const auto pixel = flat.at<cv::Vec3b>(0, 0);
        EXPECT_NEAR(pixel[2], blended(c.red), 1.5);
        EXPECT_NEAR(pixel[1], blended(c.green), 1.5);
        EXPECT_NEAR(pixel[0], blended(c.blue), 1.5);
    }
}

TEST(OutputFormat, FollowsTheExtensionOfTheName) {
    const struct {
        const char* name;
        std::optional<ImageFormat> output;
        ImageFormat read;  // as the probe reads that name
    } cases[] = {
        {"a.png", ImageFormat::Png, ImageFormat::Png},
        {"a.PNG", ImageFormat::Png, ImageFormat::Png},
        {"a.tif", ImageFormat::Tiff, ImageFormat::Tiff},
        {"a.TIFF", ImageFormat::Tiff, ImageFormat::Tiff},
        {"a.bmp", ImageFormat::Bmp, ImageFormat::Bmp},
        {"a.jpg", ImageFormat::Jpeg, ImageFormat::Jpeg},
        {"a.JPEG", ImageFormat::Jpeg, ImageFormat::Jpeg},
        {"a.jpe", ImageFormat::Jpeg, ImageFormat::Jpeg},
        {"a.jpg.png", ImageFormat::Png, ImageFormat::Png},
        {"a.webp", ImageFormat::Webp, ImageFormat::Webp},
        {"a.HEIC", std::nullopt, ImageFormat::Heif},
        {"a.heif", std::nullopt, ImageFormat::Heif},
        {"a.hif", std::nullopt, ImageFormat::Heif},
        {"a.avif", ImageFormat::Avif, ImageFormat::Avif},
        {"a.jxl", std::nullopt, ImageFormat::Jxl},
        {"a.gif", std::nullopt, ImageFormat::Jpeg},
        {"README", std::nullopt, ImageFormat::Jpeg},
        {"/in.png/README", std::nullopt, ImageFormat::Jpeg},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutputFormatOfName(c.name), c.output) << c.name;
        EXPECT_EQ(FormatOfName(c.name), c.read) << c.name;
    }
    EXPECT_EQ(OutputFileName("/in/scan.2021.TIFF", SaveFormat::Png), "scan.2021.png");
    EXPECT_EQ(OutputFileName("/in/shot.png", SaveFormat::Tiff), "shot.tif");
    EXPECT_EQ(OutputFileName("/in/README", SaveFormat::Tiff), std::nullopt);
}

// The plan and the memory bound count with OutputPixel; the run makes the pixel with
// FitForOutput. They must agree for every pair of formats and every decoded pixel.
TEST(OutputPixel, IsWhatFitForOutputMakes) {
    const ImageFormat formats[] = {ImageFormat::Bmp, ImageFormat::Jpeg, ImageFormat::Png,
                                   ImageFormat::Tiff};
    const int types[] = {CV_8UC1,  CV_8UC3,  CV_8UC4,  CV_16UC1, CV_16UC3,
                         CV_16UC4, CV_32FC1, CV_32FC3, CV_64FC4};
    for (ImageFormat source : formats) {
        for (ImageFormat output : formats) {
            for (int type : types) {
                SCOPED_TRACE(OutputExtension(source) + " to " + OutputExtension(output) + " type " +
                             std::to_string(type));
                cv::Mat image(3, 2, type, cv::Scalar::all(0.5));
                const PixelLayout decoded{static_cast<uint32_t>(image.channels()),
                                          static_cast<uint32_t>(image.elemSize1())};
                ASSERT_TRUE(FitForOutput(image, source, output, Rgb{255, 255, 255}));
                const PixelLayout made{static_cast<uint32_t>(image.channels()),
                                       static_cast<uint32_t>(image.elemSize1())};
                EXPECT_EQ(made, OutputPixel(decoded, source, output));
            }
        }
    }
}

}  // namespace
}  // namespace korvale
