// Messages compared with the Japanese words a Japanese user sees, in the tests' assertions.
#pragma once

#include <ostream>
#include <string>

#include "Message.h"
#include "Words.h"

namespace korvale {

inline std::string Japanese(const Message& message) {
    return Words(message, UiLanguage::Japanese);
}
inline bool operator==(const Message& message, const std::string& words) {
    return Japanese(message) == words;
}
inline bool operator!=(const Message& message, const std::string& words) {
    return !(message == words);
}
inline bool operator==(const Message& message, const char* words) {
    return Japanese(message) == words;
}
inline void PrintTo(const Message& message, std::ostream* out) {
    *out << Japanese(message);
}

}  // namespace korvale
