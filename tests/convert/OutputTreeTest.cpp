// Kept folder trees, numbered shared names and runs that go on after errors: in the jobs, the
// plan and the run.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "BatchRun.h"
#include "ImageHeader.h"
#include "MessageWords.h"
#include "OutputJob.h"
#include "Plan.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"
#include "Text.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

class FailureHost : public BatchHost {
public:
    void UpdateControlStates(bool) override {}
    void SetStatusText(const std::string&) override {}
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
    void ShowFailedFiles(const std::vector<FailedFile>& files) override {
        for (const FailedFile& file : files) {
            failed.push_back(file.index);
        }
    }
    std::vector<size_t> failed;
};

class OutputTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        request_.outputFolder = out_.path();
        request_.targetWidth = 32;
        request_.targetHeight = 32;
        request_.targetDpi = 300;
    }
    // Writes an image at `name` below the source folder (its folders made) and lists it.
    std::string Add(const std::string& name, const char* extension = ".jpg") {
        const std::string path = in_.File(name);
        fs::create_directories(fs::path(path).parent_path());
        cv::Mat image(24, 32, CV_8UC3, cv::Scalar(40, 80, 120));
        std::vector<uchar> bytes;
        cv::imencode(extension, image, bytes);
        test::WriteFile(path, test::Bytes(bytes.begin(), bytes.end()));
        const auto info = ProbeImageHeader(path);
        EXPECT_TRUE(info) << path;
        if (info) {
            list_.MergeBatch({{path, info->width, info->height, 72}});
        }
        return path;
    }
    // The output paths below the output folder, in list order.
    std::vector<std::string> Outputs() const {
        std::vector<std::string> paths;
        for (const OutputJob& job : OutputJobs(request_, list_)) {
            paths.push_back(job.outputPath.substr(out_.path().size() + 1));
        }
        return paths;
    }
    // Everything below the output folder, folders with a "/" at the end.
    std::vector<std::string> Written() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(out_.path())) {
            names.push_back(fs::relative(e.path(), out_.path()).string() +
                            (e.is_directory() ? "/" : ""));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    BatchEnd Run() { return RunBatch(list_, request_, running_, host_, ui_); }

    test::TempDir in_;
    test::TempDir out_;
    FileList list_;
    BatchRequest request_;
    bool running_ = false;
    test::RecordingInteraction ui_;
    FailureHost host_;
};

TEST_F(OutputTreeTest, KeptTreeStartsAtTheDeepestFolderHoldingEveryFile) {
    Add("photos/2024/a.jpg");
    Add("photos/2024/summer/b.jpg");
    Add("photos/2025/c.jpg");
    request_.keepTree = true;
    EXPECT_EQ(Outputs(),
              (std::vector<std::string>{"2024/a.jpg", "2024/summer/b.jpg", "2025/c.jpg"}));
    // The plan names each output with its subfolder and looks for it there.
    fs::create_directories(out_.File("2025"));
    test::WriteFile(out_.File("2025/c.jpg"), {'o', 'l', 'd'});
    const std::vector<FilePlan> plans = PlanBatch(request_, list_, PlanSizes::AsListed);
    EXPECT_EQ(plans[1].outputName, "2024/summer/b.jpg");
    EXPECT_FALSE(plans[1].exists);
    EXPECT_TRUE(plans[2].exists);
    fs::remove_all(out_.File("2025"));
    // A folder that was added is the base when it holds every file; one that does not is not.
    request_.treeBase = in_.File("photos/..");
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"photos/2024/a.jpg", "photos/2024/summer/b.jpg",
                                                   "photos/2025/c.jpg"}));
    request_.treeBase = in_.File("photos/2024");
    EXPECT_EQ(Outputs()[2], "2025/c.jpg");
    request_.keepTree = false;
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
}

TEST_F(OutputTreeTest, TheOneAddedFolderIsTheBaseEvenWhenAllItsFilesLieDeeper) {
    Add("photos/2024/a.jpg");
    Add("photos/2024/summer/b.jpg");
    request_.keepTree = true;
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"a.jpg", "summer/b.jpg"}));
    list_.NoteFolderAdded(in_.File("photos"));
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"2024/a.jpg", "2024/summer/b.jpg"}));
    // The request's own base comes first, and holds only when every file lies below it.
    request_.treeBase = in_.File("photos/2024/summer");
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"a.jpg", "summer/b.jpg"}));
    request_.treeBase = in_.File(".");
    EXPECT_EQ(Outputs()[0], "photos/2024/a.jpg");
}

TEST_F(OutputTreeTest, KeptTreeIsMadeAsOutputsAreWritten) {
    Add("a.jpg");
    Add("x/b.jpg");
    Add("x/y/c.jpg");
    request_.keepTree = true;
    EXPECT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(Written(), (std::vector<std::string>{"a.jpg", "x/", "x/b.jpg", "x/y/", "x/y/c.jpg"}));
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"完了"});
}

TEST_F(OutputTreeTest, RefusedOrCancelledRunMakesNoSubfolder) {
    request_.keepTree = true;
    request_.saveFormat = SaveFormat::Png;
    Add("a.jpg");
    Add("x/b.jpg");
    Add("x/b.png", ".png");  // both made x/b.png: refused
    EXPECT_EQ(Run(), BatchEnd::NotStarted);
    EXPECT_EQ(Written(), std::vector<std::string>{});
    list_.RemoveAt(2);
    test::WriteFile(out_.File("a.png"), {'o', 'l', 'd'});
    ui_.overwriteAnswers = {OverwriteChoice::Cancel};
    EXPECT_EQ(Run(), BatchEnd::Cancelled);
    EXPECT_EQ(Written(), std::vector<std::string>{"a.png"});
}

TEST_F(OutputTreeTest, NumberedNamesSkipNamesOtherFilesUseAndRepeatOnARerun) {
    Add("a/p.jpg");
    Add("b/p.jpg");
    Add("c/p.jpg");
    Add("d/p (2).jpg");
    Add("e/q.jpg");
    EXPECT_EQ(Run(), BatchEnd::NotStarted);  // refused by default
    request_.onClash = ClashRule::Number;
    const std::vector<std::string> expected = {"p.jpg", "p (3).jpg", "p (4).jpg", "p (2).jpg",
                                               "q.jpg"};
    EXPECT_EQ(Outputs(), expected);
    std::vector<std::string> planned;
    for (const FilePlan& plan : PlanBatch(request_, list_, PlanSizes::AsListed)) {
        planned.push_back(FileNameOf(plan.outputPath).data());
        EXPECT_EQ(plan.problem, PlanProblem::None) << plan.outputPath;
    }
    EXPECT_EQ(planned, expected);
    EXPECT_EQ(Run(), BatchEnd::Completed);
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    EXPECT_EQ(Run(), BatchEnd::Completed);
    std::vector<std::string> sorted = expected;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(Written(), sorted);
}

TEST_F(OutputTreeTest, AnOutputThatWouldReplaceALaterSourceIsNumbered) {
    const std::string bmp = Add("scan.bmp", ".bmp");
    const std::string jpeg = Add("scan.jpg");
    request_.outputFolder = in_.path();
    request_.saveFormat = SaveFormat::Jpeg;
    request_.onClash = ClashRule::Number;
    const std::vector<OutputJob> jobs = OutputJobs(request_, list_);
    EXPECT_EQ(jobs[0].outputName, "scan (2).jpg");
    EXPECT_EQ(jobs[1].outputName, "scan.jpg");  // in place, as before
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    EXPECT_EQ(Run(), BatchEnd::Completed);
    EXPECT_TRUE(fs::exists(in_.File("scan (2).jpg")));
}

TEST_F(OutputTreeTest, KeepGoingSkipsFilesThatFailAndListsThem) {
    Add("a.jpg");
    const std::string truncated = Add("b.jpg");
    Add("c.jpg");
    Add("e.jpg");
    Add("sub/d.jpg");
    test::WriteFile(truncated, {0xFF, 0xD8, 0xFF});           // cut short after listing
    ASSERT_EQ(::mkdir(out_.File("c.jpg").c_str(), 0700), 0);  // an output that cannot be written
    test::WriteFile(out_.File("sub"), {});                    // a file where a folder should be
    request_.keepTree = true;
    request_.keepGoing = true;
    EXPECT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(host_.failed, (std::vector<size_t>{1, 2, 4}));
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{Japanese(kFailedFilesMessage)});
    ASSERT_EQ(ui_.details.size(), 1u);
    const std::string& detail = ui_.details[0];
    EXPECT_EQ(std::count(detail.begin(), detail.end(), '\n'), 2) << detail;
    EXPECT_EQ(detail.find(in_.File("b.jpg") + ": 画像ファイルの読み出しに失敗しました。"), 0u)
        << detail;
    EXPECT_NE(detail.find(in_.File("sub/d.jpg") + ": 画像ファイルの書き込みに失敗しました。"),
              std::string::npos)
        << detail;
    // Nothing half-written: the good files and what was there before, no temporary file.
    EXPECT_EQ(Written(), (std::vector<std::string>{"a.jpg", "c.jpg/", "e.jpg", "sub"}));
    // Without the option the run ends at the first failure, as before.
    request_.keepGoing = false;
    host_.failed.clear();
    ui_.messages.clear();
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    EXPECT_EQ(Run(), BatchEnd::Failed);
    EXPECT_EQ(ui_.MessageTexts(),
              std::vector<std::string>{"画像ファイルの読み出しに失敗しました。"});
    EXPECT_TRUE(host_.failed.empty());
}

TEST(FailedFilesDetail, TwentyLinesThenACount) {
    std::vector<FailedFile> failed;
    for (size_t i = 0; i < 25; ++i) {
        failed.push_back({i, "/in/" + std::to_string(i) + ".jpg", "理由"});
    }
    const std::string detail = Japanese(FailedFilesDetail(failed));
    EXPECT_EQ(std::count(detail.begin(), detail.end(), '\n'), 20);
    EXPECT_EQ(detail.substr(0, detail.find('\n')), "/in/0.jpg: 理由");
    EXPECT_EQ(detail.substr(detail.rfind('\n') + 1), "ほかに 5 件あります。");
    failed.resize(20);
    EXPECT_EQ(Japanese(FailedFilesDetail(failed)).find("ほかに"), std::string::npos);
}

TEST(NumberedName, BeforeTheExtension) {
    const struct {
        const char* name;
        int n;
        const char* numbered;
    } cases[] = {{"photo.jpg", 2, "photo (2).jpg"},
                 {"a.b.png", 3, "a.b (3).png"},
                 {"noext", 2, "noext (2)"},
                 {".hidden", 2, ".hidden (2)"}};
    for (const auto& c : cases) {
        EXPECT_EQ(NumberedName(c.name, c.n), c.numbered) << c.name;
    }
}

}  // namespace
}  // namespace korvale
