// korvale-cli as a user runs it: output lines, exit statuses and usage errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "CliRunner.h"
#include "ImageHeader.h"
#include "PngTiffFiles.h"
#include "TestFiles.h"

namespace korvale {
namespace {

using test::RunCli;

TEST(CliProbe, OneLinePerFileInArgumentOrder) {
    test::TempDir dir;
    const std::string bmp = dir.File("b.bmp"), jpeg = dir.File("a.jpg");
    test::WriteFile(bmp, test::MakeBmp({40, 640, -480, 0, 2835, 2835, 0}));
    test::WriteFile(jpeg, test::JpegBuilder().Soi().App0(1, 300, 300).Frame(0xC0, 20, 10).bytes());
    const auto result = RunCli({"probe", bmp, jpeg});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, bmp + "\tok\t640\t480\t72\n" + jpeg + "\tok\t10\t20\t300\n");
}

// Long lists are probed on two threads a block at a time; the lines keep the argument order.
TEST(CliProbe, LongListKeepsTheArgumentOrderAcrossBlocks) {
    test::TempDir dir;
    std::vector<std::string> args{"probe"};
    std::string expected;
    for (int i = 0; i < 4200; ++i) {
        const std::string path = dir.File("f" + std::to_string(i) + (i % 3 ? ".bmp" : ".jpg"));
        if (i % 7 == 0) {
            expected += path + "\tunreadable\n";  // never written
        } else if (i % 3 != 0) {
            test::WriteFile(path, test::MakeBmp({40, 1 + i % 50, 2, 0, 0, 0, 0}));
            expected += path + "\tok\t" + std::to_string(1 + i % 50) + "\t2\t0\n";
        } else {
            test::WriteFile(
                path,
                test::JpegBuilder().Soi().App0(1, i % 600, i % 600).Frame(0xC0, 3, 5).bytes());
            expected += path + "\tok\t5\t3\t" + std::to_string(i % 600) + "\n";
        }
        args.push_back(path);
    }
    const auto result = RunCli(args);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, expected);
}

TEST(CliProbe, UnreadableFileGivesStatus1) {
    test::TempDir dir;
    const std::string bmp = dir.File("b.bmp");
    test::WriteFile(bmp, test::MakeBmp({40, 4, 4, 0, 0, 0, 0}));
    const auto result = RunCli({"probe", dir.File("missing.jpg"), bmp});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, dir.File("missing.jpg") + "\tunreadable\n" + bmp + "\tok\t4\t4\t0\n");
}

TEST(CliProbe, DoubleDashLetsFileNamesStartWithADash) {
    test::TempDir dir;
    test::WriteFile(dir.File("-x.bmp"), test::MakeBmp({40, 4, 4, 0, 0, 0, 0}));
    test::CliOptions options;
    options.workingDirectory = dir.path();
    const auto result = RunCli({"probe", "--", "-x.bmp"}, options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "-x.bmp\tok\t4\t4\t0\n");
}

TEST(CliStamp, PatchesInPlaceAndReportsEachFile) {
    test::TempDir dir;
    const std::string bmp = dir.File("b.bmp"), jpeg = dir.File("a.jpg"), exif = dir.File("e.jpg");
    test::WriteFile(bmp, test::MakeBmp({40, 4, 4, 0, 0, 0, 48}));
    test::WriteFile(jpeg, test::JpegBuilder().Soi().App0(0, 1, 1).Frame(0xC0, 2, 2).bytes());
    test::WriteFile(exif, test::JpegBuilder()
                              .Soi()
                              .App1Exif(false, {test::ExifXResolution(72, 1)})
                              .Frame(0xC0, 2, 2)
                              .bytes());
    const auto result = RunCli({"stamp", "350", bmp, jpeg, exif});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, bmp + "\tstamped\n" + jpeg + "\tstamped\n" + exif + "\tunchanged\n");
    EXPECT_EQ(ProbeImageHeader(bmp)->dpi, 350u);
    EXPECT_EQ(ProbeImageHeader(jpeg)->dpi, 350u);
    EXPECT_EQ(ProbeImageHeader(exif)->dpi, 72u);
    EXPECT_EQ(RunCli({"stamp", "0", bmp, jpeg}).exitCode, 0);
}

TEST(CliStamp, PngAndTiffInPlaceOrByInsertion) {
    test::TempDir dir;
    const std::string files[] = {dir.File("a.png"),  dir.File("b.PNG"),    dir.File("c.tif"),
                                 dir.File("d.tiff"), dir.File("jpeg.png"), dir.File("png.tif")};
    test::WriteFile(files[0], test::SimplePngWithPhys(4, 3, 3780, 1));
    test::WriteFile(files[1], test::SimplePng(4, 3));
    test::WriteFile(files[2], test::SimpleTiff(true, 4, 3, 72, 1, 2));
    test::WriteFile(files[3], test::SimpleTiff(false, 4, 3));
    test::WriteFile(files[4], test::JpegBuilder().Soi().App0(1, 72, 72).Frame(0xC0, 3, 4).bytes());
    test::WriteFile(files[5], test::SimplePng(4, 3));
    const auto probed = RunCli({"probe", files[0], files[1], files[2], files[3], files[4]});
    EXPECT_EQ(probed.exitCode, 1);
    EXPECT_EQ(probed.out, files[0] + "\tok\t4\t3\t96\n" + files[1] + "\tok\t4\t3\t0\n" + files[2] +
                              "\tok\t4\t3\t72\n" + files[3] + "\tok\t4\t3\t0\n" + files[4] +
                              "\tunreadable\n");
    const auto stamped =
        RunCli({"stamp", "300", files[0], files[1], files[2], files[3], files[4], files[5]});
    EXPECT_EQ(stamped.exitCode, 1);
    EXPECT_EQ(stamped.out, files[0] + "\tstamped\n" + files[1] + "\tstamped\n" + files[2] +
                               "\tstamped\n" + files[3] + "\tstamped\n" + files[4] +
                               "\tunchanged\n" + files[5] + "\tunchanged\n");
}

// "stamped" says that the file holds the DPI now, also when it is too damaged to probe, and
// also when it held the DPI already.
TEST(CliStamp, SaysStampedWheneverBytesChanged) {
    test::TempDir dir;
    const struct {
        std::string name;
        test::Bytes bytes;
    } damaged[] = {
        {"width-0.bmp", test::MakeBmp({40, 0, 4, 0, 0, 0, 48})},
        {"height-0.bmp", test::MakeBmp({40, 4, 0, 0, 0, 0, 48})},
        {"width-negative.bmp", test::MakeBmp({40, -4, 4, 0, 0, 0, 48})},
        {"no-frame.jpg", test::JpegBuilder().Soi().App0(0, 1, 1).bytes()},
        {"cut-in-frame.jpg",
         [] {
             test::Bytes jpeg = test::JpegBuilder().Soi().App0(0, 1, 1).Frame(0xC0, 3, 4).bytes();
             jpeg.resize(24);
             return jpeg;
         }()},
    };
    std::vector<std::string> args{"stamp", "300"};
    std::string stamped;
    for (const auto& c : damaged) {
        const std::string path = dir.File(c.name);
        test::WriteFile(path, c.bytes);
        ASSERT_FALSE(ProbeImageHeader(path)) << c.name;
        args.push_back(path);
        stamped += path + "\tstamped\n";
    }
    const auto first = RunCli(args);
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, stamped);
    EXPECT_EQ(first.err, "");
    const auto again = RunCli(args);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, stamped);
    EXPECT_EQ(again.err, "");
}

TEST(CliStamp, SaysWhyAFileWasNotStamped) {
    test::TempDir dir;
    const std::string exif = dir.File("camera.jpg"), cut = dir.File("cut.bmp"),
                      folder = dir.File("folder.bmp"), missing = dir.File("missing.jpg"),
                      readOnly = dir.File("ro.bmp");
    test::WriteFile(exif, test::JpegBuilder()
                              .Soi()
                              .App1Exif(false, {test::ExifXResolution(72, 1)})
                              .Frame(0xC0, 2, 2)
                              .bytes());
    test::Bytes cutBytes = test::MakeBmp({40, 4, 4, 0, 0, 0, 0});
    cutBytes.resize(44);  // ends inside the second resolution field
    test::WriteFile(cut, cutBytes);
    test::WriteFile(readOnly, test::MakeBmp({40, 4, 4, 0, 0, 0, 48}));
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const auto result = RunCli({"stamp", "300", exif, cut, folder, missing, readOnly});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, exif + "\tunchanged\n" + cut + "\tunchanged\n" + folder +
                              "\tunchanged\n" + missing + "\tunchanged\n" + readOnly +
                              "\tunchanged\n");
    EXPECT_EQ(result.err, exif +
                              ": JFIF セグメントがないため、解像度を書き込めません。"
                              "korvale-cli run --method dpi-only で書き込めます。\n" +
                              cut + ": 解像度を書き込める位置が見つかりませんでした。\n" + folder +
                              ": フォルダです。\n" + missing +
                              ": ファイルまたはフォルダが見つかりません。\n" + readOnly +
                              ": アクセスが拒否されました。\n");
}

// A PNG without pHYs is replaced by a copy with it: when the copy cannot be written, the
// system's reason is given and the file stays as it was.
TEST(CliStamp, FullDiskGivesTheSystemsReason) {
    test::TempDir dir;
    const std::string png = dir.File("a.png");
    const test::Bytes before = test::SimplePng(4, 3);
    test::WriteFile(png, before);
    test::CliOptions options;
    options.fileSizeLimit = before.size();
    const auto result = RunCli({"stamp", "300", png}, options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, png + "\tunchanged\n");
    EXPECT_EQ(result.err, png + ": ファイルが大きすぎます。\n");
    EXPECT_EQ(test::ReadFile(png), before);
}

TEST(CliStamp, NamesAreEscapedAsProbeEscapesThem) {
    test::TempDir dir;
    const std::string name = "a\tb\nc.jpg", escaped = "a\\tb\\nc.jpg";
    test::WriteFile(dir.File(name), test::JpegBuilder().Soi().App0(0, 1, 1).bytes());
    test::WriteFile(dir.File("x\ny.jpg"), test::JpegBuilder().Soi().Frame(0xC0, 2, 2).bytes());
    const auto result = RunCli({"stamp", "300", dir.File(name), dir.File("x\ny.jpg")});
    EXPECT_EQ(result.out,
              dir.File(escaped) + "\tstamped\n" + dir.File("x\\ny.jpg") + "\tunchanged\n");
    EXPECT_EQ(result.err.substr(0, result.err.find(':')), dir.File("x\\ny.jpg"));
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
}

TEST(CliUsage, ErrorsGiveStatus2AndAMessage) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"probe"},
        {"stamp"},
        {"stamp", "300"},
        {"stamp", "10001", "x.jpg"},
        {"stamp", "-1", "x.jpg"},
        {"stamp", "3OO", "x.jpg"},
    };
    for (const auto& args : cases) {
        const auto result = RunCli(args);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(args);
        EXPECT_FALSE(result.err.empty()) << ::testing::PrintToString(args);
        EXPECT_TRUE(result.out.empty()) << ::testing::PrintToString(args);
    }
}

TEST(CliUsage, HelpAndVersion) {
    const auto help = RunCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("probe FILE..."), std::string::npos);
    EXPECT_EQ(RunCli({"run", "--help"}).out, help.out);
    const auto version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find("1.2.0.3"), std::string::npos);
    EXPECT_NE(version.out.find("OpenCV 4."), std::string::npos);
}

// The commands main.cpp dispatches, read from its table: the help lists each, so the manual
// page and the completion made from the help do too.
TEST(CliUsage, HelpListsEveryDispatchedCommand) {
    std::ifstream file(KORVALE_CLI_MAIN_SOURCE);
    ASSERT_TRUE(file) << KORVALE_CLI_MAIN_SOURCE;
    std::ostringstream source;
    source << file.rdbuf();
    const std::string code = source.str();
    const size_t tableBegin = code.find("kCommands[] = {");
    ASSERT_NE(tableBegin, std::string::npos);
    const std::string table = code.substr(tableBegin, code.find("};", tableBegin) - tableBegin);
    std::vector<std::string> commands;
    // Entries read {"name", ...: a quoted name of lower-case letters and dashes after a brace.
    for (size_t at = table.find("{\""); at != std::string::npos; at = table.find("{\"", at + 1)) {
        const size_t end = table.find('"', at + 2);
        const std::string name = table.substr(at + 2, end - at - 2);
        if (end != std::string::npos && table.compare(end, 2, "\",") == 0 && !name.empty() &&
            name.find_first_not_of("abcdefghijklmnopqrstuvwxyz-") == std::string::npos) {
            commands.push_back(name);
        }
    }
    ASSERT_NE(std::find(commands.begin(), commands.end(), "plan"), commands.end()) << table;

    const auto help = RunCli({"--help"}, test::InLanguage("en_US.UTF-8"));
    ASSERT_EQ(help.exitCode, 0);
    const size_t listBegin = help.out.find("\nCommands:\n");
    ASSERT_NE(listBegin, std::string::npos) << help.out;
    const std::string list =
        help.out.substr(listBegin, help.out.find("\n\n", listBegin + 1) - listBegin);
    for (const std::string& command : commands) {
        const std::string line = "\n  " + command;
        bool listed = false;
        for (size_t at = list.find(line); at != std::string::npos && !listed;
             at = list.find(line, at + 1)) {
            const size_t after = at + line.size();
            listed = after == list.size() || list[after] == ' ' || list[after] == '\n';
        }
        EXPECT_TRUE(listed) << command << " is missing from\n" << list;
    }
    // plan takes run's options and one of its own.
    EXPECT_NE(help.out.find("\nOptions of plan (every option of run"), std::string::npos);
    EXPECT_NE(help.out.find("\n  --json "), std::string::npos);
}

}  // namespace
}  // namespace korvale
