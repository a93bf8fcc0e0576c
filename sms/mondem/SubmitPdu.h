#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One SMS-SUBMIT as the modem takes it after AT+CMGS in PDU mode.
struct SubmitPdu {
    std::string hex;    // upper-case hex: a zero service-centre length, then the TPDU
    int tpduLength = 0; // octets after the service-centre part: the number AT+CMGS wants
};

// Largest bodies of a single message and of one part of a concatenated one.
inline constexpr int kSingleSeptets = 160;
inline constexpr int kPartSeptets = 153; // 160 less the 7 septets of the concatenation header
inline constexpr int kSingleUcs2Units = 70;
inline constexpr int kPartUcs2Units = 67; // 140 octets less the 6-octet header, in 16-bit units
inline constexpr int kMaxParts = 255;

// True when `number` is a destination the encoder takes: an optional "+" (international
// number) followed by 1 to 20 decimal digits.
bool IsValidNumber(std::string_view number);

// Encodes `text` (UTF-16) for `number` (IsValidNumber must hold) as one SMS-SUBMIT, or as a
// concatenated message of numbered parts when it does not fit one. The body uses the GSM 7-bit
// alphabet when every character has a place in it, UCS-2 otherwise. The service centre is left to
// the one stored in the SIM, no validity period is set, and the modem assigns message references.
// `reference` identifies the parts of one concatenated message (8-bit reference element). Parts
// never split a surrogate pair or a 7-bit escape sequence. Returns an empty vector when the text
// would need more than kMaxParts parts.
std::vector<SubmitPdu> EncodeSubmit(std::string_view number, std::u16string_view text,
                                    std::uint8_t reference);
