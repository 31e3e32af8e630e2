// Start tags of XML as XMP writers make it, read in place: names, attributes as written.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace korvale {

struct Attribute {
    std::string_view name;
    std::string_view value;  // as written, entities and all
    char quote = '"';
};

struct StartTag {
    std::string_view name;
    std::vector<Attribute> attributes;
    bool selfClosing = false;
    size_t end = 0;  // one past its '>'
};

bool IsXmlSpace(char c);

// The start tag whose '<' is at `at`; nullopt when it is malformed.
std::optional<StartTag> ParseStartTag(std::string_view text, size_t at);

// "prefix:local" as its prefix (empty when there is none) and its local name.
std::pair<std::string_view, std::string_view> SplitName(std::string_view name);

}  // namespace korvale
