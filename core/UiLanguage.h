// The language the user interface speaks, from the user's locale settings.
#pragma once

#include <functional>
#include <string>

namespace korvale {

enum class UiLanguage { Japanese, English };

// LANGUAGE, LC_ALL, LC_MESSAGES and LANG, in that order, decide: the first one set and not
// empty wins (LANGUAGE may list several, separated by ":"; its first entry counts). English for
// "en", "en_US.UTF-8" and the like; Japanese for everything else, "C" and "POSIX" included, so
// that a Japanese desktop and a bare shell both see the program's own Japanese texts.
UiLanguage UiLanguageFrom(const std::function<const char*(const char*)>& getVariable);
// The same, from this process's environment.
UiLanguage UiLanguageOfUser();

// "en" or "ja": the suffix of the translation files.
const char* UiLanguageCode(UiLanguage language);

}  // namespace korvale
