#include "skin/format/Lzhuf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromText(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    Bytes out(size);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(gen());
    return out;
}

// Text with long repeats and a small alphabet, the shape of an INI file or a bitmap.
Bytes Repetitive(std::size_t size) {
    Bytes out;
    std::mt19937 gen(7);
    while (out.size() < size) {
        std::string line = "[Button" + std::to_string(gen() % 40) +
                           "]\r\nAction=" + std::to_string(gen() % 12) + "\r\n";
        out.insert(out.end(), line.begin(), line.end());
        out.insert(out.end(), gen() % 90, static_cast<std::uint8_t>(0xC0 + gen() % 3));
    }
    out.resize(size);
    return out;
}

struct RoundTripCase {
    const char* name;
    Bytes data;
};

class LzhufRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(LzhufRoundTrip, UnpackGivesBackThePackedBytes) {
    const Bytes& data = GetParam().data;
    Bytes packed = LzhufPack(data);
    ASSERT_GE(packed.size(), 4u);
    EXPECT_EQ(LzhufUnpack(packed), data);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, LzhufRoundTrip,
    testing::Values(RoundTripCase{"empty", {}}, RoundTripCase{"one_byte", {0x41}},
                    RoundTripCase{"tiny", FromText("abc")},
                    RoundTripCase{"spaces_match_the_initial_ring", Bytes(500, ' ')},
                    RoundTripCase{"one_byte_repeated", Bytes(10000, 0x00)},
                    RoundTripCase{"repetitive", Repetitive(50000)},
                    RoundTripCase{"random", RandomBytes(20000, 1)},
                    // Past 64 KB of symbols the root's count reaches 0x8000 and the tree is
                    // rebuilt, several times over.
                    RoundTripCase{"repetitive_over_64k", Repetitive(300000)},
                    RoundTripCase{"random_over_64k", RandomBytes(200000, 2)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Lzhuf, PackingShrinksRepetitiveData) {
    Bytes data = Repetitive(100000);
    EXPECT_LT(LzhufPack(data).size(), data.size() / 3);
}

TEST(Lzhuf, SizeFieldIsLittleEndian) {
    Bytes packed = LzhufPack(Bytes(0x010203, 'x'));
    EXPECT_EQ(packed[0], 0x03);
    EXPECT_EQ(packed[1], 0x02);
    EXPECT_EQ(packed[2], 0x01);
    EXPECT_EQ(packed[3], 0x00);
}

// Zero bits take the left branch at every node of the fresh tree, which ends at the leaf of 't'.
TEST(Lzhuf, ReadingPastTheEndYieldsZeroBits) {
    Bytes header = {5, 0, 0, 0};
    Bytes fromNothing = LzhufUnpack(header);
    Bytes withZeros = header;
    withZeros.insert(withZeros.end(), 64, 0x00);
    ASSERT_EQ(fromNothing.size(), 5u);
    EXPECT_EQ(fromNothing[0], 't');
    EXPECT_EQ(fromNothing, LzhufUnpack(withZeros));
}

TEST(Lzhuf, TruncatedStreamStillGivesExactlyTheClaimedSize) {
    Bytes data = Repetitive(40000);
    Bytes packed = LzhufPack(data);
    for (std::size_t keep :
         {std::size_t{4}, std::size_t{5}, packed.size() / 2, packed.size() - 1}) {
        Bytes cut(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(keep));
        Bytes out = LzhufUnpack(cut);
        ASSERT_EQ(out.size(), data.size()) << "kept " << keep;
        if (keep < packed.size() / 2 + 1) {
            EXPECT_NE(out, data) << "kept " << keep;
        }
    }
}

TEST(Lzhuf, InputShorterThanTheSizeFieldIsRejected) {
    for (std::size_t n = 0; n < 4; ++n)
        EXPECT_THROW(LzhufUnpack(Bytes(n, 0)), ElzhException) << n;
}

TEST(Lzhuf, UnpackedSizeOverTheLimitIsRejectedBeforeAnyWork) {
    Bytes huge = {0xFF, 0xFF, 0xFF, 0x7F, 0x12, 0x34};
    EXPECT_THROW(LzhufUnpack(huge), ElzhException);
    Bytes justOver = {0x01, 0x00, 0x00, 0x04}; // 64 MiB + 1
    EXPECT_THROW(LzhufUnpack(justOver), ElzhException);
    EXPECT_THROW(LzhufUnpack(LzhufPack(Bytes(100, 1)), 99), ElzhException);
    EXPECT_EQ(LzhufUnpack(LzhufPack(Bytes(100, 1)), 100), Bytes(100, 1));
}

TEST(Lzhuf, OutputStopsInsideAMatchAtTheClaimedSize) {
    Bytes data(200, 'q');
    Bytes packed = LzhufPack(data);
    packed[0] = 150; // claim fewer bytes than the stream holds
    EXPECT_EQ(LzhufUnpack(packed), Bytes(150, 'q'));
}

} // namespace
