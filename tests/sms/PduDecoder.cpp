#include "PduDecoder.h"

#include <map>

namespace {

// The GSM 7-bit default alphabet, as far as ASCII reaches; 0 where the code is not ASCII.
char16_t BasicChar(int code) {
    if (code == 0x00)
        return u'@';
    if (code == 0x02)
        return u'$';
    if (code == 0x11)
        return u'_';
    if (code == 0x0A || code == 0x0D)
        return static_cast<char16_t>(code);
    if ((code >= 0x20 && code <= 0x23) || (code >= 0x25 && code <= 0x3F) ||
        (code >= 0x41 && code <= 0x5A) || (code >= 0x61 && code <= 0x7A))
        return static_cast<char16_t>(code);
    return 0;
}

char16_t ExtendedChar(int code) {
    switch (code) {
    case 0x14:
        return u'^';
    case 0x28:
        return u'{';
    case 0x29:
        return u'}';
    case 0x2F:
        return u'\\';
    case 0x3C:
        return u'[';
    case 0x3D:
        return u'~';
    case 0x3E:
        return u']';
    case 0x40:
        return u'|';
    default:
        return 0;
    }
}

std::optional<std::vector<int>> Octets(std::string_view hex) {
    if (hex.size() % 2)
        return std::nullopt;
    std::vector<int> out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (char c : hex.substr(i, 2)) {
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= c - '0';
            else if (c >= 'A' && c <= 'F')
                value |= c - 'A' + 10;
            else
                return std::nullopt;
        }
        out.push_back(value);
    }
    return out;
}

} // namespace

std::optional<DecodedSubmit> DecodeSubmit(std::string_view hex) {
    std::optional<std::vector<int>> bytes = Octets(hex);
    if (!bytes || bytes->empty())
        return std::nullopt;
    const std::vector<int>& o = *bytes;
    DecodedSubmit d;
    size_t at = 0;
    auto need = [&](size_t n) { return at + n <= o.size(); };
    d.serviceCentreLength = o[at++];
    at += d.serviceCentreLength;
    if (!need(3))
        return std::nullopt;
    const int first = o[at++];
    if ((first & 0x03) != 0x01 || (first & 0x18) != 0) // SUBMIT without validity period
        return std::nullopt;
    d.hasHeader = first & 0x40;
    ++at; // TP-MR
    const int digits = o[at++];
    if (!need(1 + (digits + 1) / 2 + 3))
        return std::nullopt;
    d.addressType = o[at++];
    for (int i = 0; i < digits; ++i) {
        int octet = o[at + i / 2];
        int nibble = i % 2 ? octet >> 4 : octet & 0x0F;
        if (nibble > 9)
            return std::nullopt;
        d.number.push_back(static_cast<char>('0' + nibble));
    }
    at += (digits + 1) / 2;
    if (o[at++] != 0) // TP-PID
        return std::nullopt;
    d.dcs = o[at++];
    d.udl = o[at++];
    std::vector<int> ud(o.begin() + at, o.end());

    size_t headerOctets = 0;
    if (d.hasHeader) {
        if (ud.empty() || static_cast<size_t>(ud[0]) + 1 > ud.size())
            return std::nullopt;
        headerOctets = ud[0] + 1;
        for (size_t i = 1; i + 1 < headerOctets;) {
            int id = ud[i], length = ud[i + 1];
            if (id == 0x00 && length == 3 && i + 4 < headerOctets) {
                d.reference = ud[i + 2];
                d.count = ud[i + 3];
                d.sequence = ud[i + 4];
            }
            i += 2 + length;
        }
    }
    if (d.dcs == 0x08) {
        if (static_cast<size_t>(d.udl) != ud.size() || (d.udl - headerOctets) % 2)
            return std::nullopt;
        for (size_t i = headerOctets; i + 1 < ud.size(); i += 2)
            d.text.push_back(static_cast<char16_t>(ud[i] << 8 | ud[i + 1]));
        return d;
    }
    if (d.dcs != 0x00)
        return std::nullopt;
    if (static_cast<size_t>((d.udl * 7 + 7) / 8) != ud.size())
        return std::nullopt;
    const size_t headerSeptets = (headerOctets * 8 + 6) / 7;
    bool escaped = false;
    for (size_t s = headerSeptets; s < static_cast<size_t>(d.udl); ++s) {
        int code = 0;
        for (int b = 0; b < 7; ++b) {
            size_t bit = s * 7 + b;
            if (ud[bit / 8] & (1 << (bit % 8)))
                code |= 1 << b;
        }
        if (escaped) {
            escaped = false;
            char16_t c = ExtendedChar(code);
            if (!c)
                return std::nullopt;
            d.text.push_back(c);
        } else if (code == 0x1B) {
            escaped = true;
        } else {
            char16_t c = BasicChar(code);
            if (!c && code != 0x00)
                return std::nullopt;
            d.text.push_back(code == 0x00 ? u'@' : c);
        }
    }
    if (escaped)
        return std::nullopt;
    return d;
}

std::optional<std::vector<std::u16string>> Reassemble(const std::vector<DecodedSubmit>& parts) {
    std::vector<std::u16string> texts;
    std::map<int, std::map<int, std::u16string>> pending;
    std::map<int, int> counts;
    for (const DecodedSubmit& part : parts) {
        if (part.reference < 0) {
            texts.push_back(part.text);
            continue;
        }
        if (!pending[part.reference].emplace(part.sequence, part.text).second)
            return std::nullopt;
        counts[part.reference] = part.count;
    }
    for (auto& [reference, byNumber] : pending) {
        if (static_cast<int>(byNumber.size()) != counts[reference])
            return std::nullopt;
        std::u16string text;
        int expected = 1;
        for (auto& [sequence, piece] : byNumber) {
            if (sequence != expected++)
                return std::nullopt;
            text += piece;
        }
        texts.push_back(text);
    }
    return texts;
}

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}
