// The plan against what the run really writes: sizes, margins and cuts of both methods at all
// nine anchors, read back from the outputs; the problems that stop a run; the print size.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "BatchRun.h"
#include "EncoderLimits.h"
#include "OutputWriter.h"
#include "Plan.h"
#include "QuietHost.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"
#include "Text.h"

namespace korvale {
namespace {

using QuietHost = test::QuietHost;

constexpr int kSourceRed = 100;  // every source pixel; the margin's red is 255
const Rgb kMargin{255, 0, 255};

// A lossless source whose blue and green name the column and row of each pixel.
void WriteSource(const std::string& path, int width, int height) {
    cv::Mat image(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(x), static_cast<uchar>(y),
                                                  static_cast<uchar>(kSourceRed));
        }
    }
    std::vector<uchar> bytes;
    ASSERT_TRUE(cv::imencode(".bmp", image, bytes));
    test::WriteFile(path, test::Bytes(bytes.begin(), bytes.end()));
}

// What an output shows: its size, the margin bands on each side and, where the image starts
// and ends, which source pixel it holds (only meaningful at 1:1).
struct Measured {
    PixelSize size;
    Margins margins;
    cv::Vec3b first;
    cv::Vec3b last;
};

// How many lines from one side are all margin: `line(i)` is the i-th line from that side.
template <typename Line>
int Band(int lines, int length, Line line) {
    int band = 0;
    for (; band < lines; ++band) {
        for (int k = 0; k < length; ++k) {
            if (line(band, k)[2] != 255) {
                return band;
            }
        }
    }
    return band;
}

Measured Measure(const cv::Mat& image) {
    const int w = image.cols, h = image.rows;
    const auto at = [&](int x, int y) { return image.at<cv::Vec3b>(y, x); };
    Measured m;
    m.size = {w, h};
    m.margins.left = Band(w, h, [&](int i, int k) { return at(i, k); });
    m.margins.right = Band(w, h, [&](int i, int k) { return at(w - 1 - i, k); });
    m.margins.top = Band(h, w, [&](int i, int k) { return at(k, i); });
    m.margins.bottom = Band(h, w, [&](int i, int k) { return at(k, h - 1 - i); });
    m.first = at(m.margins.left, m.margins.top);
    m.last = at(w - 1 - m.margins.right, h - 1 - m.margins.bottom);
    return m;
}

struct GeometryCase {
    const char* name;
    BatchMethod method;
    bool keepAspect;
    PixelSize source;
    PixelSize target;
};

void PrintTo(const GeometryCase& c, std::ostream* os) {
    *os << c.name;
}

class PlanAgainstOutput : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(PlanAgainstOutput, AtEveryAnchor) {
    const GeometryCase& c = GetParam();
    test::TempDir in, out;
    const std::string path = in.File("source.bmp");
    WriteSource(path, c.source.width, c.source.height);
    FileList list;
    list.MergeBatch({{path, static_cast<uint32_t>(c.source.width),
                      static_cast<uint32_t>(c.source.height), 72}});
    BatchRequest request;
    request.targetWidth = c.target.width;
    request.targetHeight = c.target.height;
    request.targetDpi = 150;
    request.method = c.method;
    request.keepAspect = c.keepAspect;
    request.margin = kMargin;
    request.interpolation = 4;
    request.outputFolder = out.path();
    for (int anchor = 0; anchor < kAnchorCount; ++anchor) {
        SCOPED_TRACE("anchor " + std::to_string(anchor));
        request.anchor = anchor;
        const std::vector<FilePlan> plans = PlanBatch(request, list, PlanSizes::ProbedNow);
        ASSERT_EQ(plans.size(), 1u);
        const FilePlan& plan = plans[0];
        ASSERT_EQ(plan.problem, PlanProblem::None);
        EXPECT_EQ(plan.exists, anchor > 0);  // the output of the anchor before

        test::RecordingInteraction ui;
        ui.overwriteAnswers = {OverwriteChoice::Overwrite};
        QuietHost host;
        bool running = false;
        ASSERT_EQ(RunBatch(list, request, running, host, ui), BatchEnd::Completed);
        ASSERT_EQ(plan.outputPath, out.File("source.bmp"));
        const cv::Mat written = cv::imread(plan.outputPath, cv::IMREAD_COLOR);
        ASSERT_FALSE(written.empty());
        const Measured m = Measure(written);

        EXPECT_EQ(m.size, plan.output);
        EXPECT_EQ(m.margins,
                  (Margins{std::max(plan.sides.left, 0), std::max(plan.sides.right, 0),
                           std::max(plan.sides.top, 0), std::max(plan.sides.bottom, 0)}));
        EXPECT_EQ(ProbeImageHeader(plan.outputPath)->dpi, plan.outputDpi);
        const PixelSize kept{m.size.width - m.margins.left - m.margins.right,
                             m.size.height - m.margins.top - m.margins.bottom};
        if (c.method == BatchMethod::CropPaste) {
            EXPECT_EQ(plan.scaleX, 1.0);
            EXPECT_EQ(plan.scaleY, 1.0);
            // The corners of what is kept are the source pixels just inside the cuts.
            const int cutLeft = -std::min(plan.sides.left, 0);
            const int cutTop = -std::min(plan.sides.top, 0);
            EXPECT_EQ(m.first, cv::Vec3b(cutLeft, cutTop, kSourceRed));
            EXPECT_EQ(m.last,
                      cv::Vec3b(cutLeft + kept.width - 1, cutTop + kept.height - 1, kSourceRed));
            EXPECT_EQ(c.source.width - cutLeft - kept.width, -std::min(plan.sides.right, 0));
            EXPECT_EQ(c.source.height - cutTop - kept.height, -std::min(plan.sides.bottom, 0));
        } else {
            EXPECT_DOUBLE_EQ(plan.scaleX, static_cast<double>(kept.width) / c.source.width);
            EXPECT_DOUBLE_EQ(plan.scaleY, static_cast<double>(kept.height) / c.source.height);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    BothMethods, PlanAgainstOutput,
    ::testing::Values(
        GeometryCase{"crop, canvas larger, odd free pixels",
                     BatchMethod::CropPaste,
                     false,
                     {40, 30},
                     {51, 43}},
        GeometryCase{
            "crop, canvas smaller, odd cut", BatchMethod::CropPaste, false, {60, 45}, {33, 20}},
        GeometryCase{"crop, wider and lower", BatchMethod::CropPaste, false, {40, 50}, {57, 21}},
        GeometryCase{"crop, same size", BatchMethod::CropPaste, false, {40, 30}, {40, 30}},
        GeometryCase{"crop, one axis equal", BatchMethod::CropPaste, false, {40, 30}, {40, 35}},
        GeometryCase{"resize, stretched", BatchMethod::Resize, false, {40, 30}, {64, 47}},
        GeometryCase{
            "resize, wide source in a tall target", BatchMethod::Resize, true, {50, 20}, {45, 61}},
        GeometryCase{
            "resize, tall source in a wide target", BatchMethod::Resize, true, {21, 50}, {80, 35}},
        GeometryCase{"resize, same proportions", BatchMethod::Resize, true, {40, 30}, {80, 60}},
        GeometryCase{
            "resize, reduced with margins", BatchMethod::Resize, true, {90, 40}, {45, 45}}));

// A JPEG of `width` x `height` pixels whose Exif says it is to be turned by `orientation`.
test::Bytes OrientedJpeg(int width, int height, uint16_t orientation) {
    cv::Mat image(height, width, CV_8UC3, cv::Scalar(10, 20, 30));
    std::vector<uchar> encoded;
    cv::imencode(".jpg", image, encoded);
    test::JpegBuilder builder;
    builder.Soi().App1Exif(false, {test::ExifOrientation(orientation)});
    builder.Raw(test::Bytes(encoded.begin() + 2, encoded.end()));
    return builder.bytes();
}

TEST(Plan, FollowsTheExifOrientationAsTheDecoderDoes) {
    test::TempDir in, out;
    const struct {
        uint16_t orientation;
        PixelSize decoded;
    } cases[] = {{1, {48, 32}}, {3, {48, 32}}, {6, {32, 48}}, {8, {32, 48}}};
    for (const auto& c : cases) {
        SCOPED_TRACE("orientation " + std::to_string(c.orientation));
        const std::string path = in.File("turned" + std::to_string(c.orientation) + ".jpg");
        test::WriteFile(path, OrientedJpeg(48, 32, c.orientation));
        const auto header = ProbeImageHeader(path);
        ASSERT_TRUE(header);
        const FileEntry entry{path, header->width, header->height, 0};
        BatchRequest request;
        request.method = BatchMethod::CropPaste;
        request.targetWidth = 40;
        request.targetHeight = 40;
        request.outputFolder = out.path();
        const FilePlan plan = PlanFile(request, entry, header);
        EXPECT_EQ(plan.source, c.decoded);
        const PreparedImage prepared = PrepareOutput(request, entry);
        ASSERT_EQ(prepared.result, ConvertResult::Ok);
        EXPECT_EQ(PixelSize({prepared.image.cols, prepared.image.rows}), plan.output);
        // 48 pixels against 40 cut 4 on each side; 32 against 40 pad 4.
        const Margins expected =
            c.decoded.width == 48 ? Margins{-4, -4, 4, 4} : Margins{4, 4, -4, -4};
        EXPECT_EQ(plan.sides, expected);
    }
}

TEST(Plan, ProblemsAreTheOnesThatStopTheRun) {
    test::TempDir in, out;
    const auto source = [&](const std::string& name) {
        const std::string path = in.File(name);
        WriteSource(path, 20, 10);
        return path;
    };
    ::mkdir(out.File("folder.bmp").c_str(), 0777);
    const struct {
        const char* name;
        std::string path;
        SaveFormat format;
        int anchor;
        int width;
        bool deleteFirst;
        PlanProblem problem;
        std::string message;  // what the run shows at that file
    } cases[] = {
        {"fine", source("fine.bmp"), SaveFormat::Bmp, 4, 64, false, PlanProblem::None, "完了"},
        {"no extension", source("README"), SaveFormat::Jpeg, 4, 64, false, PlanProblem::NoExtension,
         "拡張子の変更に失敗しました."},
        {"deleted after listing", source("gone.bmp"), SaveFormat::Bmp, 4, 64, true,
         PlanProblem::UnreadableHeader, "画像ファイルの読み出しに失敗しました。"},
        {"bad anchor", source("anchor.bmp"), SaveFormat::Bmp, 9, 64, false, PlanProblem::BadAnchor,
         "配置の基準が異常です。"},
        {"zero width", source("zero.bmp"), SaveFormat::Bmp, 4, 0, false, PlanProblem::ZeroSide,
         "画像ファイルの書き込みに失敗しました。"},
        {"a folder has the output's name", source("folder.bmp"), SaveFormat::Bmp, 4, 64, false,
         PlanProblem::OutputIsFolder, "画像ファイルの書き込みに失敗しました。"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileList list;
        list.MergeBatch({{c.path, 20, 10, 0}});
        if (c.deleteFirst) {
            ::unlink(c.path.c_str());
        }
        BatchRequest request;
        request.method = BatchMethod::CropPaste;
        request.saveFormat = c.format;
        request.anchor = c.anchor;
        request.targetWidth = c.width;
        request.targetHeight = 64;
        request.outputFolder = out.path();
        const std::vector<FilePlan> plans = PlanBatch(request, list, PlanSizes::ProbedNow);
        EXPECT_EQ(plans.at(0).problem, c.problem);

        test::RecordingInteraction ui;
        QuietHost host;
        bool running = false;
        RunBatch(list, request, running, host, ui);
        EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{c.message});
    }
}

TEST(Plan, OutputsTheirEncoderRefusesStopThePlanAndTheRunAlike) {
    test::TempDir in;
    const auto source = [&](const std::string& name, int type) {
        const std::string path = in.File(name);
        cv::Mat image(10, 20, type, cv::Scalar::all(100));
        EXPECT_TRUE(cv::imwrite(path, image));
        return path;
    };
    const std::string colour = source("colour.bmp", CV_8UC3);
    const std::string grey = source("grey.bmp", CV_8UC1);
    const std::string bgra = source("bgra.bmp", CV_8UC4);
    const std::string deep = source("deep.png", CV_16UC4);
    const std::string greyTiff = source("grey.tif", CV_8UC1);
    constexpr int kNone = 0;
    constexpr int kRun = 1;  // cheap enough to run too: refused before any canvas is made
    const struct {
        const char* name;
        std::string path;
        SaveFormat format;
        int width, height;
        bool refused;
        int run;
    } cases[] = {
        // libjpeg: sides up to 65500.
        {"jpeg wide", colour, SaveFormat::Jpeg, 65500, 1, false, kRun},
        {"jpeg too wide", colour, SaveFormat::Jpeg, 65501, 1, true, kRun},
        {"jpeg too high", colour, SaveFormat::Jpeg, 1, 65501, true, kRun},
        // libpng: sides up to a million, whatever the pixel.
        {"png wide", colour, SaveFormat::Png, 1000000, 1, false, kRun},
        {"png too wide", deep, SaveFormat::Png, 1000001, 1, true, kRun},
        // BMP: a file of at most 2^31 - 1 bytes, rows padded to four bytes.
        {"bmp colour", colour, SaveFormat::Bmp, 65535, 10922, false, kNone},
        {"bmp colour too big", colour, SaveFormat::Bmp, 65535, 10923, true, kRun},
        {"bmp of alpha blended to colour", deep, SaveFormat::Bmp, 65535, 10923, true, kRun},
        {"bmp grey", grey, SaveFormat::Bmp, 65535, 32767, false, kNone},
        {"bmp grey too big", grey, SaveFormat::Bmp, 65535, 32768, true, kRun},
        {"bmp of 32 bits decodes to colour", bgra, SaveFormat::SameAsSource, 65535, 10923, true,
         kRun},
        // Uncompressed TIFF: everything within the reach of 32-bit offsets.
        {"tiff 16-bit rgba", deep, SaveFormat::Tiff, 65535, 8191, false, kNone},
        {"tiff 16-bit rgba too big", deep, SaveFormat::Tiff, 65535, 8192, true, kRun},
        {"tiff grey", greyTiff, SaveFormat::SameAsSource, 65535, 65528, false, kNone},
        {"tiff grey too big", greyTiff, SaveFormat::SameAsSource, 65535, 65529, true, kRun},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileList list;
        list.MergeBatch({{c.path, 20, 10, 0}});
        const test::TempDir out;
        BatchRequest request;
        request.method = BatchMethod::CropPaste;
        request.saveFormat = c.format;
        request.targetWidth = c.width;
        request.targetHeight = c.height;
        request.outputFolder = out.path();
        for (const PlanSizes sizes : {PlanSizes::AsListed, PlanSizes::ProbedNow}) {
            EXPECT_EQ(PlanBatch(request, list, sizes).at(0).problem,
                      c.refused ? PlanProblem::TooLargeForFormat : PlanProblem::None);
        }
        if (c.run == kRun) {
            test::RecordingInteraction ui;
            QuietHost host;
            bool running = false;
            RunBatch(list, request, running, host, ui);
            EXPECT_EQ(ui.MessageTexts(),
                      std::vector<std::string>{c.refused ? "画像ファイルの書き込みに失敗しました。"
                                                         : "完了"});
        }
    }
}

TEST(EncoderLimits, AgreeWithTheEncodersAtTheirSideLimits) {
    const struct {
        const char* extension;
        ImageFormat format;
        int width, height;
    } cases[] = {
        {".jpg", ImageFormat::Jpeg, 65500, 1},  {".jpg", ImageFormat::Jpeg, 65501, 1},
        {".jpg", ImageFormat::Jpeg, 1, 65501},  {".png", ImageFormat::Png, 1000000, 1},
        {".png", ImageFormat::Png, 1000001, 1}, {".png", ImageFormat::Png, 1, 1000001},
        {".bmp", ImageFormat::Bmp, 1000001, 1}, {".tif", ImageFormat::Tiff, 1000001, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.extension) + " " + std::to_string(c.width) + "x" +
                     std::to_string(c.height));
        const cv::Mat image(c.height, c.width, CV_8UC3, cv::Scalar::all(9));
        std::vector<uchar> bytes;
        bool encoded = false;
        try {
            encoded = cv::imencode(c.extension, image, bytes);
        } catch (const cv::Exception&) {
        }
        EXPECT_EQ(EncoderRefuses(c.format, {c.width, c.height}, {3, 1}), !encoded);
    }
}

TEST(Plan, ExistingOutputsAndOnesAnEarlierFileWrites) {
    test::TempDir in, out;
    test::WriteFile(out.File("a.jpg"), {1});
    FileList list;
    list.MergeBatch({{in.File("a.bmp"), 20, 10, 0},
                     {in.File("b.bmp"), 20, 10, 0},
                     {in.File("b.jpeg"), 20, 10, 0}});
    BatchRequest request;
    request.saveFormat = SaveFormat::Jpeg;
    request.outputFolder = out.path();
    std::vector<bool> exists;
    for (const FilePlan& plan : PlanBatch(request, list, PlanSizes::AsListed)) {
        exists.push_back(plan.exists);
    }
    // b.bmp and b.jpeg both become b.jpg: the second finds the first one's output.
    EXPECT_EQ(exists, (std::vector<bool>{true, false, true}));

    request.outputFolder.clear();
    for (const FilePlan& plan : PlanBatch(request, list, PlanSizes::AsListed)) {
        EXPECT_FALSE(plan.exists);
        EXPECT_TRUE(plan.outputPath.empty());
    }
}

TEST(Plan, ManyFilesSeeTheOutputFolderAsOneFileDoes) {
    // Past a few dozen files the folder is read once instead of looking at each output.
    test::TempDir in, out;
    FileList list;
    std::vector<FileEntry> batch;
    for (int i = 0; i < 80; ++i) {
        batch.push_back({in.File("f" + std::to_string(i) + ".bmp"), 20, 10, 0});
    }
    list.MergeBatch(batch);
    test::WriteFile(out.File("f1.jpg"), {1});
    ::mkdir(out.File("f2.jpg").c_str(), 0777);
    ASSERT_EQ(::symlink("f1.jpg", out.File("f3.jpg").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", out.File("f4.jpg").c_str()), 0);
    test::WriteFile(out.File("F5.JPG"), {1});  // another file, unless the file system ignores case
    BatchRequest request;
    request.saveFormat = SaveFormat::Jpeg;
    request.outputFolder = out.path();
    const std::vector<FilePlan> plans = PlanBatch(request, list, PlanSizes::AsListed);
    ASSERT_EQ(plans.size(), list.size());
    int existing = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const FilePlan one = PlanFile(request, list[i], ImageHeaderInfo{20, 10, 0});
        EXPECT_EQ(plans[i].exists, one.exists) << list[i].path;
        // f3.jpg is a link to f1.jpg: the two outputs are one file, which only the batch sees.
        const std::string name(FileNameOf(list[i].path));
        const bool linked = name == "f1.bmp" || name == "f3.bmp";
        EXPECT_EQ(plans[i].problem, linked ? PlanProblem::SameOutput : one.problem) << list[i].path;
        existing += plans[i].exists;
    }
    EXPECT_GE(existing, 2);  // f1 and the link to it
}

TEST(Plan, PrintSizeAtTheOutputDpi) {
    const struct {
        int pixels;
        uint32_t dpi;
        std::optional<double> mm;
    } cases[] = {{2480, 300, 210.0}, {3508, 300, 297.0},    {1000, 72, 352.8},
                 {1, 10000, 0.0},    {65535, 1, 1664589.0}, {500, 0, std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(PrintMillimetres(c.pixels, c.dpi), c.mm) << c.pixels << " at " << c.dpi;
    }
}

}  // namespace
}  // namespace korvale
