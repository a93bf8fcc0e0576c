#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads an SMS-SUBMIT PDU the way a receiving network would, written apart from the encoder so
// the tests do not check the encoder against itself.
struct DecodedSubmit {
    int serviceCentreLength = 0;
    bool hasHeader = false;
    int addressType = 0;
    std::string number; // digits, without "+"
    int dcs = 0;
    int udl = 0;
    // Concatenation element, when present.
    int reference = -1, count = 0, sequence = 0;
    std::u16string text;
};

// nullopt when the hex is not a well-formed SUBMIT.
std::optional<DecodedSubmit> DecodeSubmit(std::string_view hex);

// Joins the parts of concatenated messages (by reference, in sequence order) and leaves single
// messages as they are; nullopt when a part is missing or numbered twice.
std::optional<std::vector<std::u16string>> Reassemble(const std::vector<DecodedSubmit>& parts);

std::string ToUtf8(std::u16string_view text);
