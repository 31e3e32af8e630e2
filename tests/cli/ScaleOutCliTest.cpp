// korvale-cli for programs that drive many runs: lists from a file, shards, resumable runs and
// JSON Lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <thread>

#include "CliRunner.h"
#include "ImageHeader.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

// The JSON lines of a run, the summary left out.
std::vector<std::string> FileLines(const std::string& out) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < out.size()) {
        const size_t end = std::min(out.find('\n', start), out.size());
        const std::string line = out.substr(start, end - start);
        if (line.find("\"summary\": true") == std::string::npos && !line.empty()) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    return lines;
}

// The string value of `key` in a JSON line (no escapes in the values tested).
std::string Field(const std::string& line, const std::string& key) {
    const std::string head = "\"" + key + "\": ";
    const size_t at = line.find(head);
    if (at == std::string::npos) {
        return "<none>";
    }
    const size_t value = at + head.size();
    if (line[value] != '"') {
        return line.substr(value, line.find_first_of(",}", value) - value);
    }
    return line.substr(value + 1, line.find('"', value + 1) - value - 1);
}

class ScaleOut : public ::testing::Test {
protected:
    ScaleOut() {
        options_.env = {{"HOME", home_.path()},
                        {"XDG_DATA_HOME", home_.File("data")},
                        {"XDG_CONFIG_HOME", home_.File("config")}};
        fs::create_directories(out_);
    }
    std::string Jpeg(const std::string& name, int width = 40, int height = 30) {
        const std::string path = home_.File(name);
        fs::create_directories(fs::path(path).parent_path());
        EXPECT_TRUE(cv::imwrite(path, cv::Mat(height, width, CV_8UC3, cv::Scalar(40, 90, 160))));
        return path;
    }
    std::string List(const std::vector<std::string>& paths, char end = '\n') {
        std::string text;
        for (const std::string& path : paths) {
            text += path + end;
        }
        const std::string list = home_.File("list" + std::to_string(lists_++));
        test::WriteFile(list, test::Bytes(text.begin(), text.end()));
        return list;
    }
    test::CliResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), "run");
        return test::RunCli(args, options_);
    }
    std::vector<std::string> Outputs() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out_)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    test::TempDir home_;
    const std::string out_ = home_.File("out");
    test::CliOptions options_;
    int lists_ = 0;
};

// Every bad list or shard is a usage error that leaves the output folder as it was.
TEST_F(ScaleOut, BadListsAndShardsAreUsageErrors) {
    const std::string a = Jpeg("a.jpg");
    const std::string good = List({a});
    fs::create_directories(home_.File("folder"));
    const std::string withNul = home_.File("nul-in-line");
    test::WriteFile(withNul, test::Bytes{'a', 0, 'b', '\n'});
    const struct {
        std::vector<std::string> args;
        const char* said;
    } cases[] = {
        {{"--files-from", home_.File("missing")}, "No such file"},
        {{"--files-from", home_.File("folder")}, "is a folder"},
        {{"--files-from", withNul}, "NUL byte"},
        {{"--files-from", good, a}, "name no FILE beside it"},
        {{"--files-from", good, "--recursive"}, "--recursive does not apply"},
        {{"--files-from"}, "needs a value"},
        {{"-0", a}, "-0 applies to"},
        {{"--files-from", good, "--shard", "0/4"}, "--shard is K/N"},
        {{"--files-from", good, "--shard", "5/4"}, "--shard is K/N"},
        {{"--files-from", good, "--shard", "x/y"}, "--shard is K/N"},
        {{"--files-from", good, "--shard", "1/0"}, "--shard is K/N"},
        {{"--files-from", good, "--shard=3"}, "--shard is K/N"},
        {{"--files-from", good, "--failed-list", home_.File("no/such/folder/list")},
         "--failed-list"},
        {{"--files-from", good, "--overwrite", "older"}, "--overwrite is"},
    };
    options_ = test::InLanguage("en_US.UTF-8", options_);
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--width", "32", "--output", out_};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto result = Run(args);
        EXPECT_EQ(result.exitCode, 2) << c.args[0] << " " << result.err;
        EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
        EXPECT_TRUE(Outputs().empty()) << c.args[0];
    }
    for (const std::string command : {"probe", "stats", "plan"}) {
        const auto result =
            test::RunCli({command, "--files-from", home_.File("missing")}, options_);
        EXPECT_EQ(result.exitCode, 2) << command;
        EXPECT_NE(result.err.find("No such file"), std::string::npos) << result.err;
    }
}

// The list keeps its order, leaves out empty lines and does a repeated file once; refused
// files are failed in the JSON and in the failed list, so no listed path goes unaccounted.
TEST_F(ScaleOut, ListOrderRepeatsAndRefusalsAreReported) {
    const std::string b = Jpeg("b.jpg"), a = Jpeg("a.jpg"), c = Jpeg("sub/c.jpg");
    const std::string empty = home_.File("empty.jpg");
    test::WriteFile(empty, {});
    const std::string missing = home_.File("missing.jpg");
    fs::create_directories(home_.File("dir.jpg"));
    const std::string list =
        List({b, "", a, home_.path() + "/./b.jpg", missing, empty, home_.File("dir.jpg"), c, ""});
    const std::string failed = home_.File("failed.txt");
    const auto result = Run({"--files-from", list, "--json", "--failed-list", failed, "--width",
                             "32", "--output", out_});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const std::vector<std::string> lines = FileLines(result.out);
    std::vector<std::string> sources, refused;
    for (const std::string& line : lines) {
        sources.push_back(Field(line, "source"));
        if (Field(line, "status") == "failed") {
            refused.push_back(sources.back());
        }
    }
    // In list order, each once.
    EXPECT_EQ(sources, (std::vector<std::string>{b, a, missing, empty, home_.File("dir.jpg"), c}));
    EXPECT_EQ(refused, (std::vector<std::string>{missing, empty, home_.File("dir.jpg")}));
    EXPECT_NE(result.out.find("\"written\": 3, \"skipped\": 0, \"failed\": 3"), std::string::npos)
        << result.out;
    const test::Bytes listed = test::ReadFile(failed);
    const std::string text(listed.begin(), listed.end());
    for (const std::string& path : refused) {
        EXPECT_NE(text.find(path + "\n"), std::string::npos) << text;
    }
    EXPECT_EQ(Outputs(), (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
    // A part's refused files are said before its files are converted.
    const auto line = *std::find_if(lines.begin(), lines.end(),
                                    [&](const std::string& l) { return Field(l, "source") == b; });
    EXPECT_EQ(Field(line, "width"), "32");
    EXPECT_EQ(Field(line, "height"), "30");
    EXPECT_EQ(Field(line, "output"), out_ + "/b.jpg");
    // The failed list is the next run's list.
    const auto again = Run({"--files-from", failed, "--json", "--width", "32", "--output", out_});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(FileLines(again.out).size(), 3u) << again.out;
}

// NUL-ended lists take any byte, a line end too; a path that is not UTF-8 is given exactly.
TEST_F(ScaleOut, NulListsAndBytePaths) {
    const std::string odd = Jpeg("line\nend.jpg");
    const std::string latin = Jpeg("caf\xe9.jpg");
    std::string text = odd + '\0' + latin + '\0';
    const std::string list = home_.File("nul-list");
    test::WriteFile(list, test::Bytes(text.begin(), text.end()));
    const auto result =
        Run({"--files-from", list, "-0", "--json", "--width", "32", "--output", out_});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(fs::exists(out_ + "/line\nend.jpg"));
    EXPECT_TRUE(fs::exists(out_ + "/caf\xe9.jpg"));
    EXPECT_NE(result.out.find("line\\u000aend.jpg"), std::string::npos) << result.out;
    // The path's bytes in base64 beside the readable string with U+FFFD.
    EXPECT_NE(result.out.find("caf\\ufffd.jpg\", \"sourceBytes\": \""), std::string::npos)
        << result.out;
    const auto plan = test::RunCli({"plan", "--json", "--width", "32", latin}, options_);
    EXPECT_NE(plan.out.find("\"sourceBytes\": \"Y2Fm6S5qcGc=\""), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("\"sourcePathBytes\": \""), std::string::npos) << plan.out;
    // probe and stats read the same lists.
    const auto probe = test::RunCli({"probe", "--files-from", list, "--null"}, options_);
    EXPECT_EQ(probe.exitCode, 0) << probe.err;
    EXPECT_NE(probe.out.find("line\\nend.jpg\tok\t40\t30"), std::string::npos) << probe.out;
    const auto stats = test::RunCli({"stats", "--files-from", list, "-0"}, options_);
    EXPECT_NE(stats.out.find("files\t2"), std::string::npos) << stats.out;
}

// A list from a pipe or a FIFO is read to its end and then as often as the run needs.
TEST_F(ScaleOut, StandardInputAndFifo) {
    const std::string a = Jpeg("a.jpg"), b = Jpeg("b.jpg");
    options_.input = a + "\n" + b + "\n";
    const auto piped = Run({"--files-from", "-", "--width", "32", "--output", out_});
    EXPECT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(Outputs().size(), 2u);
    options_.input.clear();
    const std::string fifo = home_.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        std::ofstream(fifo) << a << "\n";  // opened, written, closed
    });
    const auto listed = test::RunCli(
        {"plan", "--files-from", fifo, "--width", "32", "--output", home_.File("out2")}, options_);
    writer.join();
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("\ta.jpg\t32\t30"), std::string::npos) << listed.out;
}

// Shards split the list without overlap; numbered names and the clash check come from the whole
// list, so every shard names a file alike.
TEST_F(ScaleOut, ShardsSplitTheWholeList) {
    std::vector<std::string> paths;
    for (int i = 0; i < 24; ++i) {
        paths.push_back(Jpeg("x" + std::to_string(i % 2) + "/n" + std::to_string(i / 2) + ".jpg"));
    }
    const std::string list = List(paths);
    const auto whole = test::RunCli(
        {"plan", "--files-from", list, "--on-clash", "number", "--width", "32", "--output", out_},
        options_);
    EXPECT_EQ(whole.exitCode, 0) << whole.err;
    std::multiset<std::string> sources;
    size_t outputs = 0;
    for (int k = 1; k <= 3; ++k) {
        const std::string shard = std::to_string(k) + "/3";
        const auto plan = test::RunCli({"plan", "--files-from", list, "--shard", shard,
                                        "--on-clash", "number", "--width", "32", "--output", out_},
                                       options_);
        // Each of its rows is the whole plan's row, number and name alike.
        size_t start = plan.out.find('\n') + 1;
        while (start < plan.out.size()) {
            const size_t end = plan.out.find('\n', start);
            const std::string row = plan.out.substr(start, end - start + 1);
            EXPECT_NE(whole.out.find(row), std::string::npos) << row;
            start = end + 1;
        }
        const auto run = Run({"--files-from", list, "--shard", shard, "--json", "--on-clash",
                              "number", "--width", "32", "--output", out_});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& line : FileLines(run.out)) {
            sources.insert(Field(line, "source"));
            ++outputs;
        }
    }
    EXPECT_EQ(sources, std::multiset<std::string>(paths.begin(), paths.end()));
    EXPECT_EQ(Outputs().size(), 24u);
    EXPECT_EQ(outputs, 24u);
    // Refused in every shard alike when the names clash, and nothing is written.
    fs::remove_all(out_);
    fs::create_directories(out_);
    for (const std::string shard : {"1/2", "2/2"}) {
        const auto refused = Run(
            {"--files-from", list, "--shard", shard, "--json", "--width", "32", "--output", out_});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find("出力ファイルが重なる"), std::string::npos) << refused.err;
        EXPECT_NE(refused.out.find("\"end\": \"not-started\""), std::string::npos);
    }
    EXPECT_TRUE(Outputs().empty());
}

// --overwrite newer keeps outputs newer than their source and replaces older ones.
TEST_F(ScaleOut, OverwriteNewerResumes) {
    const std::string a = Jpeg("a.jpg"), b = Jpeg("b.jpg");
    ASSERT_EQ(Run({"--width", "32", "--output", out_, a, b}).exitCode, 0);
    // b's source changes after its output was written.
    struct timespec later[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    later[1].tv_sec = time(nullptr) + 100;
    later[1].tv_nsec = 0;
    ASSERT_EQ(::utimensat(AT_FDCWD, b.c_str(), later, 0), 0);
    const auto result = Run({"--files-from", List({a, b}), "--json", "--overwrite", "newer",
                             "--width", "48", "--output", out_});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const auto lines = FileLines(result.out);
    ASSERT_EQ(lines.size(), 2u) << result.out;
    EXPECT_EQ(Field(lines[0], "status"), "skipped");
    EXPECT_EQ(Field(lines[1], "status"), "written");
    EXPECT_EQ(ProbeImageHeader(out_ + "/a.jpg")->width, 32u);
    EXPECT_EQ(ProbeImageHeader(out_ + "/b.jpg")->width, 48u);
    // Without the new list options too.
    const auto plain = Run({"--overwrite", "newer", "--width", "48", "--output", out_, a, b});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(ProbeImageHeader(out_ + "/a.jpg")->width, 32u);
}

// A stopped run says so and reports how far it came; the files done are in the JSON.
TEST_F(ScaleOut, StoppedRunSaysSo) {
    const std::string seed = Jpeg("seed.jpg", 640, 480);
    std::vector<std::string> paths;
    for (int i = 0; i < 300; ++i) {
        paths.push_back(home_.File("p" + std::to_string(i) + ".jpg"));
        fs::copy_file(seed, paths.back());
    }
    test::RunningCli run({"run", "--files-from", List(paths), "--json", "--width", "2000",
                          "--height", "1500", "--output", out_},
                         options_);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    run.Signal(SIGINT);
    const auto result = run.Wait();
    EXPECT_EQ(result.exitCode, 3) << result.err;
    EXPECT_NE(result.err.find("変換を中止しました（変換 "), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("\"end\": \"stopped\""), std::string::npos) << result.out;
    EXPECT_EQ(FileLines(result.out).size(), Outputs().size());
}

// A shard that gets no file has done its share.
TEST_F(ScaleOut, EmptyShardSucceeds) {
    const std::string list = List({});
    const auto result = Run({"--files-from", list, "--json", "--width", "32", "--output", out_});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("\"files\": 0"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace korvale
