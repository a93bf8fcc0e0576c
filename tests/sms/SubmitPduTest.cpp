#include "sms/mondem/SubmitPdu.h"

#include "PduDecoder.h"

#include <gtest/gtest.h>

namespace {

struct KnownPdu {
    const char* name;
    std::string number;
    std::u16string text;
    std::string hex;
    int tpduLength;
};

class KnownPduTest : public testing::TestWithParam<KnownPdu> {};

TEST_P(KnownPduTest, EncodesByteForByte) {
    std::vector<SubmitPdu> parts = EncodeSubmit(GetParam().number, GetParam().text, 0);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].hex, GetParam().hex);
    EXPECT_EQ(parts[0].tpduLength, GetParam().tpduLength);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KnownPduTest,
    testing::Values(KnownPdu{"Gsm7International", "+46708251358", u"hellohello",
                             "0001000B916407281553F800000AE8329BFD4697D9EC37", 22},
                    KnownPdu{"Ucs2National", "13800138000", u"你好",
                             "0001000B813108108300F0000804"
                             "4F60597D",
                             17},
                    KnownPdu{"EvenDigits", "1234", u"A", "0001000481214300000141", 10},
                    KnownPdu{"ControlBytesGoAsUcs2", "10086", u"a\x1A\x1B\r",
                             "00010005810180F6000808"
                             "0061001A001B000D",
                             18},
                    KnownPdu{"EmptyText", "10086", u"", "00010005810180F6000000", 10}),
    [](const auto& info) { return info.param.name; });

TEST(EncodeSubmit, AlertTextGoesAsOneUcs2Message) {
    const std::u16string alert =
        u"Vormix服务器智能检测程序:【数据库】发生故障!--2026-12-06 20:15:00";
    std::vector<SubmitPdu> parts = EncodeSubmit("13000000000", alert, 7);
    ASSERT_EQ(parts.size(), 1u);
    std::optional<DecodedSubmit> decoded = DecodeSubmit(parts[0].hex);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->dcs, 0x08);
    EXPECT_EQ(decoded->number, "13000000000");
    EXPECT_EQ(decoded->addressType, 0x81);
    EXPECT_FALSE(decoded->hasHeader);
    EXPECT_EQ(ToUtf8(decoded->text), ToUtf8(alert));
}

struct SplitCase {
    const char* name;
    std::u16string text;
    std::vector<size_t> partLengths; // characters (or units) of text in each part
    int dcs;
};

std::u16string Repeat(std::u16string_view piece, size_t times) {
    std::u16string out;
    for (size_t i = 0; i < times; ++i)
        out += piece;
    return out;
}

class SplitTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, PartsAreNumberedAndReassembleToTheText) {
    const SplitCase& c = GetParam();
    std::vector<SubmitPdu> parts = EncodeSubmit("13800138000", c.text, 0xA5);
    ASSERT_EQ(parts.size(), c.partLengths.size());
    std::vector<DecodedSubmit> decoded;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::optional<DecodedSubmit> d = DecodeSubmit(parts[i].hex);
        ASSERT_TRUE(d.has_value()) << "part " << i;
        EXPECT_EQ(d->dcs, c.dcs);
        EXPECT_EQ(d->text.size(), c.partLengths[i]) << "part " << i;
        EXPECT_EQ(parts[i].tpduLength, static_cast<int>(parts[i].hex.size() / 2) - 1);
        // No part may exceed the 140 octets of user data.
        const int udOctets = d->dcs == 0x08 ? d->udl : (d->udl * 7 + 7) / 8;
        EXPECT_LE(udOctets, 140) << "part " << i;
        if (parts.size() > 1) {
            EXPECT_TRUE(d->hasHeader);
            EXPECT_EQ(d->reference, 0xA5);
            EXPECT_EQ(d->count, static_cast<int>(parts.size()));
            EXPECT_EQ(d->sequence, static_cast<int>(i + 1));
        } else {
            EXPECT_FALSE(d->hasHeader);
        }
        decoded.push_back(*d);
    }
    std::optional<std::vector<std::u16string>> texts = Reassemble(decoded);
    ASSERT_TRUE(texts.has_value());
    ASSERT_EQ(texts->size(), 1u);
    EXPECT_EQ(ToUtf8(texts->front()), ToUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitTest,
    testing::Values(
        SplitCase{"Gsm7Full", Repeat(u"x", 160), {160}, 0x00},
        SplitCase{"Gsm7OneOver", Repeat(u"x", 161), {153, 8}, 0x00},
        SplitCase{"Gsm7ThreeParts", Repeat(u"0123456789", 40), {153, 153, 94}, 0x00},
        // The escape before "[" would be the 153rd septet: it moves to the second part whole.
        SplitCase{
            "Gsm7EscapeNotSplit", Repeat(u"x", 152) + u"[" + Repeat(u"y", 20), {152, 21}, 0x00},
        SplitCase{"Ucs2Full", Repeat(u"数", 70), {70}, 0x08},
        SplitCase{"Ucs2OneOver", Repeat(u"数", 71), {67, 4}, 0x08},
        // A character outside the BMP at units 67/68 stays in one part.
        SplitCase{"Ucs2SurrogateNotSplit",
                  Repeat(u"数", 66) + u"\U0001F600" + Repeat(u"库", 5),
                  {66, 7},
                  0x08},
        SplitCase{"Ucs2LongServerName",
                  u"Vormix服务器智能检测程序:【" + Repeat(u"数据库", 40) +
                      u"】发生故障!--2026-12-06 20:15:00",
                  {67, 67, 30},
                  0x08}),
    [](const auto& info) { return info.param.name; });

TEST(EncodeSubmit, RefusesTextsBeyondTheLargestConcatenation) {
    EXPECT_EQ(EncodeSubmit("10086", Repeat(u"数", 67 * 255), 1).size(), 255u);
    EXPECT_TRUE(EncodeSubmit("10086", Repeat(u"数", 67 * 255 + 1), 1).empty());
}

TEST(IsValidNumber, AcceptsDigitsWithOptionalPlus) {
    struct {
        const char* number;
        bool valid;
    } cases[] = {{"13800138000", true},
                 {"+8613800138000", true},
                 {"1", true},
                 {"12345678901234567890", true},
                 {"123456789012345678901", false},
                 {"", false},
                 {"+", false},
                 {"138 0013", false},
                 {"138-0013", false},
                 {"++1", false},
                 {"1+1", false},
                 {"1380013800\x1A", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsValidNumber(c.number), c.valid) << c.number;
}

} // namespace
