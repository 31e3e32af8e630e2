// A table of translations compiled from a .qm file at build time, so that a program without Qt
// (korvale-cli's main program) says its texts in the user's language too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Marks a text for lupdate; the text itself is the source of its translation.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace korvale {

struct TranslationEntry {
    const char* source;
    const char* translation;
};

// Entries sorted by source, byte by byte.
struct TranslationTable {
    const TranslationEntry* entries;
    size_t count;
};

// The translation of `source`, or nullptr when the table has none.
const char* Lookup(const TranslationTable& table, std::string_view source);

// `pattern` with %1 to %9 replaced by the arguments (a missing one by nothing); "%%" is "%".
std::string Substitute(std::string_view pattern, const std::vector<std::string>& args);

}  // namespace korvale
