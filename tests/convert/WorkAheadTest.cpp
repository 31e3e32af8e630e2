// Work ahead under a memory cap (an address-space limit in a forked child) and after a stop:
// dropped work finishes out of sight, writes nothing and does not disturb the next run.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "BatchRun.h"
#include "ImageHeader.h"
#include "MemoryTuning.h"
#include "QuietHost.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"
#include "WorkAhead.h"

namespace korvale {
namespace {

using QuietHost = test::QuietHost;

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

uint64_t VirtualSize() {
    std::ifstream in("/proc/self/status");
    std::string key;
    uint64_t kilobytes = 0;
    while (in >> key) {
        if (key == "VmSize:" && in >> kilobytes) {
            break;
        }
        in.ignore(1 << 20, '\n');
    }
    return kilobytes * 1024;
}

// Runs `body` in a child process whose address space may grow by `room` bytes beyond what it
// uses at the start; the child's exit status (0 for success, else a failure code).
int InChildWithRoom(uint64_t room, const std::function<int()>& body) {
    WaitForWorkAhead();  // no thread of ours is in the middle of something at the fork
    const pid_t pid = ::fork();
    if (pid == 0) {
        KeepImageMemoryMapped();  // as both programs run
        // Memory the heap holds free from earlier tests counts as room too.
        ReleaseUnusedMemory();
        const uint64_t heapFree = ::mallinfo2().fordblks;
        if (heapFree >= room) {
            ::_exit(101);
        }
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = VirtualSize() + room - heapFree;
        if (::setrlimit(RLIMIT_AS, &limit) != 0) {
            ::_exit(100);
        }
        const int code = body();
        WaitForWorkAhead();
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
}

class WorkAheadTest : public ::testing::Test {
protected:
    std::string Jpeg(const test::TempDir& dir, const std::string& name, int width, int height) {
        const std::string path = dir.File(name);
        cv::Mat image(height, width, CV_8UC3, cv::Scalar(40, 80, 120));
        cv::randu(image, cv::Scalar::all(0), cv::Scalar::all(255));
        EXPECT_TRUE(cv::imwrite(path, image));
        return path;
    }
    static void List(FileList& list, const std::string& path) {
        const auto info = ProbeImageHeader(path);
        ASSERT_TRUE(info) << path;
        list.MergeBatch({{path, info->width, info->height, info->dpi}});
    }

    test::TempDir in_;
    test::TempDir out_;
};

#if defined(__SANITIZE_ADDRESS__)
#define KORVALE_NO_ADDRESS_LIMIT 1
#endif

// Targets of 4000x3000 take 36 MB each; the cap lets one or two be held at once, never three.
constexpr int kBigWidth = 4000;
constexpr int kBigHeight = 3000;
constexpr uint64_t kImage = uint64_t{kBigWidth} * kBigHeight * 3;

TEST_F(WorkAheadTest, RunUnderAMemoryCapPassesAsOneImageAtATimeWould) {
#ifdef KORVALE_NO_ADDRESS_LIMIT
    GTEST_SKIP() << "the address sanitizer needs an unlimited address space";
#endif
    FileList list;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        List(list, Jpeg(in_, name, 40, 30));
    }
    BatchRequest request;
    request.outputFolder = out_.path();
    request.targetWidth = kBigWidth;
    request.targetHeight = kBigHeight;
    request.interpolation = 0;
    const struct {
        const char* name;
        int width, height;
        BatchEnd end;
        std::vector<std::string> messages;
        size_t outputs;
    } cases[] = {
        {"each fits alone, three do not", kBigWidth, kBigHeight, BatchEnd::Completed, {"完了"}, 3},
        // The largest JPEG the encoder takes: beyond it the run stops on the encoder's limit.
        {"none fits",
         65500,
         65500,
         BatchEnd::Failed,
         {"画像ファイルの読み出しに失敗しました。"},
         0},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(out_.path());
        std::filesystem::create_directory(out_.path());
        const int code = InChildWithRoom(2 * kImage + (32 << 20), [&] {
            test::RecordingInteraction ui;
            QuietHost host;
            bool running = false;
            BatchRequest copy = request;
            copy.targetWidth = c.width;
            copy.targetHeight = c.height;
            const BatchEnd end = RunBatch(list, copy, running, host, ui);
            if (end != c.end) {
                return 1 + static_cast<int>(end);
            }
            return ui.MessageTexts() == c.messages ? 0 : 10;
        });
        EXPECT_EQ(code, 0) << c.name << " (1+end, or 10 for other messages)";
        EXPECT_EQ(Entries(out_.path()).size(), c.outputs) << c.name;
        for (const std::string& name : Entries(out_.path())) {
            EXPECT_EQ(ProbeImageHeader(out_.File(name)),
                      (ImageHeaderInfo{static_cast<uint32_t>(c.width),
                                       static_cast<uint32_t>(c.height), 300}))
                << c.name << " " << name;
        }
    }
}

TEST_F(WorkAheadTest, ImagePreparedAheadThatRanOutOfMemoryIsPreparedAgainInItsTurn) {
#ifdef KORVALE_NO_ADDRESS_LIMIT
    GTEST_SKIP() << "the address sanitizer needs an unlimited address space";
#endif
    FileList list;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        List(list, Jpeg(in_, name, 40, 30));
    }
    BatchRequest request;
    request.targetWidth = kBigWidth;
    request.targetHeight = kBigHeight;
    request.interpolation = 0;
    const int code = InChildWithRoom(2 * kImage + (32 << 20), [&] {
        // No budget: the work ahead is started whatever it needs, so the third image runs
        // out of memory while the first two are held.
        WorkAhead ahead(list, request, UINT64_MAX);
        ahead.Start(0);
        ahead.Start(1);
        PreparedImage first = ahead.Take(0);
        ahead.Start(2);
        PreparedImage second = ahead.Take(1);
        WaitForWorkAhead();
        if (first.result != ConvertResult::Ok || second.result != ConvertResult::Ok) {
            return 1;
        }
        first = {};
        second = {};
        const PreparedImage third = ahead.Take(2);
        if (third.result != ConvertResult::Ok) {
            return 2;
        }
        return third.image.size() == cv::Size(kBigWidth, kBigHeight) ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
}

TEST_F(WorkAheadTest, StopDropsWorkAheadThatNeverWritesAndANewRunIsUndisturbed) {
    // The images after the first take long to decode, so they are still being prepared when
    // the run returns; the run's list and request are gone before that work ends.
    auto list = std::make_unique<FileList>();
    List(*list, Jpeg(in_, "a.jpg", 40, 30));
    List(*list, Jpeg(in_, "b.jpg", 3000, 2000));
    List(*list, Jpeg(in_, "c.jpg", 3000, 2000));
    auto request = std::make_unique<BatchRequest>();
    request->outputFolder = out_.path();
    request->targetWidth = 64;
    request->targetHeight = 48;
    test::RecordingInteraction ui;
    QuietHost host;
    bool running = false;
    ui.onPump = [&](int) { running = false; };
    EXPECT_EQ(RunBatch(*list, *request, running, host, ui), BatchEnd::Stopped);
    list.reset();
    request.reset();

    // A second run into the same folder, with names the dropped work had prepared.
    test::TempDir in2;
    FileList second;
    List(second, Jpeg(in2, "b.jpg", 50, 20));
    List(second, Jpeg(in2, "c.jpg", 50, 20));
    BatchRequest request2;
    request2.outputFolder = out_.path();
    request2.applyWidth = request2.applyHeight = false;
    test::RecordingInteraction ui2;
    EXPECT_EQ(RunBatch(second, request2, running, host, ui2), BatchEnd::Completed);
    WaitForWorkAhead();

    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(ui2.MessageTexts(), std::vector<std::string>{"完了"});
    EXPECT_EQ(Entries(out_.path()), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(ProbeImageHeader(out_.File("a.jpg")), (ImageHeaderInfo{64, 48, 300}));
    EXPECT_EQ(ProbeImageHeader(out_.File("b.jpg")), (ImageHeaderInfo{50, 20, 300}));
    EXPECT_EQ(ProbeImageHeader(out_.File("c.jpg")), (ImageHeaderInfo{50, 20, 300}));
}

TEST(PreparationBytes, CountsSourceAndTargetFromTheHeaderSizes) {
    BatchRequest request;
    request.targetWidth = 100;
    request.targetHeight = 50;
    const FileEntry entry{"x.jpg", 1000, 2000, 72};
    const uint64_t both = PreparationBytes(request, entry);
    request.applyWidth = request.applyHeight = false;  // the target is the source's size
    const uint64_t same = PreparationBytes(request, entry);
    // The output image, and the encoder's buffer of up to twice its uncompressed bytes.
    EXPECT_EQ(same - both, 9u * (1000 * 2000 - 100 * 50));
    EXPECT_GE(both, 6u * 1000 * 2000);  // at least the decoded source, twice over
    EXPECT_GT(MemoryHeadroom(), 0u);
}

}  // namespace
}  // namespace korvale
