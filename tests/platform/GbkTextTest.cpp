#include "platform/GbkText.h"

#include <gtest/gtest.h>

namespace {

TEST(GbkText, LiteralsAreGbkBytes) {
    // The build compiles the program's texts to GBK: 正常 is D5 FD B3 A3.
    EXPECT_EQ(std::string("正常"), "\xD5\xFD\xB3\xA3");
}

TEST(GbkText, RoundTripsThroughUtf8) {
    std::string gbk = "数据库 DB-1";
    std::string utf8 = GbkToUtf8(gbk);
    EXPECT_EQ(utf8, "\xE6\x95\xB0\xE6\x8D\xAE\xE5\xBA\x93 DB-1");
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);
}

TEST(GbkText, BadBytesAreMarkedNotDropped) {
    EXPECT_EQ(GbkToUtf8("a\xFF"
                        "b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(GbkToUtf8("a\xD5"), "a\xEF\xBF\xBD");
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80"
                        "b"),
              "a?b");
}

TEST(GbkText, UpperCaseNeverFoldsASecondByte) {
    EXPECT_EQ(GbkUpperCase("alpha Beta"), "ALPHA BETA");
    // 0xB0 0x61 is one double-byte character whose second byte is the code of "a".
    EXPECT_EQ(GbkUpperCase("\xB0\x61x"), "\xB0\x61X");
}

} // namespace
