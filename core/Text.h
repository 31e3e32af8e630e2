// Small text helpers shared by every layer: printf-style formatting, atoi-style number reading,
// ASCII case folding and the parts of a "/"-separated path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvale {

// snprintf into a std::string; used for the system's fixed "%d" / "%u " texts.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

struct ParsedInt {
    int32_t value = 0;
    bool outOfRange = false;  // the digits did not fit a signed 32-bit integer
};

// Reads a number the way C's atoi does (leading white space, an optional sign, then digits up to
// the first non-digit; 0 when there are none), but clamps to the nearest 32-bit limit instead of
// overflowing and says so.
ParsedInt ParseLeadingInt(std::string_view text);

char AsciiToLower(char c);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);
// Byte-wise order with ASCII letters folded to lower case; bytes 0x80 and above compare as
// unsigned bytes.
int CompareIgnoreAsciiCase(std::string_view a, std::string_view b);

// The part after the last "/" (the whole text when there is none).
std::string_view FileNameOf(std::string_view path);
// The part up to and including the last "/" (empty when there is none).
std::string FolderOf(std::string_view path);
// ASCII letters folded to lower case, as file systems that ignore case compare names.
std::string FoldedAscii(std::string_view text);

// FNV-1a, 64 bits (offset basis 14695981039346656037, prime 1099511628211), over the bytes as
// they are: the stable hash that splits a list into shards.
uint64_t Fnv1a64(std::string_view bytes);

// A name with its backslashes, tabs and line ends escaped ("\\", "\t", "\n", "\r"), so that
// it stays on one line of a message or a tab-separated listing.
std::string EscapedName(std::string_view name);

// True when the text after the last "." of `path` equals `extension` ignoring ASCII case.
bool HasExtension(std::string_view path, std::string_view extension);

}  // namespace korvale
