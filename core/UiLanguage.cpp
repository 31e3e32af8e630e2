#include "UiLanguage.h"

#include <cstdlib>
#include <string_view>

namespace korvale {

UiLanguage UiLanguageFrom(const std::function<const char*(const char*)>& getVariable) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getVariable(name);
        if (value == nullptr || *value == '\0')
            continue;
        std::string_view first(value);
        first = first.substr(0, first.find(':'));
        // "en" itself, or "en" followed by a territory, codeset or modifier.
        const bool english =
            first.substr(0, 2) == "en" && (first.size() == 2 || first[2] == '_' ||
                                           first[2] == '.' || first[2] == '@' || first[2] == '-');
        return english ? UiLanguage::English : UiLanguage::Japanese;
    }
    return UiLanguage::Japanese;
}

UiLanguage UiLanguageOfUser() {
    return UiLanguageFrom([](const char* name) { return std::getenv(name); });
}

const char* UiLanguageCode(UiLanguage language) {
    return language == UiLanguage::English ? "en" : "ja";
}

}  // namespace korvale
