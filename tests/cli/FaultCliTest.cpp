// korvale-cli run as a user's machine meets it: a full disk, kills at random points, signals,
// links, and named pipes where its files should be.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <random>
#include <thread>

#include "CliRunner.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

class CliFaults : public ::testing::Test {
protected:
    CliFaults() {
        options_.env = {{"HOME", home_.path()},
                        {"XDG_DATA_HOME", home_.File("data")},
                        {"XDG_CONFIG_HOME", home_.File("config")}};
        fs::create_directories(in_);
        fs::create_directories(out_);
    }
    std::string Jpeg(const std::string& name, int width, int height) {
        const std::string path = in_ + "/" + name;
        cv::Mat image(height, width, CV_8UC3);
        cv::randu(image, 0, 255);
        EXPECT_TRUE(cv::imwrite(path, image));
        return path;
    }
    std::vector<std::string> Sources(int count, int width, int height) {
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            paths.push_back(Jpeg("p" + std::to_string(100 + i) + ".jpg", width, height));
        }
        return paths;
    }
    std::vector<std::string> RunArgs(const std::vector<std::string>& sources,
                                     std::vector<std::string> flags = {}) {
        std::vector<std::string> args = {"run", "--output", out_, "--overwrite", "all"};
        args.insert(args.end(), flags.begin(), flags.end());
        args.insert(args.end(), sources.begin(), sources.end());
        return args;
    }
    std::vector<std::string> Temporaries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out_)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(".korvale-", 0) == 0) {
                names.push_back(name);
            }
        }
        return names;
    }
    // Every output present decodes whole at the size asked for.
    int DamagedOutputs(int width, int height) const {
        int damaged = 0;
        for (const auto& entry : fs::directory_iterator(out_)) {
            const std::string name = entry.path().filename().string();
            if (name[0] == '.') {
                continue;
            }
            const cv::Mat image = cv::imread(entry.path().string());
            damaged += image.cols != width || image.rows != height;
        }
        return damaged;
    }
    void WaitForOutput() const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (fs::is_empty(out_) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    test::TempDir home_;
    const std::string in_ = home_.File("in");
    const std::string out_ = home_.File("out");
    test::CliOptions options_;
};

TEST_F(CliFaults, AFullDiskIsAFailureThatKeepsTheOlderOutput) {
    // 600 x 400 as a 24-bit BMP is 720 KB; the limit lets the small one through only.
    const std::string small = Jpeg("a.jpg", 60, 40), large = Jpeg("b.jpg", 600, 400);
    test::WriteFile(out_ + "/b.bmp", {'o', 'l', 'd'});
    options_.fileSizeLimit = 200 * 1024;
    const auto result = test::RunCli(RunArgs({small, large}, {"--format", "bmp"}), options_);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "画像ファイルの書き込みに失敗しました。\n  " + out_ +
                              "/b.bmp\n  ファイルが大きすぎます。\n");
    EXPECT_EQ(cv::imread(out_ + "/a.bmp").cols, 60);
    EXPECT_EQ(test::ReadFile(out_ + "/b.bmp"), (test::Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(Temporaries().empty());
}

TEST_F(CliFaults, KillsLeaveWholeOutputsAndTheNextRunClearsTheirTemporaries) {
    const std::vector<std::string> sources = Sources(12, 640, 480);
    const std::vector<std::string> args =
        RunArgs(sources, {"--width", "320", "--height", "240", "--quiet"});
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(test::RunCli(args, options_).exitCode, 0);
    const auto once = std::chrono::steady_clock::now() - started;
    test::WriteFile(out_ + "/.korvale-notes", {'k', 'e', 'e', 'p'});

    std::mt19937 random(20261207);
    const int kills = 16;
    for (int k = 0; k < kills; ++k) {
        test::RunningCli running(args, options_);
        std::uniform_int_distribution<long> delay(
            0, std::chrono::duration_cast<std::chrono::microseconds>(once).count());
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        running.Signal(SIGKILL);
        running.Wait();
        EXPECT_EQ(DamagedOutputs(320, 240), 0) << "after kill " << k;
    }
    const auto result = test::RunCli(args, options_);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Temporaries(), (std::vector<std::string>{".korvale-notes"}));
    EXPECT_EQ(DamagedOutputs(320, 240), 0);
}

TEST_F(CliFaults, TerminationSignalsStopLikeCtrlC) {
    const std::vector<std::string> sources = Sources(40, 1200, 900);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        fs::remove_all(out_);
        fs::create_directories(out_);
        test::RunningCli running(RunArgs(sources, {"--width", "2400", "--height", "1800"}),
                                 options_);
        WaitForOutput();
        running.Signal(signal);
        const auto result = running.Wait();
        EXPECT_EQ(result.exitCode, 3) << strsignal(signal) << result.err;
        EXPECT_TRUE(Temporaries().empty()) << strsignal(signal);
        EXPECT_LT(std::distance(fs::directory_iterator(out_), {}), 40);
        EXPECT_EQ(DamagedOutputs(2400, 1800), 0);
    }
}

TEST_F(CliFaults, ASecondSignalEndsAtOnceWithoutATemporary) {
    const std::vector<std::string> sources = Sources(40, 1200, 900);
    test::RunningCli running(RunArgs(sources, {"--width", "2400", "--height", "1800"}), options_);
    WaitForOutput();
    running.Signal(SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    running.Signal(SIGHUP);
    const auto result = running.Wait();
    // Whichever of the two the process saw second ended it.
    EXPECT_TRUE(result.exitCode == 128 + SIGHUP || result.exitCode == 128 + SIGTERM)
        << result.exitCode;
    EXPECT_TRUE(Temporaries().empty());
    EXPECT_EQ(DamagedOutputs(2400, 1800), 0);
}

TEST_F(CliFaults, AnOutputThatIsALinkReplacesItsTarget) {
    const std::string source = Jpeg("a.jpg", 60, 40);
    fs::create_directories(home_.File("kept"));
    test::WriteFile(home_.File("kept/a-old.jpg"), {'o', 'l', 'd'});
    fs::create_symlink("../kept/a-old.jpg", out_ + "/a.jpg");
    fs::create_symlink(home_.File("kept/nothing.jpg"), out_ + "/b.jpg");
    const auto result = test::RunCli(RunArgs({source}, {"--width", "40"}), options_);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::is_symlink(out_ + "/a.jpg"));
    EXPECT_EQ(cv::imread(home_.File("kept/a-old.jpg")).cols, 40);

    const std::string second = Jpeg("b.jpg", 60, 40);
    const auto dangling = test::RunCli(RunArgs({second}), options_);
    EXPECT_EQ(dangling.exitCode, 1);
    EXPECT_EQ(dangling.err, "画像ファイルの書き込みに失敗しました。\n  " +
                                home_.File("kept/nothing.jpg") +
                                "\n  ファイルまたはフォルダが見つかりません。\n");
    EXPECT_TRUE(fs::is_symlink(out_ + "/b.jpg"));
}

TEST_F(CliFaults, TwoRunsIntoOneEmptyFolderNeverReplaceEachOther) {
    // Two sources of one name in two folders, each run on its own into one output folder.
    fs::create_directories(in_ + "/a");
    fs::create_directories(in_ + "/b");
    const std::string sources[] = {Jpeg("a/s01.jpg", 64, 48), Jpeg("b/s01.jpg", 64, 48)};
    test::Bytes expected[2];
    for (int i = 0; i < 2; ++i) {
        const auto alone = test::RunCli(RunArgs({sources[i]}, {"--method", "dpi-only"}), options_);
        ASSERT_EQ(alone.exitCode, 0) << alone.err;
        expected[i] = test::ReadFile(out_ + "/s01.jpg");
        fs::remove(out_ + "/s01.jpg");
    }
    ASSERT_NE(expected[0], expected[1]);
    constexpr int kRounds = 20;
    int lost = 0;
    for (int round = 0; round < kRounds; ++round) {
        fs::remove(out_ + "/s01.jpg");
        // Without --overwrite and without a terminal, an existing output cancels the run.
        std::vector<std::unique_ptr<test::RunningCli>> runs;
        for (const std::string& source : sources) {
            runs.push_back(std::make_unique<test::RunningCli>(
                std::vector<std::string>{"run", "--output", out_, "--method", "dpi-only", source},
                options_));
        }
        const test::CliResult results[] = {runs[0]->Wait(), runs[1]->Wait()};
        ASSERT_NE(results[0].exitCode == 0, results[1].exitCode == 0)
            << round << results[0].err << results[1].err;
        const int winner = results[0].exitCode == 0 ? 0 : 1;
        EXPECT_NE(results[1 - winner].err.find("すでに同じ名前のファイルが存在するため"),
                  std::string::npos)
            << results[1 - winner].err;
        lost += test::ReadFile(out_ + "/s01.jpg") != expected[winner];
        EXPECT_TRUE(Temporaries().empty()) << round;
    }
    EXPECT_EQ(lost, 0);
}

TEST_F(CliFaults, APlantedLinkInASharedFolderIsNeverWrittenThrough) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "links owned by another user need the superuser; run the suite as root";
    }
    const std::string source = Jpeg("photo.jpg", 60, 40);
    const std::string secret = home_.File("authorized_keys");
    ASSERT_EQ(::chmod(out_.c_str(), 01777), 0);
    const std::string link = out_ + "/photo.jpg";
    fs::create_symlink(secret, link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    const struct {
        std::vector<std::string> flags;
        int exitCode;
    } cases[] = {
        {{"--overwrite", "all"}, 1},
        {{"--overwrite", "skip"}, 0},
        {{"--overwrite", "cancel"}, 3},
        {{"--overwrite", "all", "--method", "dpi-only"}, 1},
    };
    for (const auto& c : cases) {
        test::WriteFile(secret, {'k', 'e', 'y'});
        std::vector<std::string> args = {"run", "--output", out_};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        args.push_back(source);
        const auto result = test::RunCli(args, options_);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        if (c.exitCode == 1) {
            EXPECT_EQ(
                result.err.rfind("画像ファイルの書き込みに失敗しました。\n  " + link + "\n", 0), 0u)
                << result.err;
        }
        EXPECT_EQ(test::ReadFile(secret), (test::Bytes{'k', 'e', 'y'}));
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_TRUE(Temporaries().empty());
    }
    // Patched in place (JPEG), or rebuilt and renamed (a PNG without pHYs): neither reaches
    // through the link.
    cv::Mat tiny(4, 4, CV_8UC3, cv::Scalar(1, 2, 3));
    std::vector<uchar> png;
    ASSERT_TRUE(cv::imencode(".png", tiny, png));
    const std::string pngLink = out_ + "/photo.png";
    fs::create_symlink(secret, pngLink);
    ASSERT_EQ(::lchown(pngLink.c_str(), 65534, 65534), 0);
    const struct {
        std::string link;
        test::Bytes bytes;
    } stamps[] = {{link, test::ReadFile(source)}, {pngLink, test::Bytes(png.begin(), png.end())}};
    for (const auto& c : stamps) {
        test::WriteFile(secret, c.bytes);
        const auto stamped = test::RunCli({"stamp", "300", c.link}, options_);
        EXPECT_EQ(stamped.exitCode, 1) << c.link;
        EXPECT_EQ(stamped.out, c.link + "\tunchanged\n") << c.link;
        EXPECT_EQ(test::ReadFile(secret), c.bytes) << c.link;
        EXPECT_TRUE(Temporaries().empty()) << c.link;
    }
}

TEST_F(CliFaults, NamedPipesInPlaceOfThePresetAndSettingsFilesDoNotBlock) {
    const std::string presets = home_.File("data/Brenvik/Korvale/KVPreset.csv");
    const std::string settings = home_.File("config/Brenvik/korvale.conf");
    fs::create_directories(fs::path(presets).parent_path());
    fs::create_directories(fs::path(settings).parent_path());
    ASSERT_EQ(::mkfifo(presets.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);

    const auto listed = test::RunCli({"presets"}, options_);
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, "プリセットデータの読み出しに失敗しました。(Open)\n  " + presets +
                              "\n  通常のファイルではありません。\n");

    const auto options = test::RunCli({"options"}, options_);
    EXPECT_NE(options.out.find("SizeX=2480\n"), std::string::npos) << options.out;

    const auto run = test::RunCli(RunArgs({Jpeg("a.jpg", 60, 40)}, {"--settings"}), options_);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(fs::is_fifo(presets));
    EXPECT_TRUE(fs::is_fifo(settings));
}

}  // namespace
}  // namespace korvale
