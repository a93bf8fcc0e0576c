#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Parses the program's one textual form of a 32-bit signed integer, shared by the INI reader,
// the interval field and the settings dialog's port check:
//   any number of leading space bytes (0x20 only), then either
//   - an optional "+" or "-" and one or more decimal digits (leading zeros allowed, no octal),
//     within -2147483648..2147483647, or
//   - a prefix "$", "x", "X", "0x" or "0X" (no sign) and one or more hexadecimal digits of either
//     case, at most 32 significant bits, read as a two's-complement pattern ($FFFFFFFF is -1);
//   and nothing after the digits.
// Returns nullopt for anything else; the caller's fallback then applies.
std::optional<std::int32_t> ParseIntegerText(std::string_view text);
