// korvale-cli stats: the list as the window builds it, with the window's messages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CliRunner.h"
#include "TestFiles.h"

namespace korvale {
namespace {

TEST(CliStats, RowsCountAndStatisticsWithMessagesOnStandardError) {
    test::TempDir dir;
    test::WriteFile(dir.File("b.bmp"), test::MakeBmp({40, 800, 600, 0, 2835, 2835, 0}));
    test::WriteFile(dir.File("A.bmp"), test::MakeBmp({40, 600, 400, 0, 11811, 11811, 0}));
    test::WriteFile(dir.File("c.jpg"),
                    test::JpegBuilder().Soi().App0(1, 300, 300).Frame(0xC0, 400, 600).bytes());
    const auto result =
        test::RunCli({"stats", dir.File("c.jpg"), dir.File("b.bmp"), dir.File("A.bmp"),
                      dir.File("missing.jpg"), dir.File("b.bmp")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out,
              "1\tA.bmp\t600\t400\t300\n"
              "2\tb.bmp\t800\t600\t72\n"
              "3\tc.jpg\t600\t400\t300\n"
              "files\t3\n"
              "width\t600\t800\t666\t600\n"
              "height\t400\t600\t466\t400\n"
              "dpi\t72\t300\t224\t300\n");
    EXPECT_EQ(result.err,
              "読み取れないファイルが 1 個ありました。\n"
              "重複するファイルが 1 個ありました。\n");
}

TEST(CliStats, NothingReadable) {
    const auto result = test::RunCli({"stats", "/no/such.jpg"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "files\t0\nwidth\t\t\t\t\nheight\t\t\t\t\ndpi\t\t\t\t\n");
}

TEST(CliNames, ProbeAndStatsKeepEveryFileOnOneLine) {
    test::TempDir dir;
    const std::string name = "a\tb\nc\\d\re.bmp";
    const std::string escaped = "a\\tb\\nc\\\\d\\re.bmp";
    test::WriteFile(dir.File(name), test::MakeBmp({40, 8, 4, 0, 2835, 2835, 0}));
    const auto probe = test::RunCli({"probe", dir.File(name), dir.File(name + "x")});
    EXPECT_EQ(probe.out,
              dir.File(escaped) + "\tok\t8\t4\t72\n" + dir.File(escaped + "x") + "\tunreadable\n");
    const auto stats = test::RunCli({"stats", dir.File(name)});
    EXPECT_EQ(stats.exitCode, 0);
    EXPECT_EQ(stats.out.substr(0, stats.out.find("files")), "1\t" + escaped + "\t8\t4\t72\n");
}

// Below the count, one line per entry that exists but cannot be listed, its name escaped;
// plan and run register the files the same way.
TEST(CliStats, UnreadableEntriesGetOneLineEachWithTheReason) {
    test::TempDir dir;
    const std::string folder = dir.File("folder.jpg"), fifo = dir.File("pipe.bmp"),
                      dangling = dir.File("link.jpg"), text = dir.File("notes\n.jpg");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(dir.File("gone.jpg").c_str(), dangling.c_str()), 0);
    test::WriteFile(text, {'h', 'i'});
    test::WriteFile(dir.File("a.bmp"), test::MakeBmp({40, 8, 4, 0, 2835, 2835, 0}));
    const std::string expected = "読み取れないファイルが 4 個ありました。\n  " + folder +
                                 ": フォルダです。\n  " + fifo +
                                 ": 通常のファイルではありません。\n  " + dangling +
                                 ": リンク先のファイルがありません。\n  " +
                                 dir.File("notes\\n.jpg") + ": 画像として読み取れませんでした。\n";
    const std::vector<std::string> files = {folder, fifo, dir.File("a.bmp"), dangling, text};
    std::vector<std::string> stats = {"stats"}, plan = {"plan", "--output", dir.File("out")};
    stats.insert(stats.end(), files.begin(), files.end());
    plan.insert(plan.end(), files.begin(), files.end());
    const auto listed = test::RunCli(stats);
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_EQ(listed.err, expected);
    const auto planned = test::RunCli(plan, {{}, {{"HOME", dir.path()}}, {}, 0});
    EXPECT_EQ(planned.err.substr(0, expected.size()), expected);
}

// Every command that takes files walks a named folder under --recursive and, without it,
// says that the name is a folder.
TEST(CliFolders, RecursiveTakesTheImagesOfNamedFoldersInEveryFileCommand) {
    test::TempDir dir;
    ASSERT_EQ(::mkdir(dir.File("tree").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.File("tree/sub").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.File("tree/.hidden").c_str(), 0755), 0);
    const std::string a = dir.File("tree/A.BMP"), b = dir.File("tree/sub/b.bmp");
    test::WriteFile(a, test::MakeBmp({40, 8, 4, 0, 2835, 2835, 0}));
    test::WriteFile(b, test::MakeBmp({40, 6, 2, 0, 2835, 2835, 0}));
    test::WriteFile(dir.File("tree/.hidden/c.bmp"), test::MakeBmp({}));
    test::WriteFile(dir.File("tree/readme.txt"), {'x'});
    ASSERT_EQ(::symlink("..", dir.File("tree/sub/loop").c_str()), 0);
    const std::string tree = dir.File("tree");

    const auto stats = test::RunCli({"stats", "--recursive", tree});
    EXPECT_EQ(stats.exitCode, 0) << stats.err;
    EXPECT_EQ(stats.out.substr(0, stats.out.find("files")),
              "1\tA.BMP\t8\t4\t72\n2\tb.bmp\t6\t2\t72\n");
    EXPECT_EQ(stats.err, "");
    const auto probe = test::RunCli({"probe", tree, "--recursive"});
    EXPECT_EQ(probe.out, a + "\tok\t8\t4\t72\n" + b + "\tok\t6\t2\t72\n");
    const auto plan = test::RunCli({"plan", "--recursive", "--output", dir.File("out"), tree},
                                   {{}, {{"HOME", dir.path()}}, {}, 0});
    EXPECT_EQ(plan.exitCode, 0) << plan.err;
    EXPECT_NE(plan.out.find("\n2\tb.bmp\t"), std::string::npos) << plan.out;
    const auto stamp = test::RunCli({"stamp", "300", "--recursive", tree});
    EXPECT_EQ(stamp.out, a + "\tstamped\n" + b + "\tstamped\n");

    // Without the switch the folder is named as one on standard error, and nothing is read.
    const auto flat = test::RunCli({"stats", tree});
    EXPECT_EQ(flat.exitCode, 1);
    EXPECT_EQ(flat.err,
              "読み取れないファイルが 1 個ありました。\n  " + tree + ": フォルダです。\n");
    const auto probed = test::RunCli({"probe", tree});
    EXPECT_EQ(probed.out, tree + "\tunreadable\n");
    EXPECT_EQ(probed.err, tree + ": フォルダです。\n");
    // After "--" the name is a file.
    const auto ended = test::RunCli({"stats", "--", "--recursive"});
    EXPECT_EQ(ended.exitCode, 1);
}

}  // namespace
}  // namespace korvale
