// korvale-cli presets and options, run in a home of their own.
#include <gtest/gtest.h>

#include <filesystem>

#include "CliRunner.h"
#include "TestFiles.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

void WriteText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    test::WriteFile(path, test::Bytes(text.begin(), text.end()));
}

std::string ReadText(const std::string& path) {
    const test::Bytes bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

class CliHome : public ::testing::Test {
protected:
    CliHome() {
        options.env = {{"HOME", dir.path()},
                       {"XDG_DATA_HOME", dir.File("data")},
                       {"XDG_CONFIG_HOME", dir.File("config")}};
    }
    std::string PresetFile() const { return dir.File("data/Brenvik/Korvale/KVPreset.csv"); }
    std::string SettingsFile() const { return dir.File("config/Brenvik/korvale.conf"); }

    test::TempDir dir;
    test::CliOptions options;
};

TEST_F(CliHome, PresetsFirstRunCopiesTheDefaultFile) {
    const auto result = test::RunCli({"presets"}, options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.rfind("0\tA4 300dpi\t2480\t3508\t300\n", 0), 0u) << result.out;
    const std::string defaults = ReadText(KORVALE_DEFAULT_PRESETS);
    EXPECT_EQ(ReadText(PresetFile()), defaults);
    const auto lines = [](const std::string& text) {
        return std::count(text.begin(), text.end(), '\n');
    };
    EXPECT_EQ(lines(result.out), lines(defaults));
}

TEST_F(CliHome, PresetsShowLoadProblemsOnStandardError) {
    WriteText(PresetFile(), "\"tab\there\",100,200,300\n\"two\nlines\\\",32,32,0\nbad\n");
    const auto result = test::RunCli({"presets"}, options);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "0\ttab\\there\t100\t200\t300\n1\ttwo\\nlines\\\\\t32\t32\t0\n");
    EXPECT_EQ(result.err, "プリセットデータの読み出しでエラーが発生しました。（1 回）\n");
}

TEST_F(CliHome, OptionsFollowTheReadRulesAndLeaveTheStoreAlone) {
    WriteText(PresetFile(), "\"A\",100,100,100\n\"B\",200,200,200\n");
    const std::string settings =
        "[Settings]\nMode=3\nIP=2\nCrop=9\nSpG=300\nSizeX=31\nSizeY=65535\nDPI=0\nPreset=3\n"
        "Format=1\nJQ=101\nFolder=/tmp/出力\n";
    WriteText(SettingsFile(), settings);
    const auto result = test::RunCli({"options"}, options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out,
              "Mode=1\nIP=2\nHoldAspect=0\nCrop=4\nSpR=255\nSpG=255\nSpB=255\nApplySizeX=1\n"
              "ApplySizeY=1\nApplyDPI=1\nSizeX=2480\nSizeY=65535\nDPI=0\nPreset=0\nFormat=1\n"
              "JQ=95\nFolder=/tmp/出力\nDpiOnly=0\nMetadata=1\n");
    EXPECT_EQ(ReadText(SettingsFile()), settings);
}

TEST_F(CliHome, OptionsNeverCreateTheStore) {
    WriteText(PresetFile(), "");
    const auto result = test::RunCli({"options"}, options);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out,
              "Mode=0\nIP=4\nHoldAspect=0\nCrop=4\nSpR=255\nSpG=255\nSpB=255\nApplySizeX=1\n"
              "ApplySizeY=1\nApplyDPI=1\nSizeX=2480\nSizeY=3508\nDPI=300\nPreset=0\nFormat=2\n"
              "JQ=95\nFolder=\nDpiOnly=0\nMetadata=1\n");
    EXPECT_FALSE(fs::exists(dir.File("config")));
    EXPECT_FALSE(fs::exists(dir.File(".config")));
}

TEST(CliOptionUsage, ArgumentsAreRefused) {
    for (const char* command : {"presets", "options"}) {
        const auto result = test::RunCli({command, "extra"});
        EXPECT_EQ(result.exitCode, 2) << command;
        EXPECT_EQ(result.out, "") << command;
    }
}

}  // namespace
}  // namespace korvale
