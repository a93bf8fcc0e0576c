#include "skin/format/Lzhuf.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

namespace {

constexpr int N = 4096;                     // ring buffer size
constexpr int F = 60;                       // longest match
constexpr int THRESHOLD = 2;                // a match must be longer than this
constexpr int N_CHAR = 256 - THRESHOLD + F; // literals 0..255, lengths 3..60 as 256..313
constexpr int T = N_CHAR * 2 - 1;           // nodes of the tree
constexpr int R = T - 1;                    // the root
constexpr unsigned MAX_FREQ = 0x8000;

// The fixed codes of a position's upper 6 bits: how many of the 64 values get a code of each
// length from 3 to 8 bits. The codes are handed out in ascending order, which gives the classic
// p_code/p_len tables and, read the other way round, d_code/d_len.
struct PositionTables {
    std::array<std::uint8_t, 64> pCode{};
    std::array<std::uint8_t, 64> pLen{};
    std::array<std::uint8_t, 256> dCode{};
    std::array<std::uint8_t, 256> dLen{};
};

constexpr PositionTables MakePositionTables() {
    PositionTables t;
    constexpr int countsByLength[6] = {1, 3, 8, 12, 24, 16}; // lengths 3..8
    int value = 0;
    int code = 0;
    for (int li = 0; li < 6; ++li) {
        int len = li + 3;
        for (int k = 0; k < countsByLength[li]; ++k) {
            t.pCode[value] = static_cast<std::uint8_t>(code);
            t.pLen[value] = static_cast<std::uint8_t>(len);
            int span = 1 << (8 - len);
            for (int b = 0; b < span; ++b) {
                t.dCode[code + b] = static_cast<std::uint8_t>(value);
                t.dLen[code + b] = static_cast<std::uint8_t>(len);
            }
            code += span;
            ++value;
        }
    }
    return t;
}

constexpr PositionTables kTables = MakePositionTables();
static_assert(kTables.pCode[1] == 0x20 && kTables.pCode[4] == 0x50 && kTables.pCode[12] == 0x90);
static_assert(kTables.pCode[24] == 0xC0 && kTables.pCode[48] == 0xF0 && kTables.pCode[63] == 0xFF);

// The adaptive Huffman tree. Node i has children son[i] and son[i]+1; a son value of T or more
// is a leaf (symbol son - T). Frequencies stay sorted ascending along the node array.
class HuffTree {
public:
    HuffTree() {
        for (int i = 0; i < N_CHAR; ++i) {
            freq_[i] = 1;
            son_[i] = i + T;
            prnt_[i + T] = i;
        }
        for (int i = 0, j = N_CHAR; j <= R; i += 2, ++j) {
            freq_[j] = freq_[i] + freq_[i + 1];
            son_[j] = i;
            prnt_[i] = prnt_[i + 1] = j;
        }
        freq_[T] = 0xFFFF; // sentinel that stops the search in Update
        prnt_[R] = 0;
    }

    int Son(int node) const { return son_[node]; }
    int Parent(int node) const { return prnt_[node]; }
    int LeafNode(int symbol) const { return prnt_[symbol + T]; }

    void Update(int symbol) {
        if (freq_[R] == MAX_FREQ)
            Rebuild();
        int c = prnt_[symbol + T];
        do {
            unsigned k = ++freq_[c];
            // Keep the frequencies ordered: move the node past the equal-or-smaller ones.
            int l = c + 1;
            if (k > freq_[l]) {
                while (k > freq_[++l]) {
                }
                --l;
                freq_[c] = freq_[l];
                freq_[l] = k;

                int i = son_[c];
                prnt_[i] = l;
                if (i < T)
                    prnt_[i + 1] = l;

                int j = son_[l];
                son_[l] = i;
                prnt_[j] = c;
                if (j < T)
                    prnt_[j + 1] = c;
                son_[c] = j;
                c = l;
            }
        } while ((c = prnt_[c]) != 0);
    }

private:
    // Halves the frequencies and builds the tree again from the leaves.
    void Rebuild() {
        int j = 0;
        for (int i = 0; i < T; ++i) {
            if (son_[i] >= T) {
                freq_[j] = (freq_[i] + 1) / 2;
                son_[j] = son_[i];
                ++j;
            }
        }
        for (int i = 0, n = N_CHAR; n < T; i += 2, ++n) {
            unsigned f = freq_[i] + freq_[i + 1];
            int k = n - 1;
            while (f < freq_[k])
                --k;
            ++k;
            std::copy_backward(freq_.begin() + k, freq_.begin() + n, freq_.begin() + n + 1);
            freq_[k] = f;
            std::copy_backward(son_.begin() + k, son_.begin() + n, son_.begin() + n + 1);
            son_[k] = i;
        }
        for (int i = 0; i < T; ++i) {
            int k = son_[i];
            if (k >= T)
                prnt_[k] = i;
            else
                prnt_[k] = prnt_[k + 1] = i;
        }
    }

    std::array<unsigned, T + 1> freq_{};
    std::array<int, T + N_CHAR> prnt_{};
    std::array<int, T> son_{};
};

// Bits are taken from the top of a 64-bit word that is topped up whole bytes at a time, eight at
// once while the input lasts. Bits past the end of the input read as zero.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes)
        : next_(bytes.data()), end_(bytes.data() + bytes.size()) {}

    // At least 56 bits are available afterwards.
    void Fill() {
        if (end_ - next_ >= 8) {
            std::uint64_t word;
            std::memcpy(&word, next_, sizeof word);
            if constexpr (std::endian::native == std::endian::little)
                word = __builtin_bswap64(word);
            // The bits past the whole bytes taken are the input's next bits too, so a later
            // fill ORs the same values onto them.
            bits_ |= word >> count_;
            next_ += (63 - count_) >> 3;
            count_ |= 56;
            return;
        }
        while (count_ <= 56) {
            std::uint64_t byte = next_ < end_ ? *next_++ : 0;
            bits_ |= byte << (56 - count_);
            count_ += 8;
        }
    }

    int Available() const { return count_; }
    // The next `n` bits (1..32) as a number; needs Available() >= n.
    unsigned Peek(int n) const { return static_cast<unsigned>(bits_ >> (64 - n)); }
    void Skip(int n) {
        bits_ <<= n;
        count_ -= n;
    }
    int Bit() {
        if (count_ == 0)
            Fill();
        int bit = static_cast<int>(bits_ >> 63);
        Skip(1);
        return bit;
    }

private:
    const std::uint8_t* next_;
    const std::uint8_t* end_;
    std::uint64_t bits_ = 0;
    int count_ = 0;
};

class BitWriter {
public:
    void Put(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i)
            PutBit((value >> i) & 1);
    }

    void PutBit(unsigned bit) {
        current_ = (current_ << 1) | bit;
        if (++used_ == 8) {
            out_.push_back(static_cast<std::uint8_t>(current_));
            current_ = 0;
            used_ = 0;
        }
    }

    std::vector<std::uint8_t> Finish() {
        if (used_ > 0)
            out_.push_back(static_cast<std::uint8_t>(current_ << (8 - used_)));
        used_ = 0;
        current_ = 0;
        return std::move(out_);
    }

private:
    std::vector<std::uint8_t> out_;
    unsigned current_ = 0;
    int used_ = 0;
};

int DecodeChar(HuffTree& tree, BitReader& in) {
    // Codes are far shorter than 32 bits; Bit() still refills should one run longer.
    if (in.Available() < 32)
        in.Fill();
    int c = tree.Son(R);
    while (c < T)
        c = tree.Son(c + in.Bit());
    c -= T;
    tree.Update(c);
    return c;
}

// The first 8 bits say the upper 6 bits of the position and the code's length (3..8); the 6 bits
// after the code are the lower ones.
int DecodePosition(BitReader& in) {
    if (in.Available() < 14)
        in.Fill();
    unsigned first = in.Peek(8);
    int length = kTables.dLen[first] + 6;
    unsigned lower = in.Peek(length) & 0x3F;
    in.Skip(length);
    return (kTables.dCode[first] << 6) | static_cast<int>(lower);
}

void EncodeChar(HuffTree& tree, BitWriter& out, int symbol) {
    // Walk from the leaf to the root collecting the branch taken at each level, then emit them
    // root first. The depth is not bounded by 16 here, unlike a code kept in one machine word.
    std::array<std::uint8_t, T> path;
    int depth = 0;
    int node = tree.LeafNode(symbol);
    while (node != R) {
        int parent = tree.Parent(node);
        path[depth++] = node == tree.Son(parent) ? 0 : 1;
        node = parent;
    }
    while (depth > 0)
        out.PutBit(path[--depth]);
    tree.Update(symbol);
}

void EncodePosition(BitWriter& out, int position) {
    int upper = position >> 6;
    out.Put(kTables.pCode[upper] >> (8 - kTables.pLen[upper]), kTables.pLen[upper]);
    out.Put(position & 0x3F, 6);
}

std::uint32_t ReadLe32(std::span<const std::uint8_t> b) {
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

// Hash-chain match finder over the virtual stream "4096 spaces, then the data": the spaces are
// what the decoder's ring buffer holds before the first byte.
class MatchFinder {
public:
    explicit MatchFinder(std::span<const std::uint8_t> data)
        : stream_(N + data.size(), ' '), head_(kHashSize, -1), prev_(N + data.size(), -1) {
        std::copy(data.begin(), data.end(), stream_.begin() + N);
    }

    std::size_t Size() const { return stream_.size(); }
    std::uint8_t At(std::size_t i) const { return stream_[i]; }

    void Insert(std::size_t p) {
        if (p + 3 > stream_.size())
            return;
        unsigned h = Hash(p);
        prev_[p] = head_[h];
        head_[h] = static_cast<std::int64_t>(p);
    }

    // The longest match for position p within the last N bytes, as (length, distance).
    std::pair<int, int> Longest(std::size_t p) const {
        int best = 0;
        int bestDist = 0;
        std::size_t maxLen = std::min<std::size_t>(F, stream_.size() - p);
        if (maxLen <= THRESHOLD)
            return {0, 0};
        int chain = kMaxChain;
        for (std::int64_t q = head_[Hash(p)]; q >= 0 && chain-- > 0; q = prev_[q]) {
            std::size_t dist = p - static_cast<std::size_t>(q);
            if (dist > N)
                break;
            std::size_t len = 0;
            while (len < maxLen && stream_[q + len] == stream_[p + len])
                ++len;
            if (static_cast<int>(len) > best) {
                best = static_cast<int>(len);
                bestDist = static_cast<int>(dist);
                if (len == maxLen)
                    break;
            }
        }
        return {best, bestDist};
    }

private:
    static constexpr unsigned kHashSize = 1u << 15;
    static constexpr int kMaxChain = 128;

    unsigned Hash(std::size_t p) const {
        return ((unsigned(stream_[p]) << 10) ^ (unsigned(stream_[p + 1]) << 5) ^ stream_[p + 2]) &
               (kHashSize - 1);
    }

    std::vector<std::uint8_t> stream_;
    std::vector<std::int64_t> head_;
    std::vector<std::int64_t> prev_;
};

} // namespace

std::vector<std::uint8_t> LzhufDecode(std::span<const std::uint8_t> bits, std::size_t size) {
    std::vector<std::uint8_t> out;
    // The size field is only a claim: start with a modest buffer and let real output grow it.
    std::size_t room = std::min<std::size_t>(size, 1u << 20);
    auto grow = [&out](std::size_t to) {
        try {
            out.resize(to);
        } catch (const std::bad_alloc&) {
            throw ElzhException("LZH : Cannot get memory for dictionary tables");
        }
    };
    grow(room);
    HuffTree tree;
    BitReader in(bits);
    // The output is its own ring buffer: a match copies from the bytes already written, and from
    // the spaces the ring holds at the start when it reaches back before the first byte.
    std::size_t count = 0;
    while (count < size) {
        if (room - count < F) {
            room = std::min(size, std::max(room * 2, count + F));
            grow(room);
        }
        std::uint8_t* o = out.data();
        int c = DecodeChar(tree, in);
        if (c < 256) {
            o[count++] = static_cast<std::uint8_t>(c);
            continue;
        }
        const std::size_t distance = static_cast<std::size_t>(DecodePosition(in)) + 1;
        const std::size_t length = std::min<std::size_t>(c - 255 + THRESHOLD, size - count);
        if (distance <= count) {
            // Byte by byte: a match may overlap the bytes it is producing.
            const std::uint8_t* from = o + (count - distance);
            std::uint8_t* to = o + count;
            for (std::size_t k = 0; k < length; ++k)
                to[k] = from[k];
        } else {
            for (std::size_t k = 0; k < length; ++k)
                o[count + k] = count + k < distance ? ' ' : o[count + k - distance];
        }
        count += length;
    }
    return out;
}

std::vector<std::uint8_t> LzhufEncode(std::span<const std::uint8_t> data) {
    HuffTree tree;
    BitWriter out;
    MatchFinder finder(data);
    // The spaces in front may be matched like any earlier text.
    for (std::size_t p = 0; p < N; ++p)
        finder.Insert(p);
    std::size_t p = N;
    while (p < finder.Size()) {
        auto [length, distance] = finder.Longest(p);
        if (length > THRESHOLD) {
            EncodeChar(tree, out, length + 255 - THRESHOLD);
            EncodePosition(out, distance - 1);
            for (int k = 0; k < length; ++k)
                finder.Insert(p + k);
            p += length;
        } else {
            EncodeChar(tree, out, finder.At(p));
            finder.Insert(p);
            ++p;
        }
    }
    return out.Finish();
}

std::vector<std::uint8_t> LzhufUnpack(std::span<const std::uint8_t> packed, std::size_t maxSize) {
    if (packed.size() < 4)
        throw ElzhException("LZH : packed data shorter than its size field");
    std::size_t size = ReadLe32(packed);
    if (size > maxSize)
        throw ElzhException("LZH : unpacked size " + std::to_string(size) +
                            " exceeds the limit of " + std::to_string(maxSize) + " bytes");
    return LzhufDecode(packed.subspan(4), size);
}

std::vector<std::uint8_t> LzhufPack(std::span<const std::uint8_t> data) {
    if (data.size() > 0xFFFFFFFFu)
        throw ElzhException("LZH : data too large to pack");
    std::vector<std::uint8_t> out(4);
    std::uint32_t size = static_cast<std::uint32_t>(data.size());
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(size >> (8 * i));
    std::vector<std::uint8_t> bits = LzhufEncode(data);
    out.insert(out.end(), bits.begin(), bits.end());
    return out;
}
