// Outputs written ahead into their temporary files: the same bytes as one image at a time, the
// names taken only in their turn, nothing left after a stop, and outputs that changed meanwhile
// or a full disk handled as a run of one image at a time handles them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <thread>

#include "BatchRun.h"
#include "ImageHeader.h"
#include "OutputWriter.h"
#include "QuietHost.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"
#include "TiffBuilder.h"
#include "WorkAhead.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

using QuietHost = test::QuietHost;

// A device with room for one file: a write fails while another temporary file of ours is in
// `folder`.
class RoomForOneFile : public FileCalls {
public:
    explicit RoomForOneFile(std::string folder) : folder_(std::move(folder)) { SetFileCalls(this); }
    ~RoomForOneFile() override { SetFileCalls(nullptr); }
    ssize_t Write(int fd, const void* data, size_t size) override {
        int temporaries = 0;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            temporaries += entry.path().filename().string().rfind(".korvale-", 0) == 0;
        }
        if (temporaries > 1) {
            errno = ENOSPC;
            return -1;
        }
        return FileCalls::Write(fd, data, size);
    }

private:
    std::string folder_;
};

class WriteAheadTest : public ::testing::Test {
protected:
    void SetUp() override {
        request_.outputFolder = out_.path();
        request_.targetWidth = 120;
        request_.targetHeight = 90;
        request_.targetDpi = 300;
    }
    std::string Add(const std::string& name, int width, int height,
                    const test::Bytes& prefix = {}) {
        cv::Mat image(height, width, CV_8UC3);
        cv::randu(image, 0, 255);
        std::vector<uchar> encoded;
        EXPECT_TRUE(cv::imencode(fs::path(name).extension().string(), image, encoded));
        test::Bytes bytes(encoded.begin(), encoded.end());
        if (!prefix.empty()) {
            bytes = test::WithSegments(bytes, prefix, false);
        }
        const std::string path = in_.File(name);
        test::WriteFile(path, bytes);
        const auto info = ProbeImageHeader(path);
        EXPECT_TRUE(info) << path;
        list_.MergeBatch({{path, info->width, info->height, 72}});
        return path;
    }
    BatchEnd Run() { return RunBatch(list_, request_, running_, host_, ui_); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out_.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir in_, out_;
    FileList list_;
    BatchRequest request_;
    bool running_ = false;
    QuietHost host_;
    test::RecordingInteraction ui_;
};

TEST_F(WriteAheadTest, OutputsAreTheBytesOfOneImageAtATime) {
    const test::Bytes exif = test::ExifSegment(test::BuildTiff(test::CameraExif(false, 1, 64, 48)));
    for (int i = 0; i < 6; ++i) {
        Add("p" + std::to_string(i) + ".jpg", 200 + 37 * i, 150 - 11 * i,
            i % 2 ? exif : test::Bytes{});
    }
    Add("q.bmp", 90, 70);
    const struct {
        BatchMethod method;
        SaveFormat format;
        int interpolation;
    } cases[] = {
        {BatchMethod::Resize, SaveFormat::SameAsSource, 4},
        {BatchMethod::Resize, SaveFormat::Bmp, 1},
        {BatchMethod::CropPaste, SaveFormat::Jpeg, 4},
    };
    for (const auto& c : cases) {
        fs::remove_all(out_.path());
        fs::create_directory(out_.path());
        request_.method = c.method;
        request_.saveFormat = c.format;
        request_.interpolation = c.interpolation;
        ASSERT_EQ(Run(), BatchEnd::Completed);
        for (size_t i = 0; i < list_.size(); ++i) {
            const FileEntry& entry = list_[i];
            const std::string name = *OutputFileName(entry.path, c.format);
            const std::string expected = in_.File("expected-" + name);
            const PreparedImage prepared = PrepareOutput(request_, entry);
            ASSERT_EQ(WriteOutput(request_, prepared.image, expected, 300, nullptr,
                                  OutputMetadata(c.format, entry)),
                      ConvertResult::Ok);
            EXPECT_EQ(test::ReadFile(out_.File(name)), test::ReadFile(expected)) << name;
            ::unlink(expected.c_str());
        }
        EXPECT_EQ(Entries().size(), list_.size());
    }
}

TEST_F(WriteAheadTest, AnOutputThatChangedSinceItWasWrittenAheadIsWrittenInItsTurn) {
    // b.jpg's output appears while a.jpg is in hand, after b.jpg's work ahead may have written
    // its temporary file; the run treats it as one image at a time would.
    const struct {
        const char* name;
        std::function<void(const std::string& output, const std::string& elsewhere)> make;
        BatchEnd end;
        bool link;
    } cases[] = {
        {"a read-only file stays",
         [](const std::string& output, const std::string&) {
             test::WriteFile(output, {'o', 'l', 'd'});
             ::chmod(output.c_str(), 0444);
         },
         BatchEnd::Failed, false},
        {"a link is followed",
         [](const std::string& output, const std::string& elsewhere) {
             test::WriteFile(elsewhere, {'o', 'l', 'd'});
             ASSERT_EQ(::symlink(elsewhere.c_str(), output.c_str()), 0);
         },
         BatchEnd::Completed, true},
    };
    Add("a.jpg", 2400, 1800);
    Add("b.jpg", 200, 150);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(out_.path());
        fs::create_directory(out_.path());
        const std::string output = out_.File("b.jpg"), elsewhere = in_.File("elsewhere.jpg");
        ::unlink(elsewhere.c_str());
        test::WriteFile(out_.File("a.jpg"), {'o', 'l', 'd'});
        ui_ = {};
        ui_.overwriteAnswers = {OverwriteChoice::OverwriteAll};
        ui_.onPump = [&](int pumps) {
            if (pumps == 1) {
                c.make(output, elsewhere);
            }
        };
        EXPECT_EQ(Run(), c.end);
        EXPECT_EQ(ui_.asked, std::vector<std::string>{out_.File("a.jpg")});
        struct stat info;
        ASSERT_EQ(::lstat(output.c_str(), &info), 0);
        EXPECT_EQ(S_ISLNK(info.st_mode), c.link);
        const std::string written = c.link ? elsewhere : output;
        EXPECT_EQ(test::ReadFile(written) == (test::Bytes{'o', 'l', 'd'}), !c.link);
        EXPECT_EQ(Entries(), (std::vector<std::string>{"a.jpg", "b.jpg"}));
        ::chmod(output.c_str(), 0644);
    }
}

TEST_F(WriteAheadTest, ADeviceWithRoomForOneFileTakesEveryOutputInTurn) {
    for (int i = 0; i < 8; ++i) {
        Add("p" + std::to_string(i) + ".jpg", 400, 300);
    }
    request_.saveFormat = SaveFormat::Bmp;
    const RoomForOneFile room(out_.path());
    EXPECT_EQ(Run(), BatchEnd::Completed);
    WaitForWorkAhead();
    EXPECT_TRUE(ui_.details.empty()) << ui_.details.front();
    EXPECT_EQ(Entries().size(), 8u);
    for (const std::string& name : Entries()) {
        EXPECT_EQ(ProbeImageHeader(out_.File(name)), (ImageHeaderInfo{120, 90, 300})) << name;
    }
}

// Every write after the first takes long, so that the work ahead is caught writing.
class SlowWrites : public FileCalls {
public:
    SlowWrites() { SetFileCalls(this); }
    ~SlowWrites() override { SetFileCalls(nullptr); }
    ssize_t Write(int fd, const void* data, size_t size) override {
        if (calls_++ > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        }
        return FileCalls::Write(fd, data, size);
    }

private:
    std::atomic<int> calls_{0};
};

TEST_F(WriteAheadTest, AStoppedRunHasRemovedItsTemporaryFilesWhenItReturns) {
    Add("a.jpg", 40, 30);
    for (int i = 0; i < 4; ++i) {
        Add("p" + std::to_string(i) + ".jpg", 200, 150);
    }
    request_.saveFormat = SaveFormat::Bmp;
    const SlowWrites slow;
    ui_.onPump = [&](int) {
        // Stopped while the next output is being written ahead.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Entries().size() < 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        running_ = false;
    };
    EXPECT_EQ(Run(), BatchEnd::Stopped);
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.bmp"});
    WaitForWorkAhead();
    EXPECT_EQ(Entries(), std::vector<std::string>{"a.bmp"});
}

}  // namespace
}  // namespace korvale
