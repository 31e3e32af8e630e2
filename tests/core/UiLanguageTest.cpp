#include "UiLanguage.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace korvale {
namespace {

TEST(UiLanguageTest, FollowsTheFirstSetLocaleVariable) {
    const struct {
        std::map<std::string, std::string> environment;
        UiLanguage expected;
    } cases[] = {
        {{}, UiLanguage::Japanese},
        {{{"LANG", "en_US.UTF-8"}}, UiLanguage::English},
        {{{"LANG", "en"}}, UiLanguage::English},
        {{{"LANG", "en_GB@euro"}}, UiLanguage::English},
        {{{"LANG", "ja_JP.UTF-8"}}, UiLanguage::Japanese},
        {{{"LANG", "C.UTF-8"}}, UiLanguage::Japanese},
        {{{"LANG", "C"}}, UiLanguage::Japanese},
        {{{"LANG", "POSIX"}}, UiLanguage::Japanese},
        {{{"LANG", "de_DE.UTF-8"}}, UiLanguage::Japanese},
        {{{"LANG", "english"}}, UiLanguage::Japanese},
        // Earlier variables win over later ones; an empty one is passed over.
        {{{"LC_MESSAGES", "en_US.UTF-8"}, {"LANG", "ja_JP.UTF-8"}}, UiLanguage::English},
        {{{"LC_ALL", "ja_JP.UTF-8"}, {"LC_MESSAGES", "en_US.UTF-8"}}, UiLanguage::Japanese},
        {{{"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}}, UiLanguage::English},
        {{{"LANGUAGE", "en_GB:ja"}, {"LC_ALL", "ja_JP.UTF-8"}}, UiLanguage::English},
        {{{"LANGUAGE", "ja:en"}, {"LANG", "en_US.UTF-8"}}, UiLanguage::Japanese},
    };
    for (const auto& c : cases) {
        const UiLanguage got = UiLanguageFrom([&](const char* name) -> const char* {
            const auto found = c.environment.find(name);
            return found == c.environment.end() ? nullptr : found->second.c_str();
        });
        std::string shown;
        for (const auto& [name, value] : c.environment)
            shown += name + "=" + value + " ";
        EXPECT_EQ(got, c.expected) << shown;
    }
}

}  // namespace
}  // namespace korvale
