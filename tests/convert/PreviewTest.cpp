// The preview shows what the run writes: its margins and cuts, scaled up, lie within one preview
// pixel of those of the real output, for both methods and every anchor; reduced decoding keeps
// the file's full size and turn; the plan line and the outliers read the plan right.
#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "BatchRun.h"
#include "Conversion.h"
#include "MessageWords.h"
#include "PlanSummary.h"
#include "Preview.h"
#include "TestFiles.h"

namespace korvale {
namespace {

// Every source pixel tells where it comes from: blue = x, green = y, red = 1000; margins are 0.
cv::Mat CodedSource(int width, int height) {
    cv::Mat image(height, width, CV_16UC3);
    for (int y = 0; y < height; ++y) {
        auto* row = image.ptr<cv::Vec3w>(y);
        for (int x = 0; x < width; ++x) {
            row[x] = cv::Vec3w(static_cast<uint16_t>(x), static_cast<uint16_t>(y), 1000);
        }
    }
    return image;
}

bool IsMargin(const cv::Vec3w& pixel) {
    return pixel[2] < 500;
}

// Margins counted as whole rows or columns of margin at each side.
Margins MeasuredMargins(const cv::Mat& image) {
    auto column = [&](int x) {
        for (int y = 0; y < image.rows; ++y) {
            if (!IsMargin(image.at<cv::Vec3w>(y, x))) {
                return false;
            }
        }
        return true;
    };
    auto row = [&](int y) {
        for (int x = 0; x < image.cols; ++x) {
            if (!IsMargin(image.at<cv::Vec3w>(y, x))) {
                return false;
            }
        }
        return true;
    };
    Margins m;
    while (m.left < image.cols && column(m.left))
        ++m.left;
    while (m.right < image.cols - m.left && column(image.cols - 1 - m.right))
        ++m.right;
    while (m.top < image.rows && row(m.top))
        ++m.top;
    while (m.bottom < image.rows - m.top && row(image.rows - 1 - m.bottom))
        ++m.bottom;
    return m;
}

// Source coordinates (in full-size pixels) of the kept region's four edges, read from the
// coded pixels at the inside corners; for a reduced image each pixel holds the mean of the
// source pixels it covers, so its edges lie half a reduced pixel beyond that mean.
struct KeptEdges {
    double left, right, top, bottom;
};
KeptEdges MeasuredKept(const cv::Mat& image, const Margins& m, double pixel) {
    const cv::Vec3w first = image.at<cv::Vec3w>(m.top, m.left);
    const cv::Vec3w last = image.at<cv::Vec3w>(image.rows - 1 - m.bottom, image.cols - 1 - m.right);
    const double half = (pixel - 1.0) / 2.0;
    return {first[0] - half, last[0] + 1 + half, first[1] - half, last[1] + 1 + half};
}

// A request by position, every member named in its order: the width, height and DPI, their
// three switches, whether the source is fitted inside the target with margins, the margin
// colour, JPEG quality, folder, interpolation, anchor, method, format and metadata.
BatchRequest Request(BatchMethod method, PixelSize target, uint32_t dpi, bool fitted, int anchor) {
    return BatchRequest{target.width,
                        target.height,
                        dpi,
                        true,
                        true,
                        true,
                        fitted,
                        Rgb{255, 255, 255},
                        95,
                        "",
                        4,
                        anchor,
                        method,
                        SaveFormat::SameAsSource,
                        MetadataPolicy::NoGps};
}

struct Case {
    BatchMethod method;
    bool fitted;
    PixelSize source;
    PixelSize target;
};

std::string FormatCase(const Case& c, int anchor) {
    return std::string(c.method == BatchMethod::Resize ? (c.fitted ? "fitted " : "stretched ")
                                                       : "crop ") +
           std::to_string(c.source.width) + "x" + std::to_string(c.source.height) + " into " +
           std::to_string(c.target.width) + "x" + std::to_string(c.target.height) + " anchor " +
           std::to_string(anchor);
}

TEST(Preview, MarginsAndCutsLieWithinOnePreviewPixelOfTheRealOutput) {
    const Case cases[] = {
        {BatchMethod::Resize, true, {2000, 1500}, {1240, 1754}},
        {BatchMethod::Resize, true, {1200, 800}, {1000, 1000}},
        {BatchMethod::Resize, true, {600, 800}, {1000, 1000}},
        {BatchMethod::Resize, true, {1920, 1080}, {1000, 1000}},
        {BatchMethod::Resize, true, {1001, 1000}, {1000, 1000}},
        {BatchMethod::Resize, true, {30, 1000}, {100, 100}},
        {BatchMethod::Resize, false, {1200, 800}, {1000, 1000}},
        {BatchMethod::CropPaste, false, {1200, 800}, {1000, 1000}},
        {BatchMethod::CropPaste, false, {1003, 1000}, {1000, 1000}},
        {BatchMethod::CropPaste, false, {1200, 1200}, {1000, 1000}},
        {BatchMethod::CropPaste, false, {800, 600}, {1000, 1000}},
        {BatchMethod::CropPaste, false, {801, 600}, {1000, 1000}},
        {BatchMethod::CropPaste, false, {2000, 1500}, {1240, 1754}},
        {BatchMethod::CropPaste, false, {1500, 300}, {400, 900}},
    };
    const PixelSize box{320, 240};
    for (const Case& c : cases) {
        const cv::Mat full = CodedSource(c.source.width, c.source.height);
        const PreviewSource reduced = ReducePreviewSource("coded", full, 640);
        for (int anchor = 0; anchor < kAnchorCount; ++anchor) {
            BatchRequest request = Request(c.method, c.target, 0, c.fitted, anchor);
            request.interpolation = 0;  // the edges do not depend on it; nearest is quick
            request.margin = {0, 0, 0};
            const FileEntry entry{"coded.png", static_cast<uint32_t>(c.source.width),
                                  static_cast<uint32_t>(c.source.height), 0};
            const FilePlan plan =
                PlanFile(request, entry, ImageHeaderInfo{entry.width, entry.height, 0});
            const PreparedImage real =
                c.method == BatchMethod::Resize
                    ? PrepareResized(full, c.target, InterpolationFlag(0), anchor, c.fitted,
                                     request.margin)
                    : PrepareCropPasted(full, c.target, anchor, request.margin);
            const PreviewPicture preview = MakePreview(reduced, request, plan, box);
            const std::string where = FormatCase(c, anchor);
            ASSERT_EQ(real.result, ConvertResult::Ok) << where;
            ASSERT_EQ(preview.result, ConvertResult::Ok) << where;
            EXPECT_LE(preview.shown.cols, box.width + 1) << where;
            EXPECT_LE(preview.shown.rows, box.height + 1) << where;

            const Margins m = MeasuredMargins(real.image);
            const Margins p = MeasuredMargins(preview.written);
            EXPECT_EQ(p, preview.geometry.margins) << where;  // the frame matches the pixels
            const double sx = preview.scaleX, sy = preview.scaleY;
            EXPECT_NEAR(p.left, m.left * sx, 1.0) << where;
            EXPECT_NEAR(p.right, m.right * sx, 1.0) << where;
            EXPECT_NEAR(p.top, m.top * sy, 1.0) << where;
            EXPECT_NEAR(p.bottom, m.bottom * sy, 1.0) << where;

            if (c.method == BatchMethod::CropPaste) {
                // In full-size source pixels; one preview pixel is 1/scale of them.
                const KeptEdges r = MeasuredKept(real.image, m, 1.0);
                const KeptEdges q = MeasuredKept(preview.written, p, 1.0 / sx);
                EXPECT_NEAR(q.left, r.left, 1.0 / sx) << where;
                EXPECT_NEAR(q.right, r.right, 1.0 / sx) << where;
                EXPECT_NEAR(q.top, r.top, 1.0 / sy) << where;
                EXPECT_NEAR(q.bottom, r.bottom, 1.0 / sy) << where;
                // The greyed source sits where the cut puts it, around the output's frame.
                EXPECT_EQ(preview.placed.x - preview.output.x,
                          preview.geometry.margins.left - preview.geometry.cut.left)
                    << where;
                EXPECT_EQ(preview.placed.y - preview.output.y,
                          preview.geometry.margins.top - preview.geometry.cut.top)
                    << where;
            }
        }
    }
}

TEST(Preview, ReducedDecodeKeepsTheFullSizeAndTheTurn) {
    test::TempDir dir;
    cv::Mat picture(1200, 1600, CV_8UC3, cv::Scalar(10, 120, 230));
    std::vector<uchar> jpeg;
    ASSERT_TRUE(cv::imencode(".jpg", picture, jpeg));
    const test::Bytes plain(jpeg.begin(), jpeg.end());
    // The same JPEG turned a quarter by its Exif orientation 6.
    const test::Bytes exif =
        test::JpegBuilder().App1Exif(false, {test::ExifOrientation(6)}).bytes();
    test::Bytes turned(plain.begin(), plain.begin() + 2);
    turned.insert(turned.end(), exif.begin(), exif.end());
    turned.insert(turned.end(), plain.begin() + 2, plain.end());
    test::WriteFile(dir.File("plain.jpg"), plain);
    test::WriteFile(dir.File("turned.jpg"), turned);
    ASSERT_TRUE(cv::imwrite(dir.File("plain.bmp"), picture));

    const struct {
        const char* name;
        int minLongSide;
        cv::Size reduced;
        PixelSize full;
    } cases[] = {
        {"plain.jpg", 300, {400, 300}, {1600, 1200}},   // 1/4: 1/8 would give only 200
        {"plain.jpg", 200, {200, 150}, {1600, 1200}},   // 1/8
        {"plain.jpg", 0, {1600, 1200}, {1600, 1200}},   // whole
        {"turned.jpg", 300, {300, 400}, {1200, 1600}},  // turned like the run's decode
        {"plain.bmp", 300, {300, 225}, {1600, 1200}},   // decoded whole, then reduced
    };
    for (const auto& c : cases) {
        const auto source = LoadPreviewSource(dir.File(c.name), c.minLongSide);
        ASSERT_TRUE(source) << c.name;
        EXPECT_EQ(source->image.size(), c.reduced) << c.name << " " << c.minLongSide;
        EXPECT_EQ(source->full, c.full) << c.name;
        EXPECT_EQ(source->image.channels(), 3) << c.name;
    }
    EXPECT_FALSE(LoadPreviewSource(dir.File("missing.jpg"), 300));
}

TEST(Preview, GreySourceGetsTheBlueValueAsMarginLikeTheRun) {
    const cv::Mat grey(100, 200, CV_8UC1, cv::Scalar(50));
    BatchRequest request = Request(BatchMethod::Resize, {200, 200}, 0, true, 4);
    request.margin = {10, 20, 200};
    const FileEntry entry{"g.bmp", 200, 100, 0};
    const FilePlan plan = PlanFile(request, entry, ImageHeaderInfo{200, 100, 0});
    const PreviewPicture preview =
        MakePreview(ReducePreviewSource("g.bmp", grey, 0), request, plan, {100, 100});
    ASSERT_EQ(preview.result, ConvertResult::Ok);
    EXPECT_EQ(preview.written.channels(), 1);
    EXPECT_EQ(preview.shown.at<cv::Vec4b>(0, 0), cv::Vec4b(200, 200, 200, 255));
}

TEST(Preview, PlanThatStopsTheRunGivesItsFailureAndNoPicture) {
    const cv::Mat image(10, 10, CV_8UC3, cv::Scalar::all(0));
    const PreviewSource source = ReducePreviewSource("a.bmp", image, 0);
    const BatchRequest request = Request(BatchMethod::Resize, {50, 40}, 0, true, 9);
    const FileEntry entry{"a.bmp", 10, 10, 0};
    FilePlan plan = PlanFile(request, entry, ImageHeaderInfo{10, 10, 0});
    EXPECT_EQ(MakePreview(source, request, plan, {50, 50}).result, ConvertResult::BadAnchor);
    plan = PlanFile(request, entry, std::nullopt);
    const PreviewPicture unreadable = MakePreview(source, request, plan, {50, 50});
    EXPECT_EQ(unreadable.result, ConvertResult::ReadFailed);
    EXPECT_TRUE(unreadable.shown.empty());
}

FilePlan Planned(BatchMethod method, PixelSize source, PixelSize target, uint32_t dpi,
                 bool fitted = true, int anchor = 4) {
    const BatchRequest request = Request(method, target, dpi, fitted, anchor);
    const FileEntry entry{"/in/p.jpg", static_cast<uint32_t>(source.width),
                          static_cast<uint32_t>(source.height), 72};
    return PlanFile(request, entry, ImageHeaderInfo{entry.width, entry.height, 72});
}

TEST(PlanSummary, LineSaysSizesScaleSidesAndPrintSizeInEitherLanguage) {
    FilePlan exists = Planned(BatchMethod::Resize, {4000, 3000}, {2480, 3508}, 300);
    exists.exists = true;
    FilePlan unreadable = Planned(BatchMethod::Resize, {4000, 3000}, {2480, 3508}, 300);
    unreadable.headerRead = false;
    unreadable.problem = PlanProblem::UnreadableHeader;
    const struct {
        FilePlan plan;
        BatchMethod method;
        const char* line;
        const char* english;
    } cases[] = {
        {Planned(BatchMethod::Resize, {4000, 3000}, {2480, 3508}, 300), BatchMethod::Resize,
         "4000×3000 → 2480×1860（62.0%）、余白 上 824 / 下 824、出力 p.jpg 2480×3508、300 DPI、"
         "印刷サイズ 210.0×297.0 mm",
         "4000×3000 → 2480×1860 (62.0%), margins top 824 / bottom 824, output p.jpg 2480×3508, "
         "300 DPI, print size 210.0×297.0 mm"},
        {Planned(BatchMethod::Resize, {1000, 500}, {2000, 2000}, 0, false), BatchMethod::Resize,
         "1000×500 → 2000×2000（横 200.0% / 縦 400.0%）、出力 p.jpg 2000×2000、"
         "DPI なし（印刷サイズは決まりません）",
         "1000×500 → 2000×2000 (across 200.0% / down 400.0%), output p.jpg 2000×2000, "
         "no DPI (no print size)"},
        {Planned(BatchMethod::CropPaste, {1200, 800}, {1000, 1000}, 100), BatchMethod::CropPaste,
         "1200×800 → 等倍、余白 上 100 / 下 100、切り取り 左 100 / 右 100、出力 p.jpg 1000×1000、"
         "100 DPI、印刷サイズ 254.0×254.0 mm",
         "1200×800 → 1:1, margins top 100 / bottom 100, cut left 100 / right 100, output p.jpg "
         "1000×1000, 100 DPI, print size 254.0×254.0 mm"},
        {exists, BatchMethod::Resize,
         "4000×3000 → 2480×1860（62.0%）、余白 上 824 / 下 824、出力 p.jpg 2480×3508、300 DPI、"
         "印刷サイズ 210.0×297.0 mm。p.jpg は既にあり、実行時に上書きを確認します。",
         "4000×3000 → 2480×1860 (62.0%), margins top 824 / bottom 824, output p.jpg 2480×3508, "
         "300 DPI, print size 210.0×297.0 mm. p.jpg already exists; you will be asked before it "
         "is overwritten."},
        {unreadable, BatchMethod::Resize, "画像ファイルを読み込めません。",
         "The image file cannot be read."},
        {Planned(BatchMethod::Resize, {4000, 3000}, {65501, 100}, 300, false), BatchMethod::Resize,
         "4000×3000 → 65501×100（横 1637.5% / 縦 3.3%）、出力 p.jpg 65501×100、300 DPI、"
         "印刷サイズ 5545.8×8.5 mm。この大きさの画像は出力形式では書き込めません。",
         "4000×3000 → 65501×100 (across 1637.5% / down 3.3%), output p.jpg 65501×100, 300 DPI, "
         "print size 5545.8×8.5 mm. An image of this size cannot be written in the output "
         "format."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlanLine(c.plan, c.method), c.line);
        EXPECT_EQ(Words(PlanLine(c.plan, c.method), UiLanguage::English), c.english);
    }
}

TEST(PlanSummary, OutliersAreTheMostExtremeFilesThatWouldConvert) {
    const FilePlan same = Planned(BatchMethod::Resize, {1000, 1000}, {1000, 1000}, 300);
    const FilePlan up = Planned(BatchMethod::Resize, {500, 500}, {1000, 1000}, 300);
    const FilePlan upMore = Planned(BatchMethod::Resize, {250, 500}, {1000, 1000}, 300, false);
    const FilePlan down = Planned(BatchMethod::Resize, {4000, 1000}, {1000, 1000}, 300);
    FilePlan broken = Planned(BatchMethod::Resize, {10, 10}, {1000, 1000}, 300);
    broken.problem = PlanProblem::NoExtension;
    const FilePlan cut = Planned(BatchMethod::CropPaste, {1200, 1000}, {1000, 1000}, 300);
    const FilePlan cutMore = Planned(BatchMethod::CropPaste, {2000, 1000}, {1000, 1000}, 300);

    const struct {
        const char* name;
        std::vector<FilePlan> plans;
        std::optional<size_t> enlargement, reduction, mostCut, mostMargin;
    } cases[] = {
        {"empty list", {}, {}, {}, {}, {}},
        {"nothing changes", {same, same}, {}, {}, {}, {}},
        {"stopped files are left out", {broken, up}, 1, {}, {}, {}},
        {"by area, ties to the first", {up, upMore, down, upMore}, 1, 2, {}, 2},
        {"cuts", {cut, cutMore, cut}, {}, {}, 1, {}},
    };
    for (const auto& c : cases) {
        const PlanOutliers found = FindOutliers(c.plans);
        EXPECT_EQ(found.largestEnlargement, c.enlargement) << c.name;
        EXPECT_EQ(found.largestReduction, c.reduction) << c.name;
        EXPECT_EQ(found.mostCut, c.mostCut) << c.name;
        EXPECT_EQ(found.mostMargin, c.mostMargin) << c.name;
    }
    EXPECT_DOUBLE_EQ(MarginShare(down), 0.75);
    EXPECT_DOUBLE_EQ(CutShare(cutMore), 0.5);
}

}  // namespace
}  // namespace korvale
