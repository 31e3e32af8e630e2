// JSON text for korvale-cli's machine-read output (plan --json, run --json).
#pragma once

#include <string>

namespace korvale::cli {

// A JSON string: file names are bytes, so a byte that is not UTF-8 shows as U+FFFD.
std::string JsonString(const std::string& text);

bool IsUtf8(const std::string& text);

// Standard base64 (RFC 4648) with padding.
std::string Base64(const std::string& bytes);

// `"key": "<path>"`, and when the path is not UTF-8 also `, "keyBytes": "<base64>"`, so that a
// program gets the exact bytes back where the readable string had to replace some.
std::string JsonPathFields(const std::string& key, const std::string& path);

}  // namespace korvale::cli
