#include "sms/mondem/SmsAlphabet.h"

#include <gtest/gtest.h>

namespace {

// Literals of this file are GBK bytes at run time, like the program's texts.
TEST(GbkToUtf16, ConvertsChineseAndAscii) {
    EXPECT_EQ(GbkToUtf16("数据库"), u"数据库");
    EXPECT_EQ(GbkToUtf16("Vormix服务器:【x】发生故障!--"), u"Vormix服务器:【x】发生故障!--");
    EXPECT_EQ(GbkToUtf16(""), u"");
}

TEST(GbkToUtf8, ConvertsAcrossAllUtf8Lengths) {
    auto utf8 = [](const char8_t* text) {
        return std::string(reinterpret_cast<const char*>(text));
    };
    // One, two, three and (GB18030's four-byte form, outside the BMP) four UTF-8 bytes.
    EXPECT_EQ(GbkToUtf8("A\xA1\xA4\xCA\xFD\x95\x32\x82\x36"), utf8(u8"A·数𠀀"));
    EXPECT_EQ(GbkToUtf8("Vormix服务器:【x】发生故障!--"), utf8(u8"Vormix服务器:【x】发生故障!--"));
    EXPECT_EQ(GbkToUtf8("\x81"), "?");
}

TEST(GbkToUtf16, MarksInvalidBytesAndGoesOn) {
    // A lead byte at the very end, and one followed by a byte that cannot trail it.
    EXPECT_EQ(GbkToUtf16("ab\x81"), u"ab?");
    EXPECT_EQ(GbkToUtf16("\xFF"
                         "abc"),
              u"?abc");
}

struct Gsm7Case {
    std::u16string text;
    std::vector<std::uint8_t> septets;
};

class ToGsm7Test : public testing::TestWithParam<Gsm7Case> {};

TEST_P(ToGsm7Test, MapsAsciiToTheDefaultAlphabet) {
    std::optional<std::vector<std::uint8_t>> septets = ToGsm7(GetParam().text);
    ASSERT_TRUE(septets.has_value());
    EXPECT_EQ(*septets, GetParam().septets);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToGsm7Test,
    testing::Values(Gsm7Case{u"Aa0 ", {0x41, 0x61, 0x30, 0x20}},
                    Gsm7Case{u"@$_", {0x00, 0x02, 0x11}}, Gsm7Case{u"\r\n", {0x0D, 0x0A}},
                    Gsm7Case{u"[]{}", {0x1B, 0x3C, 0x1B, 0x3E, 0x1B, 0x28, 0x1B, 0x29}},
                    Gsm7Case{u"\\^|~", {0x1B, 0x2F, 0x1B, 0x14, 0x1B, 0x40, 0x1B, 0x3D}}));

TEST(ToGsm7, RefusesWhatTheAlphabetLacks) {
    for (std::u16string text : {u"`", u"\x1A", u"\x1B", u"\t", u"数", u"caf\u00E9"})
        EXPECT_FALSE(ToGsm7(text).has_value()) << text.size();
}

TEST(PackSeptets, PacksLeastSignificantBitFirst) {
    // The classic example: "hellohello" is E8 32 9B FD 46 97 D9 EC 37.
    std::vector<std::uint8_t> hello = *ToGsm7(u"hellohello");
    EXPECT_EQ(PackSeptets(hello),
              (std::vector<std::uint8_t>{0xE8, 0x32, 0x9B, 0xFD, 0x46, 0x97, 0xD9, 0xEC, 0x37}));
    // One fill bit shifts everything up by one.
    EXPECT_EQ(PackSeptets({0x7F}, 1), (std::vector<std::uint8_t>{0xFE}));
    EXPECT_EQ(PackSeptets({0x41, 0x41}, 1), (std::vector<std::uint8_t>{0x82, 0x41}));
    EXPECT_EQ(PackSeptets({}), std::vector<std::uint8_t>{});
}

} // namespace
