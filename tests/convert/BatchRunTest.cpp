// The batch run with scripted answers: start checks, naming, overwrite flows, stop, failures,
// and the DPI of every output read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "AtomicFile.h"
#include "BatchClashes.h"
#include "BatchRun.h"
#include "ImageHeader.h"
#include "RecordingInteraction.h"
#include "RefusedLook.h"
#include "TestFiles.h"

namespace korvale {
namespace {

class RecordingHost : public BatchHost {
public:
    explicit RecordingHost(test::RecordingInteraction& ui) : ui_(ui) {}
    void UpdateControlStates(bool interactive) override {
        ui_.events.push_back(interactive ? "update(true)" : "update(false)");
    }
    void SetStatusText(const std::string& text) override {
        status = text;
        ui_.events.push_back("status:" + text);
    }
    void SetProgressRange(int maximum) override { range = maximum; }
    void SetProgressPosition(int position) override { progress.push_back(position); }

    std::string status;
    int range = -1;
    std::vector<int> progress;

private:
    test::RecordingInteraction& ui_;
};

class BatchRunTest : public ::testing::Test {
protected:
    // Writes a JPEG source of the given size, stated at `dpi`, and lists it.
    std::string AddJpeg(const std::string& name, int width = 40, int height = 30,
                        uint32_t dpi = 72) {
        const std::string path = in_.File(name);
        cv::Mat image(height, width, CV_8UC3, cv::Scalar(40, 80, 120));
        std::vector<uchar> bytes;
        cv::imencode(".jpg", image, bytes);
        test::WriteFile(path, test::Bytes(bytes.begin(), bytes.end()));
        AddExisting(path, dpi);
        return path;
    }
    void AddExisting(const std::string& path, uint32_t dpi) {
        const auto info = ProbeImageHeader(path);
        ASSERT_TRUE(info) << path;
        list_.MergeBatch({{path, info->width, info->height, dpi}});
    }
    BatchEnd Run() { return RunBatch(list_, request_, running_, host_, ui_); }
    std::string Out(const std::string& name) const { return out_.path() + "/" + name; }
    std::vector<std::string> OutputFolderEntries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(out_.path())) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void SetUp() override {
        request_.outputFolder = out_.path();
        request_.targetWidth = 64;
        request_.targetHeight = 48;
        request_.targetDpi = 300;
    }

    test::TempDir in_;
    test::TempDir out_;
    FileList list_;
    BatchRequest request_;
    bool running_ = false;
    test::RecordingInteraction ui_;
    RecordingHost host_{ui_};
};

TEST_F(BatchRunTest, StartChecksInOrderChangeNothingButTheSeparator) {
    EXPECT_EQ(Run(), BatchEnd::NotStarted);
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"画像ファイルを選択してください。"});
    EXPECT_EQ(request_.outputFolder, out_.path());

    AddJpeg("a.jpg");
    const struct {
        const char* name;
        std::string folder;
        int interpolation;
        int anchor;
        const char* message;
        std::string folderAfter;
    } cases[] = {
        {"empty folder", "", 4, 4, "保存フォルダを指定してください。", ""},
        {"no interpolation", "/tmp/x", -1, 4, "補間法を指定してください。", "/tmp/x/"},
        {"interpolation 5", "/tmp/x/", 5, 4, "補間法を指定してください。", "/tmp/x/"},
        {"no anchor", "/a", 4, -1, "配置の基準を選択してください。", "/a/"},
    };
    for (const auto& c : cases) {
        ui_.messages.clear();
        ui_.events.clear();
        request_.outputFolder = c.folder;
        request_.interpolation = c.interpolation;
        request_.anchor = c.anchor;
        EXPECT_EQ(Run(), BatchEnd::NotStarted) << c.name;
        EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{c.message}) << c.name;
        EXPECT_EQ(request_.outputFolder, c.folderAfter) << c.name;
        EXPECT_EQ(ui_.events.size(), 1u) << c.name;  // the message only
        EXPECT_FALSE(running_);
    }
}

TEST_F(BatchRunTest, OutputFolderIsCheckedAfterTheStartChecksBeforeAnyImage) {
    AddJpeg("a.jpg");
    test::WriteFile(out_.File("file"), {'x'});
    const std::string missing = out_.File("new/deeper");
    const struct {
        const char* name;
        std::string folder;
        bool answer;
        BatchEnd end;
        std::vector<std::string> firstEvents;
    } cases[] = {
        {"missing, declined", missing, false, BatchEnd::NotStarted, {"create?:" + missing}},
        {"missing, accepted",
         missing + "/",
         true,
         BatchEnd::Completed,
         {"create?:" + missing, "update(false)"}},
        {"a file, not a folder",
         out_.File("file"),
         true,
         BatchEnd::NotStarted,
         {"message:保存フォルダに指定された名前はフォルダではありません。\n" + out_.File("file")}},
        {"below a file",
         out_.File("file/sub"),
         true,
         BatchEnd::NotStarted,
         {"message:保存フォルダを開けません。\n" + out_.File("file/sub") +
          "\n(パスの途中にフォルダでないものがあります)"}},
    };
    for (const auto& c : cases) {
        ui_ = test::RecordingInteraction();
        ui_.createFolderAnswer = c.answer;
        request_.outputFolder = c.folder;
        EXPECT_EQ(Run(), c.end) << c.name;
        ASSERT_GE(ui_.events.size(), c.firstEvents.size()) << c.name;
        EXPECT_EQ(
            std::vector<std::string>(ui_.events.begin(), ui_.events.begin() + c.firstEvents.size()),
            c.firstEvents)
            << c.name;
        if (c.end == BatchEnd::NotStarted) {
            EXPECT_EQ(ui_.events.size(), c.firstEvents.size()) << c.name;  // nothing else
            EXPECT_FALSE(std::filesystem::exists(c.folder) && c.name[0] == 'm') << c.name;
        }
    }
    EXPECT_TRUE(std::filesystem::exists(missing + "/a.jpg"));
    // A described check still comes first and is the only message.
    ui_ = test::RecordingInteraction();
    request_.outputFolder = out_.File("elsewhere");
    request_.anchor = -1;
    EXPECT_EQ(Run(), BatchEnd::NotStarted);
    EXPECT_EQ(ui_.events, std::vector<std::string>{"message:配置の基準を選択してください。"});
}

TEST_F(BatchRunTest, FolderThatCannotBeWrittenIsReportedWithTheReason) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the superuser may write into any folder";
    }
    AddJpeg("a.jpg");
    const std::string locked = out_.File("locked");
    ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
    request_.outputFolder = locked;
    EXPECT_EQ(Run(), BatchEnd::NotStarted);
    EXPECT_EQ(ui_.MessageTexts(),
              std::vector<std::string>{"保存フォルダに書き込めません。\n" + locked +
                                       "\n(アクセスが拒否されました)"});
    EXPECT_EQ(ui_.events.size(), 1u);
}

TEST_F(BatchRunTest, CompletedRunWritesStampsAndReportsDone) {
    AddJpeg("b.jpg", 40, 30, 72);
    AddJpeg("a.jpeg", 50, 20, 96);
    request_.saveFormat = SaveFormat::Bmp;
    EXPECT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(ui_.events,
              (std::vector<std::string>{"update(false)", "status:a.bmp", "pump", "status:b.bmp",
                                        "pump", "update(true)", "status:", "message:完了"}));
    EXPECT_EQ(ui_.messages.back().icon, MessageIcon::Information);
    EXPECT_EQ(host_.range, 2);
    EXPECT_EQ(host_.progress, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ProbeImageHeader(Out("a.bmp")), (ImageHeaderInfo{64, 48, 300}));
    EXPECT_EQ(ProbeImageHeader(Out("b.bmp")), (ImageHeaderInfo{64, 48, 300}));
    EXPECT_EQ(OutputFolderEntries(), (std::vector<std::string>{"a.bmp", "b.bmp"}));
    EXPECT_FALSE(running_);
}

TEST_F(BatchRunTest, SwitchesOffTakeTheSourcesOwnValues) {
    AddJpeg("a.jpg", 40, 30, 72);
    AddJpeg("b.jpg", 50, 20, 0);
    request_.applyHeight = false;
    request_.applyDpi = false;
    request_.saveFormat = SaveFormat::Jpeg;
    ASSERT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(ProbeImageHeader(Out("a.jpg")), (ImageHeaderInfo{64, 30, 72}));
    EXPECT_EQ(ProbeImageHeader(Out("b.jpg")), (ImageHeaderInfo{64, 20, 0}));
}

TEST_F(BatchRunTest, OutputNames) {
    const struct {
        const char* source;
        SaveFormat format;
        std::optional<std::string> name;
    } cases[] = {
        {"/in/photo.jpeg", SaveFormat::Bmp, "photo.bmp"},
        {"/in/archive.2021.bmp", SaveFormat::Jpeg, "archive.2021.jpg"},
        {"/in/README", SaveFormat::Jpeg, std::nullopt},
        {"/in/README", SaveFormat::SameAsSource, "README"},
        {"/in.d/x.JPG", SaveFormat::SameAsSource, "x.JPG"},
        {"relative.jpg", SaveFormat::Bmp, "relative.bmp"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OutputFileName(c.source, c.format), c.name) << c.source;
    }
}

TEST_F(BatchRunTest, NameWithoutDotEndsTheRunKeepingEarlierOutputs) {
    AddJpeg("a.jpg");
    AddJpeg("b");
    request_.saveFormat = SaveFormat::Jpeg;
    EXPECT_EQ(Run(), BatchEnd::Failed);
    EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"拡張子の変更に失敗しました."});
    EXPECT_EQ(OutputFolderEntries(), std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(host_.status, "");
}

struct OverwriteCase {
    const char* name;
    std::vector<OverwriteChoice> answers;
    BatchEnd end;
    std::vector<int> progress;
    size_t questions;
    std::vector<bool> replaced;  // per output a, b, c
};

TEST_F(BatchRunTest, OverwriteAnswers) {
    const OverwriteCase cases[] = {
        {"skip the second",
         {OverwriteChoice::Overwrite, OverwriteChoice::Skip, OverwriteChoice::Overwrite},
         BatchEnd::Completed,
         {0, 1, 2, 3},
         3,
         {true, false, true}},
        {"cancel the second",
         {OverwriteChoice::Overwrite, OverwriteChoice::Cancel},
         BatchEnd::Cancelled,
         {0, 1},
         2,
         {true, false, false}},
        {"overwrite all",
         {OverwriteChoice::OverwriteAll},
         BatchEnd::Completed,
         {0, 1, 2, 3},
         1,
         {true, true, true}},
        {"skip all from the second",
         {OverwriteChoice::Overwrite, OverwriteChoice::SkipAll},
         BatchEnd::Completed,
         {0, 1, 2, 3},
         2,
         {true, false, false}},
        {"cancel at once",
         {OverwriteChoice::Cancel},
         BatchEnd::Cancelled,
         {0},
         1,
         {false, false, false}},
    };
    AddJpeg("a.jpg");
    AddJpeg("b.jpg");
    AddJpeg("c.jpg");
    request_.saveFormat = SaveFormat::Bmp;
    for (const auto& c : cases) {
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
            test::WriteFile(Out(name), {'o', 'l', 'd'});
        }
        ui_ = test::RecordingInteraction();
        host_.progress.clear();
        ui_.overwriteAnswers.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(Run(), c.end) << c.name;
        EXPECT_EQ(host_.progress, c.progress) << c.name;
        EXPECT_EQ(ui_.asked.size(), c.questions) << c.name;
        EXPECT_EQ(ui_.asked.front(), Out("a.bmp")) << c.name;
        const bool done = c.end == BatchEnd::Completed;
        EXPECT_EQ(ui_.MessageTexts(),
                  done ? std::vector<std::string>{"完了"} : std::vector<std::string>{})
            << c.name;
        EXPECT_EQ(host_.status, "") << c.name;
        const char* names[] = {"a.bmp", "b.bmp", "c.bmp"};
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(test::ReadFile(Out(names[i])).size() > 3, c.replaced[i])
                << c.name << " " << names[i];
        }
        EXPECT_EQ(OutputFolderEntries().size(), 3u) << c.name;
    }
}

TEST_F(BatchRunTest, OutputsThatClashRefuseTheWholeBatchBeforeItsFirstImage) {
    AddJpeg("x.jpg", 40, 30);
    ASSERT_EQ(::mkdir(in_.File("sub").c_str(), 0700), 0);
    AddJpeg("sub/x.jpg", 50, 20);
    AddJpeg("y.jpg", 40, 30);
    request_.applyWidth = request_.applyHeight = false;
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    EXPECT_EQ(Run(), BatchEnd::NotStarted);
    EXPECT_TRUE(ui_.asked.empty());
    EXPECT_EQ(
        ui_.MessageTexts(),
        std::vector<std::string>{"出力ファイルが重なる画像があるため、変換を開始できません。"});
    ASSERT_EQ(ui_.details.size(), 1u);
    // ".../sub/x.jpg" sorts first.
    EXPECT_EQ(ui_.details[0].rfind(in_.File("sub/x.jpg") + " と " + in_.File("x.jpg") +
                                       " は、どちらも " + Out("x.jpg") + " に書き込まれます。\n",
                                   0),
              0u)
        << ui_.details[0];
    EXPECT_TRUE(OutputFolderEntries().empty());
}

TEST_F(BatchRunTest, ClashesAreNamedUpToTenThenCounted) {
    for (int i = 0; i < 12; ++i) {
        const std::string folder = "f" + std::to_string(i);
        ASSERT_EQ(::mkdir(in_.File(folder).c_str(), 0700), 0);
        AddJpeg(folder + "/x.jpg");
    }
    EXPECT_EQ(Run(), BatchEnd::NotStarted);
    ASSERT_EQ(ui_.details.size(), 1u);
    const std::string& detail = ui_.details[0];
    size_t lines = 0;
    for (size_t at = detail.find(" に書き込まれます。"); at != std::string::npos;
         at = detail.find(" に書き込まれます。", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 10u) << detail;
    EXPECT_NE(detail.find("ほかに 1 件あります。"), std::string::npos) << detail;
    EXPECT_TRUE(OutputFolderEntries().empty());
}

TEST_F(BatchRunTest, OverwritingTheSourcesInPlaceIsSafe) {
    const std::string a = AddJpeg("a.jpg", 40, 30);
    const std::string b = AddJpeg("b.jpg", 40, 30);
    request_.outputFolder = in_.path();
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    EXPECT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(ProbeImageHeader(a), (ImageHeaderInfo{64, 48, 300}));
    EXPECT_EQ(ProbeImageHeader(b), (ImageHeaderInfo{64, 48, 300}));
    EXPECT_EQ(cv::imread(a).size(), cv::Size(64, 48));
}

TEST_F(BatchRunTest, AnOutputThatWouldReplaceASourceStillToBeReadRefusesTheBatch) {
    // x.bmp comes first and its output would replace x.jpg, the next source, before it is read.
    const std::string bmp = in_.File("x.bmp"), jpeg = in_.File("x.jpg");
    ASSERT_TRUE(cv::imwrite(bmp, cv::Mat(20, 30, CV_8UC3, cv::Scalar(0, 0, 255))));
    ASSERT_TRUE(cv::imwrite(jpeg, cv::Mat(20, 50, CV_8UC3, cv::Scalar(255, 0, 0))));
    AddExisting(bmp, 72);
    AddExisting(jpeg, 72);
    const test::Bytes before = test::ReadFile(jpeg);
    request_.outputFolder = in_.path();
    request_.saveFormat = SaveFormat::Jpeg;
    request_.applyWidth = request_.applyHeight = false;
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    ASSERT_EQ(Run(), BatchEnd::NotStarted);
    EXPECT_TRUE(ui_.asked.empty());
    EXPECT_EQ(
        ui_.MessageTexts(),
        std::vector<std::string>{"出力ファイルが重なる画像があるため、変換を開始できません。"});
    ASSERT_EQ(ui_.details.size(), 1u);
    EXPECT_EQ(ui_.details[0].rfind(bmp + " の出力 " + in_.File("x.jpg") + " は、後で読み込む " +
                                       jpeg + " を置き換えます。\n",
                                   0),
              0u)
        << ui_.details[0];
    EXPECT_EQ(test::ReadFile(jpeg), before);
}

TEST_F(BatchRunTest, StopTakesEffectAfterTheImageInHand) {
    AddJpeg("a.jpg");
    AddJpeg("b.jpg");
    AddJpeg("c.jpg");
    ui_.onPump = [this](int) { running_ = false; };
    EXPECT_EQ(Run(), BatchEnd::Stopped);
    EXPECT_EQ(host_.progress, (std::vector<int>{0, 1}));
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(OutputFolderEntries(), std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(ProbeImageHeader(Out("a.jpg"))->dpi, 300u);
}

TEST_F(BatchRunTest, FailingImageEndsTheRunAndLeavesNoPartialFile) {
    AddJpeg("a.jpg");
    const std::string b = AddJpeg("b.jpg");
    AddJpeg("c.jpg");
    test::WriteFile(b, {0xFF, 0xD8, 0xFF});  // damaged after it was listed
    EXPECT_EQ(Run(), BatchEnd::Failed);
    EXPECT_EQ(ui_.MessageTexts(),
              std::vector<std::string>{"画像ファイルの読み出しに失敗しました。"});
    EXPECT_EQ(OutputFolderEntries(), std::vector<std::string>{"a.jpg"});
    EXPECT_EQ(host_.progress, (std::vector<int>{0, 1}));
}

TEST_F(BatchRunTest, WriteFailuresEndTheRun) {
    AddJpeg("a.jpg");
    const struct {
        const char* name;
        std::function<void()> arrange;
    } cases[] = {
        {"output name is a folder", [this] { ASSERT_EQ(::mkdir(Out("a.jpg").c_str(), 0700), 0); }},
        {"read-only output",
         [this] {
             ASSERT_EQ(::rmdir(Out("a.jpg").c_str()), 0);
             test::WriteFile(Out("a.jpg"), {'o', 'l', 'd'});
             ASSERT_EQ(::chmod(Out("a.jpg").c_str(), 0444), 0);
             ui_.overwriteAnswers = {OverwriteChoice::Overwrite};
         }},
    };
    for (const auto& c : cases) {
        ui_.messages.clear();
        c.arrange();
        EXPECT_EQ(Run(), BatchEnd::Failed) << c.name;
        EXPECT_EQ(ui_.MessageTexts(),
                  std::vector<std::string>{"画像ファイルの書き込みに失敗しました。"})
            << c.name;
    }
    EXPECT_EQ(test::ReadFile(Out("a.jpg")), (test::Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(OutputFolderEntries(), std::vector<std::string>{"a.jpg"});
}

TEST_F(BatchRunTest, AnOutputThatCannotBeLookedAtIsAskedAboutAndNeverReplaced) {
    AddJpeg("a.jpg");
    AddJpeg("b.jpg");
    request_.saveFormat = SaveFormat::Bmp;
    const struct {
        const char* name;
        std::vector<OverwriteChoice> answers;
        BatchEnd end;
        std::vector<std::string> messages;
    } cases[] = {
        {"skipped", {OverwriteChoice::Skip}, BatchEnd::Completed, {"完了"}},
        {"cancelled", {OverwriteChoice::Cancel}, BatchEnd::Cancelled, {}},
        {"replace all",
         {OverwriteChoice::OverwriteAll},
         BatchEnd::Failed,
         {"画像ファイルの書き込みに失敗しました。"}},
    };
    for (const auto& c : cases) {
        test::WriteFile(Out("a.bmp"), {'o', 'l', 'd'});
        std::filesystem::remove(Out("b.bmp"));
        ui_ = test::RecordingInteraction();
        ui_.overwriteAnswers.assign(c.answers.begin(), c.answers.end());
        const test::RefusedLook refused("a.bmp");
        EXPECT_EQ(Run(), c.end) << c.name;
        EXPECT_EQ(ui_.asked, std::vector<std::string>{Out("a.bmp")}) << c.name;
        EXPECT_EQ(ui_.MessageTexts(), c.messages) << c.name;
        EXPECT_EQ(test::ReadFile(Out("a.bmp")), (test::Bytes{'o', 'l', 'd'})) << c.name;
        EXPECT_EQ(std::filesystem::exists(Out("b.bmp")), c.end == BatchEnd::Completed) << c.name;
    }
}

// Puts a file at a new output's name just before the output takes it, as a second run would.
class NameTakenMeanwhile : public FileCalls {
public:
    explicit NameTakenMeanwhile(std::string name) : name_(std::move(name)) { SetFileCalls(this); }
    ~NameTakenMeanwhile() override { SetFileCalls(nullptr); }
    int Rename(int folder, const std::string& from, const std::string& to, bool replace) override {
        if (to == name_ && !planted) {
            planted = true;
            const int fd = ::openat(folder, to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            EXPECT_GE(fd, 0);
            EXPECT_EQ(::write(fd, "other", 5), 5);
            ::close(fd);
        }
        return FileCalls::Rename(folder, from, to, replace);
    }
    bool planted = false;

private:
    std::string name_;
};

TEST_F(BatchRunTest, TheEndSaysWhatWasConvertedAndSkippedAndCanOpenTheFolder) {
    AddJpeg("a.jpg");
    AddJpeg("b.jpg");
    AddJpeg("c.jpg");
    request_.saveFormat = SaveFormat::Bmp;
    const struct {
        const char* name;
        std::vector<OverwriteChoice> answers;
        bool open;
        BatchEnd end;
        int converted, skipped;
        const char* notice;
    } cases[] = {
        {"skip one",
         {OverwriteChoice::Skip},
         true,
         BatchEnd::Completed,
         2,
         1,
         "変換が完了しました（変換 2 件、スキップ 1 件）。"},
        {"skip all",
         {OverwriteChoice::SkipAll},
         false,
         BatchEnd::Completed,
         0,
         3,
         "変換が完了しました（変換 0 件、スキップ 3 件）。"},
        {"cancel",
         {OverwriteChoice::Cancel},
         true,
         BatchEnd::Cancelled,
         0,
         0,
         "変換をキャンセルしました（変換 0 件、スキップ 0 件）。"},
    };
    for (const auto& c : cases) {
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
            std::filesystem::remove(Out(name));
        }
        test::WriteFile(Out("a.bmp"), {'o', 'l', 'd'});
        if (c.answers.front() != OverwriteChoice::Skip) {
            test::WriteFile(Out("b.bmp"), {'o', 'l', 'd'});
            test::WriteFile(Out("c.bmp"), {'o', 'l', 'd'});
        }
        ui_ = test::RecordingInteraction();
        ui_.overwriteAnswers.assign(c.answers.begin(), c.answers.end());
        ui_.openFolderAnswer = c.open;
        EXPECT_EQ(Run(), c.end) << c.name;
        EXPECT_EQ(ui_.asked.size(), 1u) << c.name;
        EXPECT_EQ(ui_.runEndNotices, std::vector<std::string>{c.notice}) << c.name;
        const bool done = c.end == BatchEnd::Completed;
        ASSERT_EQ(ui_.completions.size(), done ? 1u : 0u) << c.name;
        if (done) {
            EXPECT_EQ(ui_.completions[0].converted, c.converted) << c.name;
            EXPECT_EQ(ui_.completions[0].skipped, c.skipped) << c.name;
            EXPECT_EQ(ui_.MessageTexts(), std::vector<std::string>{"完了"}) << c.name;
        }
        EXPECT_EQ(ui_.openedFolders, done && c.open
                                         ? std::vector<std::string>{request_.outputFolder}
                                         : std::vector<std::string>{})
            << c.name;
    }
}

TEST_F(BatchRunTest, AFileThatTookTheNameMeanwhileIsAskedAbout) {
    AddJpeg("a.jpg");
    AddJpeg("b.jpg");
    const test::Bytes other = {'o', 't', 'h', 'e', 'r'};
    for (const BatchMethod method : {BatchMethod::Resize, BatchMethod::DpiOnly}) {
        request_.method = method;
        const struct {
            const char* name;
            std::vector<OverwriteChoice> answers;
            BatchEnd end;
            bool replaced;
        } cases[] = {
            {"cancelled", {}, BatchEnd::Cancelled, false},
            {"skipped", {OverwriteChoice::Skip}, BatchEnd::Completed, false},
            {"replaced", {OverwriteChoice::Overwrite}, BatchEnd::Completed, true},
        };
        for (const auto& c : cases) {
            std::filesystem::remove(Out("a.jpg"));
            std::filesystem::remove(Out("b.jpg"));
            ui_ = test::RecordingInteraction();
            ui_.overwriteAnswers.assign(c.answers.begin(), c.answers.end());
            const NameTakenMeanwhile meanwhile("a.jpg");
            EXPECT_EQ(Run(), c.end) << c.name;
            EXPECT_TRUE(meanwhile.planted) << c.name;
            EXPECT_EQ(ui_.asked, std::vector<std::string>{Out("a.jpg")}) << c.name;
            EXPECT_EQ(test::ReadFile(Out("a.jpg")) != other, c.replaced) << c.name;
            EXPECT_EQ(std::filesystem::exists(Out("b.jpg")), c.end == BatchEnd::Completed)
                << c.name;
            EXPECT_EQ(OutputFolderEntries().size(), c.end == BatchEnd::Completed ? 2u : 1u)
                << c.name;
        }
    }
}

TEST_F(BatchRunTest, APlantedLinkInASharedOutputFolderIsNotWrittenThrough) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "links owned by another user need the superuser; run the suite as root";
    }
    AddJpeg("a.jpg");
    const std::string secret = in_.File("secret");
    ASSERT_EQ(::chmod(out_.path().c_str(), 01777), 0);
    std::filesystem::create_symlink(secret, Out("a.jpg"));
    ASSERT_EQ(::lchown(Out("a.jpg").c_str(), 65534, 65534), 0);
    const struct {
        OverwriteChoice answer;
        BatchEnd end;
        std::vector<std::string> messages;
    } cases[] = {
        {OverwriteChoice::Skip, BatchEnd::Completed, {"完了"}},
        {OverwriteChoice::Cancel, BatchEnd::Cancelled, {}},
        {OverwriteChoice::OverwriteAll,
         BatchEnd::Failed,
         {"画像ファイルの書き込みに失敗しました。"}},
    };
    for (const auto& c : cases) {
        test::WriteFile(secret, {'k', 'e', 'y'});
        ui_ = test::RecordingInteraction();
        ui_.overwriteAnswers = {c.answer};
        EXPECT_EQ(Run(), c.end);
        EXPECT_EQ(ui_.asked,
                  std::vector<std::string>{Out("a.jpg") + "\n（リンク先: " + secret + "）"});
        EXPECT_EQ(ui_.MessageTexts(), c.messages);
        if (c.end == BatchEnd::Failed) {
            ASSERT_EQ(ui_.details.size(), 1u);
            EXPECT_EQ(ui_.details[0].rfind(Out("a.jpg") + "\n", 0), 0u) << ui_.details[0];
        }
        EXPECT_EQ(test::ReadFile(secret), (test::Bytes{'k', 'e', 'y'}));
        EXPECT_TRUE(std::filesystem::is_symlink(Out("a.jpg")));
        EXPECT_EQ(OutputFolderEntries(), std::vector<std::string>{"a.jpg"});
    }
}

TEST_F(BatchRunTest, ZeroHeightHeaderFailsCleanly) {
    const std::string path = in_.File("flat.jpg");
    test::WriteFile(
        path, test::JpegBuilder().Soi().App0(1, 72, 72).Frame(0xC0, 0, 40).ScanAndEnd().bytes());
    AddExisting(path, 72);
    request_.applyHeight = false;
    EXPECT_EQ(Run(), BatchEnd::Failed);
    ASSERT_EQ(ui_.messages.size(), 1u);
    EXPECT_TRUE(ui_.messages[0].text == "画像ファイルの読み出しに失敗しました。" ||
                ui_.messages[0].text == "画像ファイルの書き込みに失敗しました。");
    EXPECT_TRUE(OutputFolderEntries().empty());
}

TEST_F(BatchRunTest, DamagedSourcesAreConvertedAndSaidOnceAfterTheRun) {
    const auto cutShort = [this](const std::string& name) {
        const std::string path = AddJpeg(name, 300, 200);
        test::Bytes bytes = test::ReadFile(path);
        bytes.resize(bytes.size() / 2);
        test::WriteFile(path, bytes);
        return path;
    };
    AddJpeg("a.jpg");
    const std::string b = cutShort("b.jpg");
    const std::string c = cutShort("c.jpg");
    AddJpeg("d.jpg");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(std::vector<std::string>(ui_.events.end() - 4, ui_.events.end()),
              (std::vector<std::string>{"update(true)", "status:", "message:完了", "damaged:2"}));
    EXPECT_EQ(ui_.damagedReports, (std::vector<std::vector<std::string>>{{b, c}}));
    EXPECT_EQ(OutputFolderEntries().size(), 4u);
    EXPECT_EQ(ProbeImageHeader(Out("b.jpg")), (ImageHeaderInfo{64, 48, 300}));

    // A run that fails after a damaged image says the failure first.
    ui_ = test::RecordingInteraction();
    ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
    list_ = FileList();
    AddExisting(b, 72);
    const std::string e = AddJpeg("e.jpg");
    test::WriteFile(e, {0xFF, 0xD8, 0xFF});  // damaged beyond reading after it was listed
    EXPECT_EQ(Run(), BatchEnd::Failed);
    EXPECT_EQ(std::vector<std::string>(ui_.events.end() - 4, ui_.events.end()),
              (std::vector<std::string>{"message:画像ファイルの読み出しに失敗しました。",
                                        "update(true)", "status:", "damaged:1"}));
}

TEST_F(BatchRunTest, CropPasteMethodUsesTheCanvas) {
    AddJpeg("a.jpg", 40, 30);
    request_.method = BatchMethod::CropPaste;
    request_.interpolation = 0;
    request_.anchor = 8;
    request_.saveFormat = SaveFormat::Bmp;
    ASSERT_EQ(Run(), BatchEnd::Completed);
    const cv::Mat out = cv::imread(Out("a.bmp"));
    ASSERT_EQ(out.size(), cv::Size(64, 48));
    EXPECT_EQ(out.at<cv::Vec3b>(0, 0), cv::Vec3b(255, 255, 255));
}

TEST(InterpolationFlag, ListOrderToOpenCvFlags) {
    EXPECT_EQ(InterpolationFlag(0), cv::INTER_NEAREST);
    EXPECT_EQ(InterpolationFlag(1), cv::INTER_AREA);
    EXPECT_EQ(InterpolationFlag(2), cv::INTER_LINEAR);
    EXPECT_EQ(InterpolationFlag(3), cv::INTER_CUBIC);
    EXPECT_EQ(InterpolationFlag(4), cv::INTER_LANCZOS4);
    EXPECT_EQ(InterpolationFlag(-1), -1);
    EXPECT_EQ(InterpolationFlag(5), -1);
}

}  // namespace
}  // namespace korvale
