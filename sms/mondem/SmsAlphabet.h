#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The two alphabets a message body can travel in.

// GBK (read as GB18030, its superset, so every GBK byte pair decodes the same) to UTF-16 code
// units, the form UCS-2 messages carry. A byte that does not start a valid character becomes "?"
// and the conversion goes on; the result never depends on the process locale.
std::u16string GbkToUtf16(std::string_view gbk);

// GBK to UTF-8, as GbkToUtf16 reads it.
std::string GbkToUtf8(std::string_view gbk);

// The septets of `text` in the GSM 7-bit default alphabet: one septet per character, two (escape
// 0x1B, then the code) for the characters of the extension table ("[", "]", "{", "}", "\", "^",
// "|", "~"). nullopt when some character has no place there: everything outside printable ASCII
// except line feed and carriage return, and "`". Such texts go out as UCS-2.
std::optional<std::vector<std::uint8_t>> ToGsm7(std::u16string_view text);

// Packs septets into octets, least significant bit first (3GPP TS 23.038), after `fillBits` zero
// bits (0..6) that align the first septet when a user data header precedes it.
std::vector<std::uint8_t> PackSeptets(const std::vector<std::uint8_t>& septets, int fillBits = 0);
