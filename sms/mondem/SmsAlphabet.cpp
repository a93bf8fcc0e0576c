#include "sms/mondem/SmsAlphabet.h"

#include <array>
#include <cerrno>
#include <iconv.h>

namespace {

constexpr std::uint8_t kEscape = 0x1B;
constexpr std::uint8_t kNone = 0xFF;
constexpr std::uint8_t kExtended = 0x80; // flag: the low bits are a code of the extension table

// GSM code of each ASCII character, or kNone.
constexpr std::array<std::uint8_t, 128> MakeGsmTable() {
    std::array<std::uint8_t, 128> table{};
    for (auto& code : table)
        code = kNone;
    table['\n'] = 0x0A;
    table['\r'] = 0x0D;
    for (int c = ' '; c <= 'z'; ++c)
        table[c] = static_cast<std::uint8_t>(c);
    // Where the default alphabet differs from ASCII.
    table['$'] = 0x02;
    table['@'] = 0x00;
    table['_'] = 0x11;
    table['`'] = kNone;
    table['['] = kExtended | 0x3C;
    table['\\'] = kExtended | 0x2F;
    table[']'] = kExtended | 0x3E;
    table['^'] = kExtended | 0x14;
    table['{'] = kExtended | 0x28;
    table['|'] = kExtended | 0x40;
    table['}'] = kExtended | 0x29;
    table['~'] = kExtended | 0x3D;
    return table;
}

constexpr std::array<std::uint8_t, 128> kGsmOfAscii = MakeGsmTable();

} // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
    std::u16string out;
    iconv_t cd = iconv_open("UTF-16BE", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // Without the converter only ASCII can be carried faithfully.
        for (unsigned char c : gbk)
            out.push_back(c < 0x80 ? c : u'?');
        return out;
    }
    char* in = const_cast<char*>(gbk.data());
    size_t inLeft = gbk.size();
    char buffer[1024];
    auto take = [&out, &buffer](const char* end) {
        for (const char* p = buffer; p + 1 < end; p += 2)
            out.push_back(static_cast<char16_t>((static_cast<unsigned char>(p[0]) << 8) |
                                                static_cast<unsigned char>(p[1])));
    };
    while (inLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        take(dst);
        if (rc != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        // An invalid or truncated sequence: mark it and resynchronise on the next byte.
        out.push_back(u'?');
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

std::string GbkToUtf8(std::string_view gbk) {
    const std::u16string units = GbkToUtf16(gbk);
    std::string out;
    out.reserve(units.size() * 3);
    for (size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = u'?'; // a lone surrogate has no UTF-8 form
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> ToGsm7(std::u16string_view text) {
    std::vector<std::uint8_t> septets;
    septets.reserve(text.size());
    for (char16_t c : text) {
        std::uint8_t code = c < 0x80 ? kGsmOfAscii[c] : kNone;
        if (code == kNone)
            return std::nullopt;
        if (code & kExtended) {
            septets.push_back(kEscape);
            septets.push_back(code & 0x7F);
        } else {
            septets.push_back(code);
        }
    }
    return septets;
}

std::vector<std::uint8_t> PackSeptets(const std::vector<std::uint8_t>& septets, int fillBits) {
    std::vector<std::uint8_t> octets((fillBits + 7 * septets.size() + 7) / 8, 0);
    size_t bit = fillBits;
    for (std::uint8_t septet : septets) {
        for (int i = 0; i < 7; ++i, ++bit)
            if (septet & (1 << i))
                octets[bit / 8] |= static_cast<std::uint8_t>(1 << (bit % 8));
    }
    return octets;
}
