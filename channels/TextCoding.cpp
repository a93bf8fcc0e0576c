#include "channels/TextCoding.h"

#include <cstdio>

namespace TextCoding {

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[v >> 18];
        out += kDigits[v >> 12 & 63];
        out += kDigits[v >> 6 & 63];
        out += kDigits[v & 63];
    }
    if (const std::size_t rest = bytes.size() - i; rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kDigits[v >> 18];
        out += kDigits[v >> 12 & 63];
        out += rest == 2 ? kDigits[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::string HeaderWords(std::string_view utf8, std::string_view separator) {
    bool plain = utf8.find("=?") == std::string_view::npos;
    for (unsigned char c : utf8)
        plain = plain && c >= 0x20 && c < 0x7f;
    if (plain)
        return std::string(utf8);
    // 45 bytes give 60 base64 characters, 72 with the word's frame.
    constexpr std::size_t kChunk = 45;
    std::string out;
    while (!utf8.empty()) {
        std::size_t length = std::min(kChunk, utf8.size());
        // Back off to the start of a character.
        while (length < utf8.size() && length > 0 &&
               (static_cast<unsigned char>(utf8[length]) & 0xC0) == 0x80)
            --length;
        if (length == 0)
            length = std::min(kChunk, utf8.size());
        if (!out.empty())
            out += separator;
        out += "=?UTF-8?B?" + Base64(utf8.substr(0, length)) + "?=";
        utf8.remove_prefix(length);
    }
    return out;
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

} // namespace TextCoding
