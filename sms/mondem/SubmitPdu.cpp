#include "sms/mondem/SubmitPdu.h"

#include "sms/mondem/SmsAlphabet.h"

#include <algorithm>
#include <optional>

namespace {

constexpr std::uint8_t kSubmit = 0x01;     // TP-MTI SMS-SUBMIT, no validity period
constexpr std::uint8_t kHeaderFlag = 0x40; // TP-UDHI: the body starts with a header
constexpr std::uint8_t kDcsGsm7 = 0x00;
constexpr std::uint8_t kDcsUcs2 = 0x08;
constexpr std::uint8_t kInternational = 0x91;
constexpr std::uint8_t kUnknownType = 0x81; // national numbers as dialled, ISDN numbering plan
constexpr int kHeaderOctets = 6;            // length, then element 00 of 3 octets

void AppendHex(std::string& out, std::uint8_t octet) {
    static const char digits[] = "0123456789ABCDEF";
    out.push_back(digits[octet >> 4]);
    out.push_back(digits[octet & 0x0F]);
}

// TP-DA: digit count, type of address, digits as swapped semi-octets padded with F.
void AppendAddress(std::string& out, std::string_view number) {
    const bool international = !number.empty() && number.front() == '+';
    if (international)
        number.remove_prefix(1);
    AppendHex(out, static_cast<std::uint8_t>(number.size()));
    AppendHex(out, international ? kInternational : kUnknownType);
    for (size_t i = 0; i < number.size(); i += 2) {
        out.push_back(i + 1 < number.size() ? number[i + 1] : 'F');
        out.push_back(number[i]);
    }
}

struct Body {
    std::vector<std::uint8_t> userData; // header (if any) and packed body
    int udl = 0;                        // septets for 7-bit, octets for UCS-2
};

std::vector<std::uint8_t> ConcatenationHeader(std::uint8_t reference, int count, int sequence) {
    return {kHeaderOctets - 1,
            0x00,
            0x03,
            reference,
            static_cast<std::uint8_t>(count),
            static_cast<std::uint8_t>(sequence)};
}

SubmitPdu Assemble(std::string_view number, std::uint8_t dcs, bool hasHeader, const Body& body) {
    SubmitPdu pdu;
    pdu.hex = "00"; // no service-centre address: the SIM's is used
    AppendHex(pdu.hex, kSubmit | (hasHeader ? kHeaderFlag : 0));
    AppendHex(pdu.hex, 0x00); // TP-MR, replaced by the modem
    AppendAddress(pdu.hex, number);
    AppendHex(pdu.hex, 0x00); // TP-PID
    AppendHex(pdu.hex, dcs);
    AppendHex(pdu.hex, static_cast<std::uint8_t>(body.udl));
    for (std::uint8_t octet : body.userData)
        AppendHex(pdu.hex, octet);
    pdu.tpduLength = static_cast<int>(pdu.hex.size() / 2) - 1;
    return pdu;
}

// Splits [0, size) into runs of at most `limit` units; `splittable(i)` says whether a part may
// begin at unit i.
template <typename CanStartAt>
std::vector<std::pair<size_t, size_t>> Split(size_t size, size_t limit, CanStartAt splittable) {
    std::vector<std::pair<size_t, size_t>> runs;
    size_t begin = 0;
    while (begin < size) {
        size_t end = std::min(size, begin + limit);
        if (end < size && !splittable(end))
            --end; // never happens twice: an escape or a surrogate pair is two units long
        runs.emplace_back(begin, end);
        begin = end;
    }
    return runs;
}

std::vector<SubmitPdu> EncodeGsm7(std::string_view number, const std::vector<std::uint8_t>& septets,
                                  std::uint8_t reference) {
    if (septets.size() <= static_cast<size_t>(kSingleSeptets))
        return {Assemble(number, kDcsGsm7, false,
                         {PackSeptets(septets), static_cast<int>(septets.size())})};
    auto runs =
        Split(septets.size(), kPartSeptets, [&](size_t i) { return septets[i - 1] != 0x1B; });
    if (runs.size() > static_cast<size_t>(kMaxParts))
        return {};
    std::vector<SubmitPdu> parts;
    for (size_t n = 0; n < runs.size(); ++n) {
        std::vector<std::uint8_t> chunk(septets.begin() + runs[n].first,
                                        septets.begin() + runs[n].second);
        // The header takes 48 bits; one fill bit brings the body to a septet boundary.
        Body body{
            ConcatenationHeader(reference, static_cast<int>(runs.size()), static_cast<int>(n + 1)),
            static_cast<int>(7 + chunk.size())};
        std::vector<std::uint8_t> packed = PackSeptets(chunk, 1);
        body.userData.insert(body.userData.end(), packed.begin(), packed.end());
        parts.push_back(Assemble(number, kDcsGsm7, true, body));
    }
    return parts;
}

void AppendUnits(std::vector<std::uint8_t>& out, std::u16string_view units) {
    for (char16_t unit : units) {
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    }
}

std::vector<SubmitPdu> EncodeUcs2(std::string_view number, std::u16string_view text,
                                  std::uint8_t reference) {
    if (text.size() <= static_cast<size_t>(kSingleUcs2Units)) {
        Body body;
        AppendUnits(body.userData, text);
        body.udl = static_cast<int>(body.userData.size());
        return {Assemble(number, kDcsUcs2, false, body)};
    }
    auto isLowSurrogate = [](char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    auto runs =
        Split(text.size(), kPartUcs2Units, [&](size_t i) { return !isLowSurrogate(text[i]); });
    if (runs.size() > static_cast<size_t>(kMaxParts))
        return {};
    std::vector<SubmitPdu> parts;
    for (size_t n = 0; n < runs.size(); ++n) {
        Body body{
            ConcatenationHeader(reference, static_cast<int>(runs.size()), static_cast<int>(n + 1)),
            0};
        AppendUnits(body.userData, text.substr(runs[n].first, runs[n].second - runs[n].first));
        body.udl = static_cast<int>(body.userData.size());
        parts.push_back(Assemble(number, kDcsUcs2, true, body));
    }
    return parts;
}

} // namespace

bool IsValidNumber(std::string_view number) {
    if (!number.empty() && number.front() == '+')
        number.remove_prefix(1);
    if (number.empty() || number.size() > 20)
        return false;
    for (char c : number)
        if (c < '0' || c > '9')
            return false;
    return true;
}

std::vector<SubmitPdu> EncodeSubmit(std::string_view number, std::u16string_view text,
                                    std::uint8_t reference) {
    if (std::optional<std::vector<std::uint8_t>> septets = ToGsm7(text))
        return EncodeGsm7(number, *septets, reference);
    return EncodeUcs2(number, text, reference);
}
