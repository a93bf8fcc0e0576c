#pragma once

#include <string>
#include <string_view>

// Conversions between the program's internal text (GBK bytes) and UTF-8. Bytes that are not
// valid in the source encoding become U+FFFD (to UTF-8) or "?" (to GBK); nothing is dropped
// silently and no call fails.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

// Upper-cases ASCII letters of GBK text without ever touching the second byte of a double-byte
// character (which may have the code of an ASCII letter). The length never changes.
std::string GbkUpperCase(std::string_view gbk);

// True when `text` holds ASCII bytes only.
bool IsAscii(std::string_view text);
