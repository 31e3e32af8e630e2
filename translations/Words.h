// The words of the domain's messages, in Japanese (the texts as the program has always said
// them) and in English, and korvale-cli's own texts, in English and in Japanese.
#pragma once

#include <string>
#include <vector>

#include "Message.h"
#include "TranslationTable.h"  // QT_TRANSLATE_NOOP
#include "UiLanguage.h"

namespace korvale {

// The language of this process's texts: the user's, read once.
UiLanguage ShownLanguage();

// The words of `message` in `language`.
std::string Words(const Message& message, UiLanguage language);
inline std::string Words(const Message& message) {
    return Words(message, ShownLanguage());
}

// The Japanese text of `id`, with its %1... unfilled: the source of its translation.
const char* JapaneseSource(MessageId id);

// korvale-cli's own texts have English sources, marked with
// QT_TRANSLATE_NOOP("korvale-cli", ...) for lupdate: their words in the shown language.
const char* CliText(const char* english);
std::string CliText(const char* english, const std::vector<std::string>& args);

}  // namespace korvale
