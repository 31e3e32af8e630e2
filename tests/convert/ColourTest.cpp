// Colour managed runs over sources that ImageMagick, libjpeg and libtiff's tools made at test
// time: CMYK and YCCK JPEGs and CMYK TIFFs against ImageMagick's colour-managed conversion of the
// same file, sources with Display P3, Adobe RGB and grey profiles with and without the sRGB
// conversion, and margins that keep the colour asked for.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "BatchRun.h"
#include "ColourManage.h"
#include "Conversion.h"
#include "ImageHeader.h"
#include "Preview.h"
#include "QuietHost.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"

namespace korvale {
namespace {

using test::Bytes;

// Debian's tools, not whatever else PATH may put first.
const std::string kConvert = "/usr/bin/convert";
const std::string kExiftool = "/usr/bin/exiftool";
// A CMYK profile besides the standard one, so that a file's own profile is seen to be used.
const std::string kOtherCmyk = "/usr/share/color/icc/ghostscript/ps_cmyk.icc";
// sRGB as another maker writes it.
const std::string kOtherSrgb = "/usr/share/color/icc/ghostscript/srgb.icc";

bool Shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

// What a command prints; empty when it fails.
std::string Output(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, n);
        }
        if (::pclose(pipe) != 0) {
            out.clear();
        }
    }
    return out;
}

Bytes CarriedProfile(const std::string& path) {
    const std::string text =
        Output(kExiftool + " -b -ICC_Profile " + Quoted(path) + " 2>/dev/null");
    return Bytes(text.begin(), text.end());
}

Bytes Saved(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

// An RGB profile of D65 white, the given primaries and tone curve.
Bytes RgbProfile(const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
    const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
    cmsToneCurve* const curves[3] = {curve, curve, curve};
    const Bytes bytes = Saved(cmsCreateRGBProfile(&d65, &primaries, curves));
    cmsFreeToneCurve(curve);
    return bytes;
}

Bytes DisplayP3() {
    const cmsFloat64Number srgbCurve[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    return RgbProfile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
                      cmsBuildParametricToneCurve(nullptr, 4, srgbCurve));
}

Bytes AdobeRgb() {
    return RgbProfile({{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
                      cmsBuildGamma(nullptr, 563.0 / 256));
}

Bytes Gamma18Grey() {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 1.8);
    const Bytes bytes = Saved(cmsCreateGrayProfile(cmsD50_xyY(), curve));
    cmsFreeToneCurve(curve);
    return bytes;
}

// The inks of a CMYK JPEG as stored.
cv::Mat StoredInks(const std::string& path) {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&info);
    cv::Mat inks(static_cast<int>(info.output_height), static_cast<int>(info.output_width),
                 CV_8UC4);
    for (int row = 0; row < inks.rows; ++row) {
        JSAMPROW line = inks.ptr<JSAMPLE>(row);
        jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return inks;
}

// `inks` written as a JPEG in `space` (CMYK or YCCK), with or without Adobe's APP14 segment.
void WriteInks(const std::string& path, const cv::Mat& inks, J_COLOR_SPACE space, bool adobe) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(inks.cols);
    info.image_height = static_cast<JDIMENSION>(inks.rows);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, space);
    info.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    for (int row = 0; row < inks.rows; ++row) {
        JSAMPROW line = const_cast<JSAMPLE*>(inks.ptr<JSAMPLE>(row));
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// The transform flag of a JPEG's APP14 segment, -1 when it has none.
int AdobeTransform(const std::string& path) {
    const Bytes bytes = test::ReadFile(path);
    for (size_t i = 0; i + 16 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xEE &&
            std::string(bytes.begin() + i + 4, bytes.begin() + i + 9) == "Adobe") {
            return bytes[i + 15];
        }
    }
    return -1;
}

// The root of the mean square difference as a fraction of the full scale.
double Rmse(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.channels() != b.channels()) {
        return 1.0;
    }
    cv::Mat x, y;
    a.convertTo(x, CV_64F, 1.0 / (a.depth() == CV_16U ? 65535 : 255));
    b.convertTo(y, CV_64F, 1.0 / (b.depth() == CV_16U ? 65535 : 255));
    const double norm = cv::norm(x, y, cv::NORM_L2);
    return norm / std::sqrt(static_cast<double>(x.total() * x.channels()));
}

cv::Mat Read(const std::string& path) {
    return cv::imread(path, cv::IMREAD_UNCHANGED);
}

class ColourTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!Shell("test -x " + kConvert + " && test -x " + kExiftool +
                   " && command -v tiffcp >/dev/null && test -f " + kOtherCmyk)) {
            GTEST_SKIP() << "ImageMagick, exiftool, tiffcp or libgs-common is missing; skipped";
        }
        ASSERT_FALSE(StandardCmykProfile().empty()) << "no standard CMYK profile";
        srgb_ = in_.File("srgb.icc");
        test::WriteFile(srgb_, SrgbProfile());
        standardCmyk_ = in_.File("standard-cmyk.icc");
        test::WriteFile(standardCmyk_, StandardCmykProfile());
        // A photo-like picture: a plasma of every hue, the same on every run.
        base_ = in_.File("base.png");
        ASSERT_TRUE(Shell(kConvert + " -size 64x48 -seed 7 plasma:fractal -blur 0x1 -depth 8 " +
                          Quoted(base_)));
        request_.outputFolder = out_.path();
        request_.targetWidth = 64;
        request_.targetHeight = 48;
        request_.targetDpi = 300;
        request_.method = BatchMethod::CropPaste;
        request_.saveFormat = SaveFormat::Png;
    }

    // ImageMagick's command on the base picture, writing `name`.
    std::string Magick(const std::string& name, const std::string& options) {
        const std::string path = in_.File(name);
        EXPECT_TRUE(Shell(kConvert + " " + Quoted(base_) + " " + options + " " + Quoted(path)))
            << options;
        return path;
    }

    // What ImageMagick makes of `source` converted into our sRGB profile (after `assign`,
    // which gives a source without a profile its profile), as PNG.
    std::string Reference(const std::string& source, const std::string& assign = "") {
        const std::string path = source + ".ref.png";
        EXPECT_TRUE(Shell(kConvert + " " + Quoted(source) + " " + assign + " -profile " +
                          Quoted(srgb_) + " " + Quoted(path)));
        return path;
    }

    // One run over `path` alone; the output's path.
    std::string Run(const std::string& path) {
        const auto info = ProbeImageHeader(path);
        EXPECT_TRUE(info) << path;
        FileList list;
        if (info) {
            list.MergeBatch({{path, info->width, info->height, info->dpi}});
        }
        const std::string name = path.substr(path.rfind('/') + 1);
        const std::string output = out_.File(name.substr(0, name.rfind('.')) + ".png");
        std::remove(output.c_str());
        bool running = false;
        test::RecordingInteraction ui;
        test::QuietHost host;
        EXPECT_EQ(RunBatch(list, request_, running, host, ui), BatchEnd::Completed);
        EXPECT_TRUE(ui.MessageTexts().empty() ||
                    ui.MessageTexts() == std::vector<std::string>{"完了"});
        return output;
    }

    test::TempDir in_;
    test::TempDir out_;
    std::string srgb_;
    std::string standardCmyk_;
    std::string base_;
    BatchRequest request_;
};

TEST_F(ColourTest, CmykSourcesBecomeSrgbAsImageMagickConvertsThem) {
    const std::string withProfile = Magick(
        "cmyk.jpg", "-profile " + Quoted(srgb_) + " -profile " + kOtherCmyk + " -quality 100");
    const std::string noProfile =
        Magick("none.jpg", "-profile " + Quoted(srgb_) + " -profile " + Quoted(standardCmyk_) +
                               " -quality 100 +profile '*'");
    // YCCK, and CMYK stored as is without Adobe's segment, from the same inks.
    const cv::Mat inks = StoredInks(withProfile);
    const std::string ycck = in_.File("ycck.jpg");
    WriteInks(ycck, inks, JCS_YCCK, true);
    const std::string plain = in_.File("plain.jpg");
    WriteInks(plain, ~inks, JCS_CMYK, false);
    for (const std::string& path : {ycck, plain}) {
        ASSERT_TRUE(Shell(kExiftool + " -q -q -overwrite_original '-ICC_Profile<=" + kOtherCmyk +
                          "' " + Quoted(path)));
    }
    ASSERT_EQ(AdobeTransform(ycck), 2);
    ASSERT_EQ(AdobeTransform(plain), -1);
    const std::string tiff8 =
        Magick("cmyk8.tif", "-profile " + Quoted(srgb_) + " -profile " + kOtherCmyk);
    const std::string tiff16 =
        Magick("cmyk16.tif", "-depth 16 -profile " + Quoted(srgb_) + " -profile " + kOtherCmyk);
    const std::string planar = in_.File("planar16.tif");
    ASSERT_TRUE(Shell(kConvert + " " + Quoted(tiff16) + " -interlace plane " + Quoted(planar)));
    // In strips of 7 rows, as scanners write them.
    const std::string strips = in_.File("strips8.tif");
    ASSERT_TRUE(Shell("tiffcp -r 7 " + Quoted(tiff8) + " " + Quoted(strips)));
    const std::string alpha =
        Magick("cmyka.tif", "-alpha set -channel A -evaluate set 60% +channel -profile " +
                                Quoted(srgb_) + " -profile " + Quoted(standardCmyk_));
    const std::string tiffNone = Magick("none.tif", "-profile " + Quoted(srgb_) + " -profile " +
                                                        Quoted(standardCmyk_) + " +profile '*'");

    const std::string assignStandard = "-profile " + Quoted(standardCmyk_);
    const struct {
        std::string source;
        std::string reference;
        int depth;
        int channels = 3;
    } cases[] = {
        {withProfile, Reference(withProfile), CV_8U},
        {noProfile, Reference(noProfile, assignStandard), CV_8U},
        {ycck, Reference(ycck), CV_8U},
        // ImageMagick takes every CMYK JPEG's inks as Adobe stores them: the reference of the
        // file without the segment is the one with it.
        {plain, Reference(withProfile), CV_8U},
        {tiff8, Reference(tiff8), CV_8U},
        {tiff16, Reference(tiff16), CV_16U},
        {planar, Reference(tiff16), CV_16U},
        {strips, Reference(tiff8), CV_8U},
        {alpha, Reference(alpha), CV_8U, 4},
        {tiffNone, Reference(tiffNone, assignStandard), CV_8U},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string output = Run(c.source);
        const cv::Mat made = Read(output);
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(made.channels(), c.channels);
        EXPECT_EQ(made.depth(), c.depth);
        EXPECT_LT(Rmse(made, Read(c.reference)), 0.01);
        EXPECT_EQ(CarriedProfile(output), SrgbProfile());
    }
}

TEST_F(ColourTest, OtherProfilesBecomeSrgbOnlyWhenAsked) {
    const Bytes p3 = DisplayP3();
    const Bytes adobe = AdobeRgb();
    const Bytes grey = Gamma18Grey();
    const std::string p3File = in_.File("p3.icc");
    const std::string adobeFile = in_.File("adobe.icc");
    const std::string greyFile = in_.File("grey.icc");
    test::WriteFile(p3File, p3);
    test::WriteFile(adobeFile, adobe);
    test::WriteFile(greyFile, grey);
    const std::string into = "-profile " + Quoted(srgb_) + " -profile ";
    const Bytes otherSrgb = test::ReadFile(kOtherSrgb);
    const struct {
        std::string source;
        Bytes profile;
        int depth;
        int channels;
    } cases[] = {
        {Magick("p3.png", into + Quoted(p3File)), p3, CV_8U, 3},
        {Magick("p3-16.png", "-depth 16 " + into + Quoted(p3File)), p3, CV_16U, 3},
        {Magick("p3.jpg", into + Quoted(p3File) + " -quality 100"), p3, CV_8U, 3},
        {Magick("adobe.tif", into + Quoted(adobeFile)), adobe, CV_8U, 3},
        {Magick("adobe-alpha.png",
                "-alpha set -channel A -evaluate set 60% +channel " + into + Quoted(adobeFile)),
         adobe, CV_8U, 4},
        {Magick("grey.png", "-colorspace Gray -type Grayscale -profile " + Quoted(greyFile)), grey,
         CV_8U, 1},
        // Already sRGB, by another maker: left as it is either way.
        {Magick("srgb.png", "-profile " + Quoted(kOtherSrgb)), otherSrgb, CV_8U, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        ASSERT_EQ(CarriedProfile(c.source), c.profile) << "ImageMagick did not embed it";
        const cv::Mat source = Read(c.source);
        request_.toSrgb = false;
        const std::string kept = Run(c.source);
        EXPECT_EQ(CarriedProfile(kept), c.profile);
        const cv::Mat keptPixels = Read(kept);
        EXPECT_EQ(keptPixels.depth(), c.depth);
        EXPECT_EQ(keptPixels.channels(), c.channels);
        EXPECT_LT(Rmse(keptPixels, source), 0.001);

        request_.toSrgb = true;
        const std::string converted = Run(c.source);
        const cv::Mat pixels = Read(converted);
        EXPECT_EQ(pixels.depth(), c.depth);
        EXPECT_EQ(pixels.channels(), c.channels);
        if (c.profile == otherSrgb) {
            EXPECT_EQ(CarriedProfile(converted), otherSrgb);
            EXPECT_LT(Rmse(pixels, source), 0.001);
            continue;
        }
        const bool greySource = c.channels == 1;
        EXPECT_EQ(CarriedProfile(converted), greySource ? SrgbGreyProfile() : SrgbProfile());
        // ImageMagick converts into the profile the output carries.
        const std::string target = in_.File("target.icc");
        test::WriteFile(target, greySource ? SrgbGreyProfile() : SrgbProfile());
        const std::string reference = c.source + ".ref.png";
        ASSERT_TRUE(Shell(kConvert + " " + Quoted(c.source) + " -profile " + Quoted(target) + " " +
                          Quoted(reference)));
        EXPECT_LT(Rmse(pixels, Read(reference)), 0.01);
        EXPECT_GT(Rmse(pixels, source), 0.005) << "the colours did not move";
    }
}

// A JPEG XL keeps its profile inside the codestream. A lossless one carries it into the output;
// a lossy one whose original space is a profile comes out as sRGB rather than the decoder's
// linear sRGB, so it needs none.
TEST_F(ColourTest, JpegXlProfilesAreCarriedOrTheirPixelsComeOutAsSrgb) {
    if (!Shell("command -v cjxl >/dev/null")) {
        GTEST_SKIP() << "cjxl (libjxl-tools) is not installed";
    }
    const Bytes adobe = AdobeRgb();
    const std::string adobeFile = in_.File("adobe.icc");
    test::WriteFile(adobeFile, adobe);
    const std::string into = "-profile " + Quoted(srgb_) + " -profile " + Quoted(adobeFile);
    const std::string adobe8 = Magick("adobe.png", into);
    const std::string adobe16 = Magick("adobe16.png", "-depth 16 " + into);
    const auto jxl = [&](const std::string& png, const std::string& name,
                         const std::string& options) {
        const std::string path = in_.File(name);
        EXPECT_TRUE(
            Shell("cjxl " + options + " " + Quoted(png) + " " + Quoted(path) + " >/dev/null 2>&1"));
        return path;
    };
    const struct {
        std::string source;
        std::string png;  // what it was made from
        bool lossless;
        int depth;
    } cases[] = {
        {jxl(adobe8, "lossless.jxl", "-d 0"), adobe8, true, CV_8U},
        {jxl(adobe16, "lossless16.jxl", "-d 0"), adobe16, true, CV_16U},
        {jxl(adobe8, "lossy.jxl", "-d 0.5"), adobe8, false, CV_8U},
        {jxl(adobe16, "lossy16.jxl", "-d 0.5"), adobe16, false, CV_16U},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string inSrgb = Reference(c.png);
        request_.toSrgb = false;
        const std::string kept = Run(c.source);
        const cv::Mat keptPixels = Read(kept);
        EXPECT_EQ(keptPixels.depth(), c.depth);
        if (c.lossless) {
            EXPECT_EQ(CarriedProfile(kept), adobe);
            EXPECT_LT(Rmse(keptPixels, Read(c.png)), 0.001);
        } else {
            EXPECT_EQ(CarriedProfile(kept), Bytes{});
            EXPECT_LT(Rmse(keptPixels, Read(inSrgb)), 0.02);
        }
        request_.toSrgb = true;
        const cv::Mat converted = Read(Run(c.source));
        EXPECT_LT(Rmse(converted, Read(inSrgb)), c.lossless ? 0.01 : 0.02);
    }
}

// The preview shows the colours the run writes.
TEST_F(ColourTest, PreviewShowsTheConvertedColours) {
    const std::string p3File = in_.File("p3.icc");
    test::WriteFile(p3File, DisplayP3());
    const std::string source =
        Magick("p3.png", "-profile " + Quoted(srgb_) + " -profile " + Quoted(p3File));
    const FileEntry entry{source, 64, 48, 72};
    const std::optional<PreviewSource> loaded = LoadPreviewSource(source, 0);
    ASSERT_TRUE(loaded);
    for (const bool toSrgb : {false, true}) {
        SCOPED_TRACE(toSrgb);
        request_.toSrgb = toSrgb;
        const FilePlan plan = PlanFile(request_, entry, ImageHeaderInfo{64, 48, 72});
        const PreviewPicture preview = MakePreview(*loaded, request_, plan, {64, 48});
        ASSERT_EQ(preview.result, ConvertResult::Ok);
        EXPECT_LT(Rmse(preview.written, Read(Run(source))), 0.001);
    }
}

// Margins and the background under transparency are the colour chosen, exactly, in the
// output's colour space: they are filled after the conversion, never converted.
TEST_F(ColourTest, MarginsKeepTheChosenColourAfterConversion) {
    const std::string p3File = in_.File("p3.icc");
    test::WriteFile(p3File, DisplayP3());
    const std::string into = "-profile " + Quoted(srgb_) + " -profile ";
    const struct {
        std::string source;
        SaveFormat output;
        bool toSrgb;
    } cases[] = {
        {Magick("cmyk.jpg", into + kOtherCmyk + " -quality 100"), SaveFormat::Png, false},
        {Magick("cmyk16.tif", "-depth 16 " + into + kOtherCmyk), SaveFormat::Png, false},
        {Magick("p3.png",
                "-alpha set -channel A -evaluate set 0 +channel " + into + Quoted(p3File)),
         SaveFormat::Bmp, true},
        {Magick("p3.tif", into + Quoted(p3File)), SaveFormat::Tiff, true},
    };
    request_.method = BatchMethod::Resize;
    request_.keepAspect = true;
    request_.targetWidth = 100;  // 64 x 48 placed at the centre with 18 columns either side
    request_.margin = {10, 200, 30};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        request_.saveFormat = c.output;
        request_.toSrgb = c.toSrgb;
        const auto info = ProbeImageHeader(c.source);
        ASSERT_TRUE(info);
        FileList list;
        list.MergeBatch({{c.source, info->width, info->height, info->dpi}});
        bool running = false;
        test::RecordingInteraction ui;
        test::QuietHost host;
        ASSERT_EQ(RunBatch(list, request_, running, host, ui), BatchEnd::Completed);
        const std::string name = c.source.substr(c.source.rfind('/') + 1);
        const char* extension = c.output == SaveFormat::Bmp    ? ".bmp"
                                : c.output == SaveFormat::Tiff ? ".tif"
                                                               : ".png";
        cv::Mat made = Read(out_.File(name.substr(0, name.rfind('.')) + extension));
        ASSERT_EQ(made.cols, 100);
        const double top = made.depth() == CV_16U ? 257 : 1;
        for (const cv::Point at : {cv::Point(0, 0), cv::Point(17, 47), cv::Point(82, 20),
                                   cv::Point(99, 47), cv::Point(50, 20)}) {
            // The transparent source shows the margin colour everywhere in BMP.
            if (at.x == 50 && c.output != SaveFormat::Bmp) {
                continue;
            }
            const uint8_t* p = made.ptr<uint8_t>(at.y) + at.x * made.elemSize();
            for (int channel = 0; channel < 3; ++channel) {
                const double value = made.depth() == CV_16U
                                         ? reinterpret_cast<const uint16_t*>(p)[channel]
                                         : p[channel];
                EXPECT_EQ(value, (channel == 0   ? 30
                                  : channel == 1 ? 200
                                                 : 10) *
                                     top)
                    << at << " channel " << channel;
            }
        }
    }
}

// What the conversion does to pixels without a run: the depth kept, the alpha untouched, and
// pixels left alone where nothing sound can be done.
TEST(ColourConversion, KeepsDepthAndAlphaAndLeavesWhatItCannotConvert) {
    const Bytes p3 = DisplayP3();
    const struct {
        int type;
        Bytes profile;
        bool converted;
    } cases[] = {
        {CV_8UC3, p3, true},
        {CV_16UC3, p3, true},
        {CV_16UC4, p3, true},
        {CV_32FC3, p3, true},
        {CV_8UC1, Gamma18Grey(), true},
        {CV_16UC1, Gamma18Grey(), true},
        {CV_8UC3, SrgbProfile(), false},      // sRGB already
        {CV_8UC1, SrgbGreyProfile(), false},  // sRGB grey already
        {CV_8UC1, p3, false},                 // an RGB profile on grey pixels
        {CV_8UC3, Gamma18Grey(), false},      // and the reverse
        {CV_8UC3, Bytes(200, 7), false},      // not a profile
        {CV_8UC3, {}, false},
        {CV_32SC3, p3, false},  // no such depth in Little CMS
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.profile.size()));
        cv::Mat image(7, 5, c.type);
        cv::randu(image, 0, CV_MAT_DEPTH(c.type) == CV_32F ? 1 : 200);
        if (image.channels() == 4) {
            image.forEach<cv::Vec4w>([](cv::Vec4w& p, const int*) { p[3] = 12345; });
        }
        const cv::Mat before = image.clone();
        EXPECT_EQ(ConvertToSrgb(image, c.profile), c.converted);
        EXPECT_EQ(image.type(), c.type);
        if (!c.converted) {
            EXPECT_EQ(cv::norm(image, before, cv::NORM_INF), 0);
        } else {
            EXPECT_GT(cv::norm(image, before, cv::NORM_INF), 0);
        }
        if (image.channels() == 4) {
            std::vector<cv::Mat> planes;
            cv::split(image, planes);
            EXPECT_EQ(cv::countNonZero(planes[3] != 12345), 0);
        }
    }
}

}  // namespace
}  // namespace korvale
