// Writing one output: the bytes are the encoder's own, stamped; failures say which file and
// why, keep the older file and leave nothing behind; a run clears what killed runs left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "AtomicFile.h"
#include "BatchRun.h"
#include "ImageHeader.h"
#include "RecordingInteraction.h"
#include "ResolutionStamp.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

class QuietHost : public BatchHost {
public:
    void UpdateControlStates(bool) override {}
    void SetStatusText(const std::string&) override {}
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
};

// Fails every write with `error`.
class FailingWrites : public FileCalls {
public:
    explicit FailingWrites(int error) : error_(error) { SetFileCalls(this); }
    ~FailingWrites() override { SetFileCalls(nullptr); }
    ssize_t Write(int, const void*, size_t) override {
        errno = error_;
        return -1;
    }

private:
    int error_;
};

cv::Mat Picture(int type) {
    cv::Mat image(37, 53, type);
    cv::randu(image, 0, 255);
    return image;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WriteOutput, WritesWhatTheEncoderWritesToAFileThenStamped) {
    test::TempDir dir;
    const struct {
        const char* name;
        int type;
        int quality;
    } cases[] = {
        {"colour.bmp", CV_8UC3, 95}, {"grey.BMP", CV_8UC1, 95}, {"colour.jpg", CV_8UC3, 85},
        {"grey.jpeg", CV_8UC1, 30},  {"four.bmp", CV_8UC4, 95},
    };
    for (const auto& c : cases) {
        const cv::Mat image = Picture(c.type);
        const std::string expected = dir.File(std::string("expected-") + c.name);
        ASSERT_TRUE(cv::imwrite(expected, image, {cv::IMWRITE_JPEG_QUALITY, c.quality}));
        StampResolution(expected, 150);
        BatchRequest request;
        request.jpegQuality = c.quality;
        const std::string output = dir.File(c.name);
        ASSERT_EQ(WriteOutput(request, image, output, 150), ConvertResult::Ok) << c.name;
        EXPECT_EQ(test::ReadFile(output), test::ReadFile(expected)) << c.name;
        EXPECT_EQ(ProbeImageHeader(output)->dpi, 150u) << c.name;
    }
}

TEST(WriteOutput, AFailedWriteSaysWhyAndKeepsTheOlderFile) {
    test::TempDir dir;
    const std::string output = dir.File("a.jpg");
    test::WriteFile(output, {'o', 'l', 'd'});
    for (const int code : {ENOSPC, EIO, EDQUOT}) {
        const FailingWrites failing(code);
        FileError error;
        EXPECT_EQ(WriteOutput({}, Picture(CV_8UC3), output, 300, &error),
                  ConvertResult::WriteFailed);
        EXPECT_EQ(error.code, code);
        EXPECT_EQ(error.path, output);
        EXPECT_EQ(test::ReadFile(output), (test::Bytes{'o', 'l', 'd'}));
        EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.jpg"}));
    }
}

TEST(WriteOutput, AnExtensionWithoutEncoderIsAWriteFailure) {
    test::TempDir dir;
    for (const char* name : {"README", "notes.txt"}) {
        FileError error;
        EXPECT_EQ(WriteOutput({}, Picture(CV_8UC3), dir.File(name), 300, &error),
                  ConvertResult::WriteFailed);
        EXPECT_EQ(error.path, dir.File(name));
        EXPECT_FALSE(error.reason.empty());
    }
    EXPECT_TRUE(Names(dir.path()).empty());
}

class RunFailures : public ::testing::Test {
protected:
    RunFailures() {
        request_.outputFolder = out_.path();
        request_.saveFormat = SaveFormat::Jpeg;
    }
    std::string Source(const std::string& name) {
        const std::string path = in_.File(name);
        EXPECT_TRUE(cv::imwrite(path, Picture(CV_8UC3)));
        return path;
    }
    BatchEnd Run() { return RunBatch(list_, request_, running_, host_, ui_); }

    test::TempDir in_, out_;
    FileList list_;
    BatchRequest request_;
    bool running_ = false;
    QuietHost host_;
    test::RecordingInteraction ui_;
};

TEST_F(RunFailures, AFullDiskEndsTheRunWithTheWriteMessageAndItsDetail) {
    list_.MergeBatch({{Source("a.jpg"), 53, 37, 72}});
    const FailingWrites failing(ENOSPC);
    EXPECT_EQ(Run(), BatchEnd::Failed);
    EXPECT_EQ(ui_.MessageTexts(),
              (std::vector<std::string>{"画像ファイルの書き込みに失敗しました。"}));
    EXPECT_EQ(ui_.details, (std::vector<std::string>{out_.File("a.jpg") +
                                                     "\nディスクの空き容量が不足しています。"}));
    EXPECT_TRUE(Names(out_.path()).empty());
}

TEST_F(RunFailures, ReadAndNamingFailuresNameTheSource) {
    const std::string missing = in_.File("gone.jpg");
    list_.MergeBatch({{missing, 53, 37, 72}});
    EXPECT_EQ(Run(), BatchEnd::Failed);
    EXPECT_EQ(ui_.MessageTexts(),
              (std::vector<std::string>{"画像ファイルの読み出しに失敗しました。"}));
    EXPECT_EQ(ui_.details,
              (std::vector<std::string>{missing + "\nファイルまたはフォルダが見つかりません。"}));

    test::RecordingInteraction second;
    FileList undotted;
    const std::string readme = in_.File("README");
    undotted.MergeBatch({{readme, 53, 37, 72}});
    EXPECT_EQ(RunBatch(undotted, request_, running_, host_, second), BatchEnd::Failed);
    EXPECT_EQ(second.MessageTexts(), (std::vector<std::string>{"拡張子の変更に失敗しました."}));
    EXPECT_EQ(second.details,
              (std::vector<std::string>{readme + "\nファイル名に拡張子がありません。"}));
}

TEST_F(RunFailures, ARunRemovesTemporariesThatKilledRunsLeft) {
    list_.MergeBatch({{Source("a.jpg"), 53, 37, 72}});
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    const std::string stale = out_.File(".korvale-" + std::to_string(child) + "-4.jpg");
    const std::string other = out_.File(".korvale-notes.jpg");
    test::WriteFile(stale, {1, 2});
    test::WriteFile(other, {1, 2});
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, stale.c_str(), old, 0);
    EXPECT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(Names(out_.path()), (std::vector<std::string>{".korvale-notes.jpg", "a.jpg"}));
}

}  // namespace
}  // namespace korvale
