#include "channels/TextCoding.h"

#include <gtest/gtest.h>

namespace {

TEST(TextCoding, Base64OfEveryRemainder) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\xff\xfe\x00", 3), "//4A"},
    };
    for (const auto& [plain, encoded] : cases)
        EXPECT_EQ(TextCoding::Base64(plain), encoded) << plain;
}

TEST(TextCoding, HeaderWordsNeverSplitACharacterOrExceed75) {
    EXPECT_EQ(TextCoding::HeaderWords("Server down", " "), "Server down");
    EXPECT_EQ(TextCoding::HeaderWords("a=?b", " "), "=?UTF-8?B?YT0/Yg==?=");
    // Sixty three-byte characters: 180 bytes in words of 15 characters (45 bytes).
    std::string long_;
    for (int i = 0; i < 60; ++i)
        long_ += "\xe6\x9c\x8d";
    const std::string words = TextCoding::HeaderWords("x" + long_, "|");
    std::size_t start = 0;
    int count = 0;
    while (start < words.size()) {
        const std::size_t end = std::min(words.find('|', start), words.size());
        EXPECT_LE(end - start, 75u);
        ++count;
        start = end + 1;
    }
    EXPECT_EQ(count, 5); // 1 + 180 bytes: 45 (x + 14 chars + back off), ...
    EXPECT_EQ(words.substr(0, 10), "=?UTF-8?B?");
}

TEST(TextCoding, JsonStringEscapes) {
    EXPECT_EQ(TextCoding::JsonString("a\"b\\c\nd\te\x01"), "\"a\\\"b\\\\c\\nd\\te\\u0001\"");
    EXPECT_EQ(TextCoding::JsonString("\xe7\xbd\x91"), "\"\xe7\xbd\x91\"");
}

} // namespace
