#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Letter-case folding of GBK byte strings, as the string lists compare names: ASCII a-z fold to
// A-Z, and the byte after a GBK lead byte (0x81..0xFE) is never folded, even when it has the
// code of an ASCII letter. Folding never changes a length, so no folded copy is needed.
namespace textfold {

inline bool IsLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

inline unsigned char UpperAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Calls `visit(byte)` with each byte of `text` as the folded comparison sees it.
template <typename Visit> inline void ForEachFolded(std::string_view text, Visit&& visit) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (IsLeadByte(p[i]) && i + 1 < n) {
            visit(p[i]);
            visit(p[++i]);
        } else {
            visit(UpperAscii(p[i]));
        }
    }
}

inline bool Equal(std::string_view a, std::string_view b, bool caseSensitive) {
    if (a.size() != b.size())
        return false;
    if (caseSensitive)
        return a == b;
    const auto* p = reinterpret_cast<const unsigned char*>(a.data());
    const auto* q = reinterpret_cast<const unsigned char*>(b.data());
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(p[i]) && i + 1 < a.size()) {
            // Equal lead bytes start the same double-byte character in both strings.
            if (p[i] != q[i] || p[i + 1] != q[i + 1])
                return false;
            ++i;
        } else if (UpperAscii(p[i]) != UpperAscii(q[i])) {
            return false;
        }
    }
    return true;
}

inline std::size_t Hash(std::string_view text, bool caseSensitive) {
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    auto mix = [&h](unsigned char c) {
        h ^= c;
        h *= 1099511628211ull;
    };
    if (caseSensitive) {
        for (unsigned char c : text)
            mix(c);
    } else {
        ForEachFolded(text, mix);
    }
    return static_cast<std::size_t>(h);
}

} // namespace textfold
