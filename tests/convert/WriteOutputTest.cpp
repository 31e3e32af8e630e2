// Writing one output: the bytes are the encoder's own, stamped; failures say which file and
// why, keep the older file and leave nothing behind; a run clears what killed runs left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "AtomicFile.h"
#include "BatchRun.h"
#include "ImageHeader.h"
#include "OutputWriter.h"
#include "QuietHost.h"
#include "RecordingInteraction.h"
#include "ResolutionStamp.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

using QuietHost = test::QuietHost;

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

pid_t EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    return child;
}

// A temporary file of an ended process, changed long before any run.
void PutStale(const std::string& path) {
    test::WriteFile(path, {1, 2});
    const struct timeval old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimes(path.c_str(), old);
}

TEST_F(RunFailures, ARunRemovesTemporariesThatKilledRunsLeft) {
    list_.MergeBatch({{Source("a.jpg"), 53, 37, 72}});
    const std::string stale = out_.File(".korvale-" + std::to_string(EndedProcess()) + "-4.jpg");
    const std::string other = out_.File(".korvale-notes.jpg");
    PutStale(stale);
    test::WriteFile(other, {1, 2});
    EXPECT_EQ(Run(), BatchEnd::Completed);
    EXPECT_EQ(Names(out_.path()), (std::vector<std::string>{".korvale-notes.jpg", "a.jpg"}));
}

TEST_F(RunFailures, ARunWritingThroughLinksSweepsTheFoldersOfTheirTargets) {
    // Outputs that are links to files elsewhere: through a chain, one skipped, one to a missing
    // file (a write failure that ends the run), and one not reached after it.
    test::TempDir near, far, missing, skipped, unreached;
    const std::string stale = ".korvale-" + std::to_string(EndedProcess()) + "-0.jpg";
    for (const test::TempDir* dir : {&near, &far, &missing, &skipped, &unreached}) {
        PutStale(dir->File(stale));
        PutStale(dir->File(".korvale-" + std::to_string(::getpid()) + "-0.jpg"));  // alive
        test::WriteFile(dir->File("keep.jpg"), {1});
    }
    test::WriteFile(far.File("b.jpg"), {1});
    ::symlink(far.File("b.jpg").c_str(), near.File("hop.jpg").c_str());
    ::symlink(near.File("hop.jpg").c_str(), out_.File("b.jpg").c_str());
    ::symlink(missing.File("c.jpg").c_str(), out_.File("c.jpg").c_str());
    ::symlink(skipped.File("d.jpg").c_str(), out_.File("d.jpg").c_str());
    ::symlink(unreached.File("f.jpg").c_str(), out_.File("f.jpg").c_str());
    test::WriteFile(skipped.File("d.jpg"), {1});
    list_.MergeBatch({{Source("b.jpg"), 53, 37, 72},
                      {Source("d.jpg"), 53, 37, 72},
                      {Source("c.jpg"), 53, 37, 72},
                      {Source("f.jpg"), 53, 37, 72}});
    ui_.overwriteAnswers = {OverwriteChoice::Overwrite, OverwriteChoice::Skip};
    EXPECT_EQ(Run(), BatchEnd::Failed);
    EXPECT_EQ(ui_.MessageTexts(),
              (std::vector<std::string>{"画像ファイルの書き込みに失敗しました。"}));
    EXPECT_GT(test::ReadFile(far.File("b.jpg")).size(), 1u);  // written through the links
    const struct {
        const test::TempDir& dir;
        bool swept;
    } cases[] = {{near, false}, {far, true}, {missing, true}, {skipped, false}, {unreached, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir.path());
        // The stale file goes where an output was written through a link; the rest stays.
        EXPECT_EQ(fs::exists(c.dir.File(stale)), !c.swept);
        EXPECT_TRUE(fs::exists(c.dir.File("keep.jpg")));
        EXPECT_TRUE(fs::exists(c.dir.File(".korvale-" + std::to_string(::getpid()) + "-0.jpg")));
    }
}

}  // namespace
}  // namespace korvale
