// korvale-cli run: the window's engine, checks and messages on a command line.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <thread>

#include "CliRunner.h"
#include "ImageHeader.h"
#include "TestFiles.h"

namespace korvale {

void PrintTo(const ImageHeaderInfo& info, std::ostream* os) {
    *os << info.width << "x" << info.height << "@" << info.dpi;
}

namespace {

namespace fs = std::filesystem;

class CliRun : public ::testing::Test {
protected:
    CliRun() {
        options_.env = {{"HOME", home_.path()},
                        {"XDG_DATA_HOME", home_.File("data")},
                        {"XDG_CONFIG_HOME", home_.File("config")}};
        fs::create_directories(out_);
    }
    std::string Jpeg(const std::string& name, int width = 40, int height = 30) {
        const std::string path = home_.File(name);
        EXPECT_TRUE(cv::imwrite(path, cv::Mat(height, width, CV_8UC3, cv::Scalar(40, 90, 160))));
        return path;
    }
    test::CliResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), "run");
        return test::RunCli(args, options_);
    }
    void WriteText(const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(path).parent_path());
        test::WriteFile(path, test::Bytes(text.begin(), text.end()));
    }
    size_t OutputCount() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(out_), {}));
    }

    test::TempDir home_;
    const std::string out_ = home_.File("out");
    test::CliOptions options_;
};

TEST_F(CliRun, ConvertsStampsAndReportsDone) {
    const std::string a = Jpeg("a.jpg"), b = Jpeg("b.jpg", 60, 20);
    const auto result =
        Run({"--width", "64", "--dpi=150", "--format", "bmp", "--output", out_, b, a});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "完了\n");
    // Height not given: each keeps its own.
    EXPECT_EQ(ProbeImageHeader(out_ + "/a.bmp"), (ImageHeaderInfo{64, 30, 150}));
    EXPECT_EQ(ProbeImageHeader(out_ + "/b.bmp"), (ImageHeaderInfo{64, 20, 150}));
}

// PNG and TIFF go through stats, plan and run like the other formats, into any output format.
TEST_F(CliRun, PngAndTiffAreListedPlannedAndWritten) {
    const std::string png = home_.File("shot.png"), tif = home_.File("scan.tif");
    ASSERT_TRUE(cv::imwrite(png, cv::Mat(30, 40, CV_8UC4, cv::Scalar(40, 90, 160, 200))));
    ASSERT_TRUE(cv::imwrite(tif, cv::Mat(20, 60, CV_16UC3, cv::Scalar(4000, 9000, 16000))));
    const auto stats = test::RunCli({"stats", tif, png}, options_);
    EXPECT_EQ(stats.exitCode, 0) << stats.err;
    EXPECT_NE(stats.out.find("shot.png\t40\t30"), std::string::npos) << stats.out;
    EXPECT_NE(stats.out.find("scan.tif\t60\t20"), std::string::npos) << stats.out;
    const auto plan = test::RunCli(
        {"plan", "--width", "64", "--format", "tiff", "--output", out_, png, tif}, options_);
    EXPECT_EQ(plan.exitCode, 0) << plan.err;
    EXPECT_NE(plan.out.find("\tshot.tif\t64\t30\t"), std::string::npos) << plan.out;
    const struct {
        const char* format;
        const char* pngOut;
        const char* tifOut;
    } cases[] = {
        {"png", "shot.png", "scan.png"},
        {"tiff", "shot.tif", "scan.tif"},
        {"source", "shot.png", "scan.tif"},
        {"bmp", "shot.bmp", "scan.bmp"},
    };
    for (const auto& c : cases) {
        const auto result = Run({"--width", "64", "--dpi", "200", "--format", c.format,
                                 "--overwrite", "all", "--quiet", "--output", out_, png, tif});
        EXPECT_EQ(result.exitCode, 0) << c.format << ": " << result.err;
        EXPECT_EQ(ProbeImageHeader(out_ + "/" + c.pngOut), (ImageHeaderInfo{64, 30, 200}))
            << c.format;
        EXPECT_EQ(ProbeImageHeader(out_ + "/" + c.tifOut), (ImageHeaderInfo{64, 20, 200}))
            << c.format;
    }
    options_ = test::InLanguage("en_US.UTF-8", options_);
    const auto wrong = Run({"--format", "gif", "--output", out_, png});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("--format is bmp, jpeg, png, tiff, webp, avif or source, not 'gif'"),
              std::string::npos)
        << wrong.err;
}

TEST_F(CliRun, DamagedSourceIsNamedInJapaneseWithoutTheLibrarysText) {
    const std::string a = Jpeg("a.jpg", 300, 200);
    test::Bytes bytes = test::ReadFile(a);
    bytes.resize(bytes.size() / 2);
    test::WriteFile(a, bytes);
    const auto result = Run({"--quiet", "--output", out_, a});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err,
              "警告: 画像ファイルのデータが壊れていたため、読み出せなかった部分を補って変換しました"
              ": " +
                  a + "\n");
    EXPECT_EQ(ProbeImageHeader(out_ + "/a.jpg")->height, 200u);
}

TEST_F(CliRun, QuietDropsTheCompletionMessage) {
    const auto result = Run({"--quiet", "--output", out_, Jpeg("a.jpg")});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
}

TEST_F(CliRun, ExistingOutputsWithoutATerminal) {
    const std::string a = Jpeg("a.jpg");
    test::WriteFile(out_ + "/a.jpg", {'o', 'l', 'd'});
    const struct {
        std::vector<std::string> flags;
        int exitCode;
        bool replaced;
    } cases[] = {
        {{}, 3, false},  // cancel unless told otherwise
        {{"--overwrite", "cancel"}, 3, false},
        {{"--overwrite", "skip"}, 0, false},
        {{"--overwrite", "all"}, 0, true},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.flags;
        args.insert(args.end(), {"--quiet", "--output", out_, a});
        const auto result = Run(args);
        EXPECT_EQ(result.exitCode, c.exitCode) << ::testing::PrintToString(c.flags);
        EXPECT_EQ(test::ReadFile(out_ + "/a.jpg").size() > 3, c.replaced)
            << ::testing::PrintToString(c.flags);
        // Even when quiet, a cancelled run says which file stopped it and what decides.
        const bool cancelled = c.exitCode == 3;
        EXPECT_EQ(result.err.find(out_ + "/a.jpg\n") != std::string::npos, cancelled) << result.err;
        EXPECT_EQ(result.err.find("--overwrite") != std::string::npos, cancelled) << result.err;
    }
}

TEST_F(CliRun, AnsweredOnStandardInputWhenAsked) {
    const std::string a = Jpeg("a.jpg"), b = Jpeg("b.jpg");
    test::WriteFile(out_ + "/a.jpg", {'o', 'l', 'd'});
    test::WriteFile(out_ + "/b.jpg", {'o', 'l', 'd'});
    options_.input = "x\ns\no\n";  // an unknown answer is asked again
    const auto result = Run({"--overwrite", "ask", "--output", out_, a, b});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(test::ReadFile(out_ + "/a.jpg").size(), 3u);
    EXPECT_GT(test::ReadFile(out_ + "/b.jpg").size(), 3u);
    EXPECT_NE(result.err.find("すでに同じ名前のファイルが存在します。"), std::string::npos);
}

TEST_F(CliRun, ChecksGiveTheWindowsMessagesAndWriteNothing) {
    const std::string a = Jpeg("a.jpg");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--height", "20", "--output", out_, a},
         "--height: 32 から 65535 までの整数を入力してください。\n"},
        {{"--dpi", "10001", "--output", out_, a},
         "--dpi: 0 から 10000 までの整数を入力してください。\n"},
        {{a}, "保存フォルダを指定してください。\n"},
        {{"--output", out_, home_.File("missing.jpg")},
         "読み取れないファイルが 1 個ありました。\n画像ファイルを選択してください。\n"},
        {{"--format", "jpeg", "--output", out_,
          [this] {
              const std::string path = home_.File("README");
              fs::copy_file(home_.File("a.jpg"), path);
              return path;
          }()},
         "拡張子の変更に失敗しました.\n  " + home_.File("README") +
             "\n  ファイル名に拡張子がありません。\n"},
    };
    for (const auto& c : cases) {
        const auto result = Run(c.args);
        EXPECT_EQ(result.exitCode, 1) << ::testing::PrintToString(c.args);
        EXPECT_EQ(result.err, c.message) << ::testing::PrintToString(c.args);
        EXPECT_EQ(OutputCount(), 0u);
    }
}

TEST_F(CliRun, DpiOnlyIgnoresSizeAndFormat) {
    const std::string a = Jpeg("a.jpg", 40, 30);
    const test::Bytes before = test::ReadFile(a);
    const auto result = Run({"--method", "dpi-only", "--width", "64", "--format", "bmp", "--dpi",
                             "600", "--metadata", "none", "--quiet", "--output", out_, a});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ProbeImageHeader(out_ + "/a.jpg"), (ImageHeaderInfo{40, 30, 600}));
    EXPECT_EQ(test::ReadFile(out_ + "/a.jpg").size(), before.size());
    EXPECT_EQ(OutputCount(), 1u);
}

TEST_F(CliRun, MissingOutputFolderIsCreatedOnlyWithMkdir) {
    const std::string a = Jpeg("a.jpg");
    const std::string folder = home_.File("new/out");
    auto result = Run({"--quiet", "--output", folder, a});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "保存フォルダが存在しません。\n" + folder +
                              "\n作成するには --mkdir を指定してください。\n");
    EXPECT_FALSE(fs::exists(home_.File("new")));

    result = Run({"--quiet", "--mkdir", "--output", folder + "/", a});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(fs::is_regular_file(folder + "/a.jpg"));
}

TEST_F(CliRun, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"--output", out_},
        {"--width", "abc", "--output", out_, "x.jpg"},
        {"--anchor", "9", "--output", out_, "x.jpg"},
        {"--margin", "300,0,0", "--output", out_, "x.jpg"},
        {"--margin", "#12345", "--output", out_, "x.jpg"},
        {"--quality", "101", "--output", out_, "x.jpg"},
        {"--interpolation", "cubic", "--output", out_, "x.jpg"},
        {"--metadata", "gps", "--output", out_, "x.jpg"},
        {"--method", "dpi", "--output", out_, "x.jpg"},
        {"--frobnicate", "--output", out_, "x.jpg"},
        {"--preset", "no such preset", "--output", out_, "x.jpg"},
        {"--output"},
    };
    for (const auto& args : cases) {
        const auto result = Run(args);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_NE(result.err.find("korvale-cli: "), std::string::npos);
    }
}

TEST_F(CliRun, PresetAndStoredSettings) {
    WriteText(home_.File("data/Brenvik/Korvale/KVPreset.csv"), "\"Small\",48,36,72\n");
    WriteText(home_.File("config/Brenvik/korvale.conf"),
              "[Settings]\nMode=1\nCrop=0\nSpR=0\nSpG=0\nSpB=0\nSizeX=50\nSizeY=50\nDPI=96\n"
              "Format=0\nFolder=" +
                  out_ + "\n");
    const std::string a = Jpeg("a.jpg", 40, 30);
    auto result = Run({"--quiet", "--preset", "Small", "--output", out_, a});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ProbeImageHeader(out_ + "/a.jpg"), (ImageHeaderInfo{48, 36, 72}));

    // Crop-and-paste at the top-left onto 50 x 50 with black margins, as a BMP.
    result = Run({"--quiet", "--settings", a});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const cv::Mat out = cv::imread(out_ + "/a.bmp");
    ASSERT_EQ(out.size(), cv::Size(50, 50));
    EXPECT_EQ(out.at<cv::Vec3b>(49, 49), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(ProbeImageHeader(out_ + "/a.bmp")->dpi, 96u);
    EXPECT_FALSE(fs::exists(home_.File("config/Brenvik/korvale-cli.conf")));
}

TEST_F(CliRun, InterruptStopsAfterTheImageInHand) {
    std::vector<std::string> args = {"run",  "--quiet",         "--width",  "3000",     "--height",
                                     "3000", "--interpolation", "lanczos4", "--output", out_};
    for (int i = 0; i < 30; ++i) {
        args.push_back(Jpeg("img" + std::to_string(100 + i) + ".jpg", 400, 300));
    }
    test::RunningCli cli(args, options_);
    // Interrupt once the first output is in place.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(out_ + "/img100.jpg") && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    cli.Signal(SIGINT);
    const auto result = cli.Wait();
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_EQ(result.err, "");
    const size_t written = OutputCount();
    EXPECT_GE(written, 1u);
    EXPECT_LT(written, 30u);
    // Only whole, stamped outputs; no temporary file left behind.
    for (const auto& entry : fs::directory_iterator(out_)) {
        EXPECT_NE(entry.path().filename().string()[0], '.');
        EXPECT_EQ(ProbeImageHeader(entry.path().string()),
                  (ImageHeaderInfo{3000, 3000, 1}))  // the source's own: density 1, no unit
            << entry.path();
    }
}

TEST_F(CliRun, KeepTreeAndNumberedNames) {
    fs::create_directories(home_.File("in/x"));
    fs::create_directories(home_.File("in/y"));
    const std::string a = Jpeg("in/x/a.jpg"), b = Jpeg("in/y/a.jpg");
    const std::string none = home_.File("in/none.jpg");
    WriteText(none, "not an image");
    // Clashing outputs are refused unless numbered.
    EXPECT_EQ(Run({"--output", out_, a, b}).exitCode, 1);
    EXPECT_EQ(OutputCount(), 0u);
    auto result = Run({"--on-clash", "number", "--output", out_, a, b});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::exists(out_ + "/a.jpg") && fs::exists(out_ + "/a (2).jpg"));
    const std::string tree = home_.File("tree");
    result = Run({"--keep-tree", "--keep-going", "--mkdir", "--output", tree, a, b, none});
    EXPECT_EQ(result.exitCode, 1) << result.err;  // a file could not be listed
    EXPECT_TRUE(fs::exists(tree + "/x/a.jpg") && fs::exists(tree + "/y/a.jpg"));
    EXPECT_NE(result.err.find(none + ": "), std::string::npos) << result.err;
}

TEST_F(CliRun, KeepGoingPrintsEveryFailedFileAndFailsTheRun) {
    std::vector<std::string> args = {"--keep-going", "--output", out_};
    for (int i = 100; i < 130; ++i) {
        args.push_back(Jpeg("f" + std::to_string(i) + ".jpg"));
        if (i <= 120) {
            fs::create_directories(out_ + "/f" + std::to_string(i) + ".jpg");  // not writable
        }
    }
    const auto result = Run(args);
    EXPECT_EQ(result.exitCode, 1) << result.err;
    size_t lines = 0;
    const std::string failure = ": 画像ファイルの書き込みに失敗しました。";
    for (size_t at = result.err.find(failure); at != std::string::npos;
         at = result.err.find(failure, at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 21u) << result.err;  // every one, not only twenty
    EXPECT_NE(result.err.find("変換できなかったファイルがあります。"), std::string::npos);
    EXPECT_EQ(result.err.find("完了"), std::string::npos);
    size_t written = 0;
    for (const auto& e : fs::directory_iterator(out_)) {
        written += e.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(written, 9u);
}

TEST_F(CliRun, NewFlagsRefuseBadValues) {
    const std::string a = Jpeg("a.jpg");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--on-clash", "rename", "--output", out_, a},
          std::vector<std::string>{"--keep-tree=1", "--output", out_, a},
          std::vector<std::string>{"--to-srgb=yes", "--output", out_, a},
          std::vector<std::string>{"--on-clash"}}) {
        const auto result = Run(args);
        EXPECT_EQ(result.exitCode, 2) << args[0];
        EXPECT_EQ(OutputCount(), 0u);
    }
}

// A source without a colour profile has nothing to convert: the same bytes with --to-srgb.
TEST_F(CliRun, ToSrgbLeavesASourceWithoutProfileAsItWas) {
    const std::string a = Jpeg("a.jpg");
    auto result = Run({"--format", "png", "--output", out_, a});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const test::Bytes plain = test::ReadFile(out_ + "/a.png");
    result = Run({"--to-srgb", "--format", "png", "--overwrite", "all", "--output", out_, a});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(test::ReadFile(out_ + "/a.png"), plain);
}

}  // namespace
}  // namespace korvale
