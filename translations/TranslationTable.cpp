#include "TranslationTable.h"

#include <algorithm>

namespace korvale {

const char* Lookup(const TranslationTable& table, std::string_view source) {
    const TranslationEntry* end = table.entries + table.count;
    const TranslationEntry* found = std::lower_bound(
        table.entries, end, source, [](const TranslationEntry& entry, std::string_view wanted) {
            return std::string_view(entry.source) < wanted;
        });
    return found != end && std::string_view(found->source) == source ? found->translation : nullptr;
}

std::string Substitute(std::string_view pattern, const std::vector<std::string>& args) {
    std::string out;
    out.reserve(pattern.size());
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size()) {
            const char next = pattern[i + 1];
            if (next >= '1' && next <= '9') {
                const size_t index = static_cast<size_t>(next - '1');
                if (index < args.size()) {
                    out += args[index];
                }
                ++i;
                continue;
            }
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += pattern[i];
    }
    return out;
}

}  // namespace korvale
