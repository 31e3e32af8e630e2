// korvale-cli plan: one line per listed file, run's options, nothing written.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "CliRunner.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

class CliPlan : public ::testing::Test {
protected:
    CliPlan() {
        options_.env = {{"HOME", home_.path()},
                        {"XDG_DATA_HOME", home_.File("data")},
                        {"XDG_CONFIG_HOME", home_.File("config")}};
        fs::create_directories(out_);
    }
    std::string Jpeg(const std::string& name, int width, int height) {
        const std::string path = home_.File(name);
        EXPECT_TRUE(cv::imwrite(path, cv::Mat(height, width, CV_8UC3, cv::Scalar(1, 2, 3))));
        return path;
    }
    test::CliResult Plan(std::vector<std::string> args) {
        args.insert(args.begin(), "plan");
        return test::RunCli(args, options_);
    }

    test::TempDir home_;
    const std::string out_ = home_.File("out");
    test::CliOptions options_;
};

TEST_F(CliPlan, OneLinePerFileInListOrderAndNothingWritten) {
    const std::string b = Jpeg("b.jpg", 3000, 2000), a = Jpeg("a.jpg", 1000, 2000);
    test::WriteFile(out_ + "/b.jpg", {1});
    const auto result = Plan(
        {"--preset", "A4 300dpi", "--keep-aspect", "--format", "jpeg", "--output", out_, b, a});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 3u) << result.out;
    EXPECT_EQ(lines[0],
              "No.\tsource\tsource W\tsource H\tsource DPI\toutput\toutput W\toutput H\toutput "
              "DPI\tscale X\tscale Y\tleft\ttop\tright\tbottom\tprint width mm\tprint height "
              "mm\texists\tproblem");
    // 1000x2000 fits 1754x3508 in 2480x3508: 363 columns each side, the odd one right.
    EXPECT_EQ(lines[1],
              "1\ta.jpg\t1000\t2000\t1\ta.jpg\t2480\t3508\t300\t1.7540\t1.7540\t363\t0\t363\t0\t"
              "210.0\t297.0\tno\t");
    // 3000x2000 fits 2480x1653: 1855 rows free, 927 above and 928 below.
    EXPECT_EQ(lines[2],
              "2\tb.jpg\t3000\t2000\t1\tb.jpg\t2480\t3508\t300\t0.8267\t0.8265\t0\t927\t0\t928\t"
              "210.0\t297.0\tyes\t");
    EXPECT_EQ(std::distance(fs::directory_iterator(out_), {}), 1);
}

TEST_F(CliPlan, ExitStatusAndJson) {
    const std::string a = Jpeg("a.jpg", 40, 30);
    const std::string bare = home_.File("bare");
    fs::copy_file(a, bare);
    const struct {
        const char* name;
        std::vector<std::string> args;
        int exitCode;
        std::string inOutput;
    } cases[] = {
        {"crop without a folder",
         {"--method", "crop", "--width", "32", a},
         0,
         "1\ta.jpg\t40\t30\t1\ta.jpg\t32\t30\t1\t1.0000\t1.0000\t-4\t0\t-4\t0\t812.8\t762.0\t-"
         "\t\n"},
        {"a name without extension",
         {"--format", "bmp", a, bare},
         1,
         "2\tbare\t40\t30\t1\t\t40\t30\t1\t1.0000\t1.0000\t0\t0\t0\t0\t1016.0\t762.0\t-\tno-"
         "extension\n"},
        {"json",
         {"--json", "--dpi", "254", "--width", "100", a},
         0,
         "{\"no\": 1, \"source\": \"a.jpg\", \"sourcePath\": \"" + a +
             "\", \"sourceWidth\": 40, \"sourceHeight\": 30, \"sourceDpi\": 1, \"output\": "
             "\"a.jpg\", \"outputWidth\": 100, \"outputHeight\": 30, \"outputDpi\": 254, "
             "\"scaleX\": 2.5000, \"scaleY\": 1.0000, \"left\": 0, \"top\": 0, \"right\": 0, "
             "\"bottom\": 0, \"printWidthMm\": 10.0, \"printHeightMm\": 3.0, \"exists\": null, "
             "\"problem\": null}"},
        {"an output its encoder refuses",
         {"--format", "jpeg", "--width", "65501", a},
         1,
         "\ttoo-large-for-format\n"},
        {"an option run refuses", {"--method", "stretch", a}, 2, ""},
        {"no file", {"--json"}, 2, ""},
        {"an unreadable file", {a, home_.File("missing.jpg")}, 1, "1\ta.jpg"},
    };
    for (const auto& c : cases) {
        const auto result = Plan(c.args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name << "\n" << result.err;
        EXPECT_NE(result.out.find(c.inOutput), std::string::npos) << c.name << "\n" << result.out;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(out_), {}), 0);
}

TEST_F(CliPlan, ClashingOutputsAreMarkedWithTheOtherFilesNumber) {
    fs::create_directories(home_.File("a"));
    fs::create_directories(home_.File("b"));
    const std::string a = Jpeg("a/photo.jpg", 40, 30), b = Jpeg("b/photo.jpg", 40, 30),
                      c = Jpeg("a/other.jpg", 40, 30);
    const auto result = Plan({"--output", out_, a, b, c});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 4u) << result.out;
    // In list order: a/other.jpg, a/photo.jpg, b/photo.jpg.
    const auto problem = [&](size_t line) {
        return lines[line].substr(lines[line].rfind('\t') + 1);
    };
    EXPECT_EQ(problem(1), "");
    EXPECT_EQ(problem(2), "same-output-as 3");
    EXPECT_EQ(problem(3), "same-output-as 2");
    const auto json = Plan({"--json", "--output", out_, a, b, c});
    EXPECT_NE(json.out.find("\"problem\": \"same-output-as 3\""), std::string::npos) << json.out;
    EXPECT_TRUE(fs::is_empty(out_));
}

TEST_F(CliPlan, RunRefusesAClashingBatchBeforeItsFirstImage) {
    fs::create_directories(home_.File("a"));
    fs::create_directories(home_.File("b"));
    const std::string a = Jpeg("a/photo.jpg", 40, 30), b = Jpeg("b/photo.jpg", 40, 30);
    const auto result =
        test::RunCli({"run", "--output", out_, "--overwrite", "all", a, b}, options_);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "出力ファイルが重なる画像があるため、変換を開始できません。\n  " + a +
                              " と " + b + " は、どちらも " + out_ +
                              "/photo.jpg に書き込まれます。\n  保存フォルダか出力形式を変えるか、"
                              "重なるファイルをリストから外してください。\n");
    EXPECT_TRUE(fs::is_empty(out_));
}

}  // namespace
}  // namespace korvale
