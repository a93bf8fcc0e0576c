#pragma once

#include <string>
#include <string_view>

// The small encodings the channels' messages need. Pure functions.
namespace TextCoding {

// Base64 (RFC 4648, with padding), in one line.
std::string Base64(std::string_view bytes);
// `utf8` as one or more RFC 2047 encoded words (=?UTF-8?B?...?=), each at most 75 characters
// and none splitting a character, joined by `separator`. ASCII text without "=?" comes back
// unchanged.
std::string HeaderWords(std::string_view utf8, std::string_view separator);
// A JSON string literal, quotes included: ", \ and control characters escaped; other bytes
// (UTF-8) as they are.
std::string JsonString(std::string_view utf8);

} // namespace TextCoding
