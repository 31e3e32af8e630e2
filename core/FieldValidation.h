// Checks of typed number and text fields, with the prompts shown when a field is
// refused. Every dialog validates through these, so the prompts read alike everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Message.h"

namespace korvale {

// The prompts, in the manner of a dialog framework's standard ones.
Message PromptInteger();
Message PromptUnsignedInteger();
Message PromptIntegerRange(int64_t low, int64_t high);
Message PromptMaxLength(size_t maxCharacters);
Message PromptMaxBytes(size_t maxBytes);

// A field holding a whole number: optional blanks, an optional sign, at least one digit and
// optional blanks, nothing else. Returns std::nullopt and sets `value` when the number lies in
// [low, high]; otherwise the prompt to show (an empty field is not an integer).
std::optional<Message> CheckIntField(std::string_view text, int32_t low, int32_t high,
                                     int32_t& value);
// The same for a field that takes no sign other than "+".
std::optional<Message> CheckUnsignedField(std::string_view text, uint32_t low, uint32_t high,
                                          uint32_t& value);

// Characters (UTF-8 code points), not bytes.
size_t CountCharacters(std::string_view utf8);
std::optional<Message> CheckTextLength(std::string_view text, size_t maxCharacters);
// Bytes of UTF-8, for limits that count bytes (a Japanese character takes three).
std::optional<Message> CheckByteLength(std::string_view text, size_t maxBytes);

}  // namespace korvale
