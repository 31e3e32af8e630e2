// korvale-cli speaks the user's language: English for en*, Japanese for everything else
// (C included), for its own texts and for the engine's messages alike.
#include <gtest/gtest.h>

#include <string>

#include "CliRunner.h"
#include "TestFiles.h"

namespace korvale {
namespace {

using test::InLanguage;
using test::RunCli;

struct LanguageCase {
    const char* lang;
    const char* helpStart;
    const char* usageError;
    const char* tryHelp;
    const char* unreadableCount;
    const char* unreadableReason;
};

const LanguageCase kCases[] = {
    {"en_US.UTF-8", "Usage: korvale-cli COMMAND", "korvale-cli: unknown command 'bogus'",
     "Try 'korvale-cli --help'.", "1 file(s) could not be read.",
     "It could not be read as an image."},
    {"C.UTF-8", "使い方: korvale-cli コマンド", "korvale-cli: 'bogus' というコマンドはありません",
     "'korvale-cli --help' で使い方を表示できます。", "読み取れないファイルが 1 個ありました。",
     "画像として読み取れませんでした。"},
    {"ja_JP.UTF-8", "使い方: korvale-cli コマンド",
     "korvale-cli: 'bogus' というコマンドはありません",
     "'korvale-cli --help' で使い方を表示できます。", "読み取れないファイルが 1 個ありました。",
     "画像として読み取れませんでした。"},
};

TEST(CliLanguage, HelpUsageErrorsAndEngineMessagesFollowTheUserLanguage) {
    test::TempDir home;
    const std::string notAnImage = home.File("not-an-image.jpg");
    test::WriteFile(notAnImage, test::Bytes{'n', 'o'});
    for (const LanguageCase& c : kCases) {
        const auto help = RunCli({"--help"}, InLanguage(c.lang));
        EXPECT_EQ(help.exitCode, 0) << c.lang;
        EXPECT_EQ(help.out.rfind(c.helpStart, 0), 0u) << c.lang << "\n" << help.out;

        const auto usage = RunCli({"bogus"}, InLanguage(c.lang));
        EXPECT_EQ(usage.exitCode, 2) << c.lang;
        EXPECT_EQ(usage.err, std::string(c.usageError) + "\n" + c.tryHelp + "\n") << c.lang;

        const auto stats = RunCli({"stats", notAnImage}, InLanguage(c.lang));
        EXPECT_EQ(stats.err, std::string(c.unreadableCount) + "\n  " + notAnImage + ": " +
                                 c.unreadableReason + "\n")
            << c.lang;
    }
}

// A value refused inside a command module (which links Qt Core) is said in the same language
// as the main program's texts.
TEST(CliLanguage, ModuleUsageErrorsFollowTheUserLanguage) {
    const struct {
        const char* lang;
        const char* said;
    } cases[] = {
        {"en_US.UTF-8", "--method is resize, crop or dpi-only, not 'x'"},
        {"C.UTF-8",
         "--method は resize、crop、dpi-only のどれかで指定してください（'x' は指定できません）"},
    };
    for (const auto& c : cases) {
        const auto result = RunCli({"run", "--method", "x", "a.jpg"}, InLanguage(c.lang));
        EXPECT_EQ(result.exitCode, 2) << c.lang;
        EXPECT_NE(result.err.find(c.said), std::string::npos) << c.lang << "\n" << result.err;
    }
}

}  // namespace
}  // namespace korvale
