#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
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
    // Most lookups spell a name as it is stored.
    if (caseSensitive || a == b)
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

// ASCII a-z to A-Z in each byte of a word whose bytes are all below 0x80.
inline std::uint64_t UpperAsciiWord(std::uint64_t w) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    const std::uint64_t atLeastA = w + kOnes * (0x80 - 'a');
    const std::uint64_t pastZ = w + kOnes * (0x80 - 'z' - 1);
    return w ^ (((atLeastA & ~pastZ) & (kOnes * 0x80)) >> 2);
}

// Equal strings (as Equal compares) hash alike. Eight bytes at a time while no byte of a
// double-byte character is in sight: such bytes sit at the same places in equal strings, so both
// take the same path.
inline std::size_t Hash(std::string_view text, bool caseSensitive) {
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ull;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::uint64_t h = 1469598103934665603ull ^ n;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, sizeof w);
        if (!caseSensitive) {
            if (w & kHigh)
                break;
            w = UpperAsciiWord(w);
        }
        h = (h ^ w) * kMul;
        h ^= h >> 32;
    }
    auto mix = [&h](unsigned char c) {
        h ^= c;
        h *= 1099511628211ull; // FNV-1a
    };
    if (caseSensitive) {
        for (; i < n; ++i)
            mix(p[i]);
    } else {
        ForEachFolded(text.substr(i), mix);
    }
    h ^= h >> 33;
    h *= kMul;
    h ^= h >> 29;
    return static_cast<std::size_t>(h);
}

} // namespace textfold
