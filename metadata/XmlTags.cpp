// Start tags of XML as XMP writers make it.
#include "XmlTags.h"

namespace korvale {
namespace {

bool IsNameChar(char c) {
    return !IsXmlSpace(c) && c != '=' && c != '>' && c != '/' && c != '<' && c != '"' && c != '\'';
}

}  // namespace

bool IsXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::optional<StartTag> ParseStartTag(std::string_view text, size_t at) {
    StartTag tag;
    size_t i = at + 1;
    const size_t nameFrom = i;
    while (i < text.size() && IsNameChar(text[i])) {
        ++i;
    }
    tag.name = text.substr(nameFrom, i - nameFrom);
    if (tag.name.empty()) {
        return std::nullopt;
    }
    for (;;) {
        while (i < text.size() && IsXmlSpace(text[i])) {
            ++i;
        }
        if (i >= text.size()) {
            return std::nullopt;
        }
        if (text[i] == '>') {
            tag.end = i + 1;
            return tag;
        }
        if (text[i] == '/') {
            if (i + 1 >= text.size() || text[i + 1] != '>') {
                return std::nullopt;
            }
            tag.selfClosing = true;
            tag.end = i + 2;
            return tag;
        }
        Attribute attribute;
        const size_t from = i;
        while (i < text.size() && IsNameChar(text[i])) {
            ++i;
        }
        attribute.name = text.substr(from, i - from);
        while (i < text.size() && IsXmlSpace(text[i])) {
            ++i;
        }
        if (attribute.name.empty() || i >= text.size() || text[i] != '=') {
            return std::nullopt;
        }
        ++i;
        while (i < text.size() && IsXmlSpace(text[i])) {
            ++i;
        }
        if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) {
            return std::nullopt;
        }
        attribute.quote = text[i];
        const size_t close = text.find(attribute.quote, i + 1);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        attribute.value = text.substr(i + 1, close - i - 1);
        if (attribute.value.find('<') != std::string_view::npos) {
            return std::nullopt;
        }
        tag.attributes.push_back(attribute);
        i = close + 1;
    }
}

std::pair<std::string_view, std::string_view> SplitName(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos
               ? std::pair(std::string_view{}, name)
               : std::pair(name.substr(0, colon), name.substr(colon + 1));
}

}  // namespace korvale
