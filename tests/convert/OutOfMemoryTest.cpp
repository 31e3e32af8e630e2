// A run that lacks memory says so: the image's failure message with the system's reason for
// ENOMEM, not that a fine source is no image. Run in a fresh child process under an
// address-space limit, so that the limit and what it breaks stay there.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "BatchRun.h"
#include "ImageHeader.h"
#include "RecordingInteraction.h"
#include "TestFiles.h"

#if defined(__SANITIZE_ADDRESS__)
#define KORVALE_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVALE_UNDER_ASAN 1
#endif
#endif

namespace korvale {
namespace {

class NoHost : public BatchHost {
public:
    void UpdateControlStates(bool) override {}
    void SetStatusText(const std::string&) override {}
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
};

// The address space this process holds now.
uint64_t AddressSpaceInUse() {
    std::ifstream in("/proc/self/status");
    std::string key;
    uint64_t kilobytes = 0;
    while (in >> key) {
        if (key == "VmSize:" && in >> kilobytes) {
            return kilobytes * 1024;
        }
        in.ignore(1 << 20, '\n');
    }
    return 0;
}

struct MemoryCase {
    const char* name;
    BatchMethod method;
    SaveFormat format;
    int side;                 // of the square target
    uint64_t spareMegabytes;  // address space left to the run
    const char* message;
    bool aboutTheOutput;  // the detail names the output rather than the source
};

void PrintTo(const MemoryCase& c, std::ostream* os) {
    *os << c.name;
}

// In the child: runs one 64x48 JPEG to the case's target under the limit, and exits 0 when the
// run said the expected message and lack of memory, else prints what it said and exits 1.
[[noreturn, maybe_unused]] void RunUnderLimit(const MemoryCase& c) {
    test::TempDir in;
    test::TempDir out;
    const std::string source = in.File("small.jpg");
    std::vector<uchar> bytes;
    cv::imencode(".jpg", cv::Mat(48, 64, CV_8UC3, cv::Scalar(40, 80, 120)), bytes);
    test::WriteFile(source, test::Bytes(bytes.begin(), bytes.end()));
    FileList list;
    const auto info = ProbeImageHeader(source);
    list.MergeBatch({{source, info->width, info->height, 72}});
    BatchRequest request;
    request.outputFolder = out.path();
    request.method = c.method;
    request.saveFormat = c.format;
    request.targetWidth = c.side;
    request.targetHeight = c.side;
    request.targetDpi = 300;

    const uint64_t limit = AddressSpaceInUse() + (c.spareMegabytes << 20);
    const struct rlimit bound = {limit, limit};
    if (::setrlimit(RLIMIT_AS, &bound) != 0) {
        std::cerr << "setrlimit failed\n";
        std::_Exit(2);
    }
    test::RecordingInteraction ui;
    NoHost host;
    bool running = false;
    const BatchEnd end = RunBatch(list, request, running, host, ui);

    const std::string output =
        out.path() + "/small." + (c.format == SaveFormat::Bmp ? "bmp" : "jpg");
    const std::string detail = (c.aboutTheOutput ? output : source) + "\n" + SystemReason(ENOMEM);
    const bool ok = end == BatchEnd::Failed &&
                    ui.MessageTexts() == std::vector<std::string>{c.message} &&
                    ui.details == std::vector<std::string>{detail};
    if (!ok) {
        std::cerr << "end " << static_cast<int>(end) << "\n";
        for (size_t i = 0; i < ui.messages.size(); ++i) {
            std::cerr << ui.messages[i].text << " | "
                      << (i < ui.details.size() ? ui.details[i] : "") << "\n";
        }
    }
    std::_Exit(ok ? 0 : 1);
}

class OutOfMemory : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(OutOfMemory, IsSaidAsSuch) {
#ifdef KORVALE_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit leaves";
#else
    // A fresh process: the work-ahead threads of earlier tests must not be copied half-made.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunUnderLimit(GetParam()), ::testing::ExitedWithCode(0), "");
#endif
}

const MemoryCase kMemoryCases[] = {
    // 1.2 GB of pixels with 256 MB to spare: the canvas cannot be made.
    {"ResizedCanvas", BatchMethod::Resize, SaveFormat::Jpeg, 20000, 256,
     "画像ファイルの読み出しに失敗しました。", false},
    {"CropPasteCanvas", BatchMethod::CropPaste, SaveFormat::Jpeg, 20000, 256,
     "画像ファイルの読み出しに失敗しました。", false},
    // 432 MB of pixels fit in 700 MB, but not their uncompressed encoding beside them.
    {"Encoding", BatchMethod::Resize, SaveFormat::Bmp, 12000, 700,
     "画像ファイルの書き込みに失敗しました。", true},
};

INSTANTIATE_TEST_SUITE_P(Cases, OutOfMemory, ::testing::ValuesIn(kMemoryCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korvale
