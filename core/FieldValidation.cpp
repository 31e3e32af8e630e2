// Checks of typed number and text fields, and their prompts.
#include "FieldValidation.h"

#include "Text.h"

namespace korvale {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

struct FieldNumber {
    bool wellFormed = false;
    bool negative = false;
    bool tooLong = false;  // beyond any range a field accepts
    uint64_t magnitude = 0;
};

FieldNumber ReadFieldNumber(std::string_view text) {
    FieldNumber number;
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        number.negative = text[i] == '-';
        ++i;
    }
    const size_t digitsStart = i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (number.magnitude > (uint64_t{1} << 40)) {
            number.tooLong = true;  // keeps the sum from overflowing; far outside every range
        } else {
            number.magnitude = number.magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        }
    }
    const bool hasDigits = i > digitsStart;
    while (i < text.size() && IsBlank(text[i])) {
        ++i;
    }
    number.wellFormed = hasDigits && i == text.size();
    return number;
}

}  // namespace

Message PromptInteger() {
    return Message(MessageId::EnterInteger);
}

Message PromptUnsignedInteger() {
    return Message(MessageId::EnterNonNegativeInteger);
}

Message PromptIntegerRange(int64_t low, int64_t high) {
    return Message(MessageId::EnterIntegerInRange, {Number(low), Number(high)});
}

Message PromptMaxLength(size_t maxCharacters) {
    return Message(MessageId::EnterAtMostCharacters,
                   {Number(static_cast<long long>(maxCharacters))});
}

Message PromptMaxBytes(size_t maxBytes) {
    return Message(MessageId::EnterAtMostBytes, {Number(static_cast<long long>(maxBytes))});
}

std::optional<Message> CheckIntField(std::string_view text, int32_t low, int32_t high,
                                     int32_t& value) {
    const FieldNumber number = ReadFieldNumber(text);
    if (!number.wellFormed) {
        return PromptInteger();
    }
    const int64_t signedValue = number.negative ? -static_cast<int64_t>(number.magnitude)
                                                : static_cast<int64_t>(number.magnitude);
    if (number.tooLong || signedValue < low || signedValue > high) {
        return PromptIntegerRange(low, high);
    }
    value = static_cast<int32_t>(signedValue);
    return std::nullopt;
}

std::optional<Message> CheckUnsignedField(std::string_view text, uint32_t low, uint32_t high,
                                          uint32_t& value) {
    const FieldNumber number = ReadFieldNumber(text);
    if (!number.wellFormed) {
        return PromptInteger();
    }
    if (number.negative) {
        return PromptUnsignedInteger();
    }
    if (number.tooLong || number.magnitude < low || number.magnitude > high) {
        return PromptIntegerRange(low, high);
    }
    value = static_cast<uint32_t>(number.magnitude);
    return std::nullopt;
}

size_t CountCharacters(std::string_view utf8) {
    size_t count = 0;
    for (char c : utf8) {
        // Continuation bytes (10xxxxxx) belong to the character before them.
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

std::optional<Message> CheckTextLength(std::string_view text, size_t maxCharacters) {
    if (CountCharacters(text) > maxCharacters) {
        return PromptMaxLength(maxCharacters);
    }
    return std::nullopt;
}

std::optional<Message> CheckByteLength(std::string_view text, size_t maxBytes) {
    if (text.size() > maxBytes) {
        return PromptMaxBytes(maxBytes);
    }
    return std::nullopt;
}

}  // namespace korvale
