// Runs that carry metadata into JPEG outputs and runs of the DPI-only method, end to end.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "BatchRun.h"
#include "ImageHeader.h"
#include "JpegMetadata.h"
#include "OutputWriter.h"
#include "RecordingInteraction.h"
#include "TiffBuilder.h"

namespace korvale {
namespace {

using test::Bytes;

class QuietHost : public BatchHost {
public:
    void UpdateControlStates(bool) override {}
    void SetStatusText(const std::string& text) override { statuses.push_back(text); }
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
    std::vector<std::string> statuses;
};

class MetadataRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        request_.outputFolder = out_.path();
        request_.targetWidth = 40;
        request_.targetHeight = 30;
        request_.targetDpi = 300;
    }
    std::string Add(const test::TempDir& dir, const std::string& name, const Bytes& bytes,
                    uint32_t dpi = 72) {
        const std::string path = dir.File(name);
        test::WriteFile(path, bytes);
        const auto info = ProbeImageHeader(path);
        EXPECT_TRUE(info) << path;
        if (info) {
            list_.MergeBatch({{path, info->width, info->height, dpi}});
        }
        return path;
    }
    BatchEnd Run() { return RunBatch(list_, request_, running_, host_, ui_); }

    test::TempDir in_;
    test::TempDir out_;
    FileList list_;
    BatchRequest request_;
    bool running_ = false;
    test::RecordingInteraction ui_;
    QuietHost host_;
};

// A camera file: Exif only (no JFIF), orientation 6, GPS, thumbnail, and a colour profile.
Bytes CameraJpeg(const Bytes& profile) {
    Bytes segments = test::ExifSegment(test::BuildTiff(test::CameraExif(false, 6, 64, 48)));
    const Bytes chunks = test::ProfileSegments(profile);
    segments.insert(segments.end(), chunks.begin(), chunks.end());
    return test::WithSegments(test::EncodedJpeg(64, 48), segments, true);
}

TEST_F(MetadataRunTest, JpegOutputsCarryTheProfileAndTheChosenExif) {
    const Bytes profile = test::MakeProfile(4000);
    Add(in_, "camera.jpg", CameraJpeg(profile));
    const struct {
        SaveFormat format;
        MetadataPolicy policy;
        const char* output;
        bool profile, exif, gps;
    } cases[] = {
        {SaveFormat::SameAsSource, MetadataPolicy::NoGps, "camera.jpg", true, true, false},
        {SaveFormat::Jpeg, MetadataPolicy::All, "camera.jpg", true, true, true},
        {SaveFormat::Jpeg, MetadataPolicy::None, "camera.jpg", true, false, false},
        {SaveFormat::Bmp, MetadataPolicy::All, "camera.bmp", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output + std::to_string(int(c.policy)));
        request_.saveFormat = c.format;
        request_.metadata = c.policy;
        request_.outputFolder = out_.path();
        ::unlink((out_.File("camera.jpg")).c_str());
        ASSERT_EQ(Run(), BatchEnd::Completed);
        const Bytes output = test::ReadFile(out_.File(c.output));
        const SourceMetadata carried = ReadJpegMetadata(out_.File(c.output));
        EXPECT_EQ(carried.iccProfile == profile, c.profile);
        EXPECT_EQ(!carried.exif.empty(), c.exif);
        Bytes mark;
        test::PutLe32(mark, test::kGpsMark);
        EXPECT_EQ(
            std::search(output.begin(), output.end(), mark.begin(), mark.end()) != output.end(),
            c.gps);
        // The stamp and the Exif agree; the turned pixels are 40 x 30 as asked.
        EXPECT_EQ(ProbeImageHeader(out_.File(c.output)), (ImageHeaderInfo{40, 30, 300}));
    }
}

TEST_F(MetadataRunTest, MemoryEncodingWritesWhatTheFileEncoderWrites) {
    const cv::Mat image = cv::imdecode(test::EncodedJpeg(64, 48), cv::IMREAD_COLOR);
    for (const char* name : {"x.jpg", "x.JPEG", "x.bmp"}) {
        std::vector<uint8_t> memory;
        ASSERT_EQ(EncodeImageToMemory(name, image, JpegQualityParams(80), memory),
                  ConvertResult::Ok);
        ASSERT_EQ(EncodeImage(out_.File(name), image, JpegQualityParams(80)), ConvertResult::Ok);
        EXPECT_EQ(test::ReadFile(out_.File(name)), memory) << name;
    }
    std::vector<uint8_t> memory;
    EXPECT_EQ(EncodeImageToMemory("/a.b/README", image, {}, memory), ConvertResult::WriteFailed);
    EXPECT_EQ(EncodeImageToMemory("x.xyz", image, {}, memory), ConvertResult::WriteFailed);
}

TEST_F(MetadataRunTest, DpiOnlyCopiesUnderTheSameNameWithOnlyTheResolutionChanged) {
    const Bytes camera = CameraJpeg(test::MakeProfile(4000));
    test::BmpSpec bmpSpec;
    bmpSpec.pixelBytes = 64 * 48 * 3;
    const Bytes bmp = test::MakeBmp(bmpSpec);
    Add(in_, "a.jpg", camera);
    Add(in_, "b.bmp", bmp);
    request_.method = BatchMethod::DpiOnly;
    request_.saveFormat = SaveFormat::Jpeg;  // ignored, as are the sizes
    request_.targetDpi = 350;
    ASSERT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(host_.statuses, (std::vector<std::string>{"a.jpg", "b.bmp", ""}));
    EXPECT_EQ(ProbeImageHeader(out_.File("a.jpg")), (ImageHeaderInfo{48, 64, 350}));
    EXPECT_EQ(ProbeImageHeader(out_.File("b.bmp")), (ImageHeaderInfo{64, 48, 350}));
    const Bytes copied = test::ReadFile(out_.File("a.jpg"));
    EXPECT_EQ(copied.size(), camera.size() + 18);
    EXPECT_TRUE(std::equal(camera.end() - 1000, camera.end(), copied.end() - 1000));
    EXPECT_EQ(test::ReadFile(out_.File("b.bmp")).size(), bmp.size());
    // The sources are untouched.
    EXPECT_EQ(test::ReadFile(in_.File("a.jpg")), camera);
}

TEST_F(MetadataRunTest, DpiOnlyCopiesPngAndTiffWithTheirPixelsUntouched) {
    const cv::Mat colour(48, 64, CV_16UC4, cv::Scalar(1000, 20000, 300, 40000));
    const cv::Mat grey(48, 64, CV_8UC1, cv::Scalar(77));
    const struct {
        const char* name;
        const cv::Mat& image;
    } files[] = {{"a.png", colour}, {"b.PNG", grey}, {"c.tif", colour}, {"d.tiff", grey}};
    for (const auto& f : files) {
        Bytes bytes;
        const std::string name = f.name;
        ASSERT_TRUE(cv::imencode(name.substr(name.rfind('.')), f.image, bytes));
        Add(in_, f.name, bytes);
    }
    request_.method = BatchMethod::DpiOnly;
    request_.targetDpi = 350;
    ASSERT_EQ(Run(), BatchEnd::Completed);
    for (const auto& f : files) {
        EXPECT_EQ(ProbeImageHeader(out_.File(f.name)), (ImageHeaderInfo{64, 48, 350})) << f.name;
        const cv::Mat copied = cv::imread(out_.File(f.name), cv::IMREAD_UNCHANGED);
        ASSERT_EQ(copied.type(), f.image.type()) << f.name;
        EXPECT_EQ(cv::norm(copied, f.image, cv::NORM_INF), 0.0) << f.name;
    }
}

TEST_F(MetadataRunTest, DpiOnlyInTheSourceFolderAsksThenReplacesSafely) {
    const Bytes camera = CameraJpeg(test::MakeProfile(300));
    const std::string a = Add(in_, "a.jpg", camera);
    const std::string b = Add(in_, "b.jpg", camera);
    ::chmod(b.c_str(), 0640);
    request_.method = BatchMethod::DpiOnly;
    request_.outputFolder = in_.path();
    ui_.overwriteAnswers = {OverwriteChoice::Overwrite, OverwriteChoice::Skip};
    ASSERT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(ui_.asked, (std::vector<std::string>{a, b}));
    EXPECT_EQ(ProbeImageHeader(a)->dpi, 300u);
    EXPECT_EQ(test::ReadFile(b), camera) << "skipped";

    // A stop after the first file, with "overwrite all": only that one is changed.
    request_.targetDpi = 96;
    request_.outputFolder = in_.path();
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    ui_.onPump = [this](int) { running_ = false; };
    EXPECT_EQ(Run(), BatchEnd::Stopped);
    EXPECT_EQ(ProbeImageHeader(a)->dpi, 96u);
    EXPECT_EQ(test::ReadFile(b), camera);
    struct stat info;
    ASSERT_EQ(::stat(b.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(MetadataRunTest, DpiOnlyFailsOnAFileThatIsNoLongerAnImage) {
    const std::string a = Add(in_, "a.jpg", test::EncodedJpeg(16, 16));
    test::WriteFile(a, Bytes{'n', 'o', 't'});
    request_.method = BatchMethod::DpiOnly;
    EXPECT_EQ(Run(), BatchEnd::Failed);
    EXPECT_EQ(ui_.MessageTexts(),
              std::vector<std::string>{"画像ファイルの読み出しに失敗しました。"});
    EXPECT_FALSE(ProbeImageHeader(out_.File("a.jpg")));
}

}  // namespace
}  // namespace korvale
