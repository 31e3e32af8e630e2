// A run that lacks memory says so: the image's failure message with the system's reason for
// ENOMEM, not that a fine source is no image. Run in a fresh child process under an
// address-space limit, so that the limit and what it breaks stay there.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "BatchRun.h"
#include "ImageHeader.h"
#include "MessageWords.h"
#include "OutputWriter.h"
#include "PngTiffFiles.h"
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
    const std::string detail =
        (c.aboutTheOutput ? output : source) + "\n" + Japanese(ReasonOf(ENOMEM));
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

// Small files whose headers claim what memory cannot hold, and one whose chunk claims a GiB.
struct ClaimCase {
    const char* name;
    test::Bytes bytes;
    bool lackOfMemory;  // said as lack of memory; else as a file that is no image
};

std::vector<ClaimCase> ClaimCases() {
    using test::kTiffLong;
    using test::kTiffShort;
    test::BmpSpec bmp;
    bmp.width = 30000;
    bmp.height = 30000;
    // IHDR, then a zTXt chunk that claims 1 GiB and ends with the file.
    test::Bytes bomb = test::PngBuilder().Signature().Ihdr(16, 16).bytes();
    test::PutBe32(bomb, 1u << 30);
    bomb.insert(bomb.end(), {'z', 'T', 'X', 't', 'a', 0, 0, 'x', 'y', 'z'});
    return {
        {"PNG of 30000 x 30000 colours",
         test::PngBuilder().Signature().Ihdr(30000, 30000).Idat().End().bytes(), true},
        {"JPEG of 60000 x 60000 colours",
         test::JpegBuilder().Soi().Frame(0xC0, 60000, 60000).ScanAndEnd().bytes(), true},
        {"BMP of 30000 x 30000 colours", test::MakeBmp(bmp), true},
        {"TIFF of 40000 x 40000 16-bit colours",
         test::MakeTiff(false, {{256, kTiffLong, {40000}},
                                {257, kTiffLong, {40000}},
                                {258, kTiffShort, {16, 16, 16}},
                                {262, kTiffShort, {2}},
                                {273, kTiffLong, {8}},
                                {277, kTiffShort, {3}},
                                {279, kTiffLong, {16}}}),
         true},
        {"PNG whose chunk claims 1 GiB", bomb, false},
    };
}

// Peak resident memory of this process so far.
uint64_t PeakResidentBytes() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
}

// In the child: runs each file under 256 MB of spare address space, and exits 0 when every
// one failed to be read for the expected reason without the peak memory growing by 100 MB.
[[noreturn, maybe_unused]] void RunClaimsUnderLimit() {
    test::TempDir in;
    test::TempDir out;
    const std::vector<ClaimCase> cases = ClaimCases();
    std::vector<std::string> paths;
    for (size_t i = 0; i < cases.size(); ++i) {
        const char* extension = cases[i].name[0] == 'P'   ? ".png"
                                : cases[i].name[0] == 'J' ? ".jpg"
                                : cases[i].name[0] == 'B' ? ".bmp"
                                                          : ".tif";
        paths.push_back(in.File("claim" + std::to_string(i) + extension));
        test::WriteFile(paths.back(), cases[i].bytes);
    }
    const uint64_t limit = AddressSpaceInUse() + (uint64_t{256} << 20);
    const struct rlimit bound = {limit, limit};
    if (::setrlimit(RLIMIT_AS, &bound) != 0) {
        std::cerr << "setrlimit failed\n";
        std::_Exit(2);
    }
    const uint64_t peakBefore = PeakResidentBytes();
    bool ok = true;
    for (size_t i = 0; i < cases.size(); ++i) {
        FileList list;
        // Listed with the size the header claims; the bomb's is a small one.
        const auto info = ProbeImageHeader(paths[i]);
        list.MergeBatch({{paths[i], info ? info->width : 16, info ? info->height : 16, 72}});
        BatchRequest request;
        request.outputFolder = out.path();
        request.targetWidth = 100;
        request.targetHeight = 100;
        request.targetDpi = 300;
        test::RecordingInteraction ui;
        NoHost host;
        bool running = false;
        const BatchEnd end = RunBatch(list, request, running, host, ui);
        const std::string reason =
            cases[i].lackOfMemory ? Japanese(ReasonOf(ENOMEM)) : "画像として読み取れませんでした。";
        const bool said = end == BatchEnd::Failed &&
                          ui.MessageTexts() ==
                              std::vector<std::string>{"画像ファイルの読み出しに失敗しました。"} &&
                          ui.details == std::vector<std::string>{paths[i] + "\n" + reason};
        if (!said) {
            std::cerr << cases[i].name << ": end " << static_cast<int>(end) << "\n";
            for (size_t m = 0; m < ui.messages.size(); ++m) {
                std::cerr << ui.messages[m].text << " | "
                          << (m < ui.details.size() ? ui.details[m] : "") << "\n";
            }
            ok = false;
        }
    }
    const uint64_t grown = PeakResidentBytes() - peakBefore;
    if (grown >= (uint64_t{100} << 20)) {
        std::cerr << "peak memory grew by " << (grown >> 20) << " MB\n";
        ok = false;
    }
    std::_Exit(ok ? 0 : 1);
}

TEST(OutOfMemory, HeadersClaimingMoreThanMemoryAreRefusedBeforeDecoding) {
#ifdef KORVALE_UNDER_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit leaves";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunClaimsUnderLimit(), ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
}  // namespace korvale
