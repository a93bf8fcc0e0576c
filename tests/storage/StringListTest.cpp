#include "storage/HashedStringList.h"
#include "storage/StringHash.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(StringList, KeepsOrderObjectsAndNameValueParts) {
    TStringList list;
    int a = 1, b = 2;
    EXPECT_EQ(list.Add("k=v"), 0);
    EXPECT_EQ(list.AddObject("raw", &a), 1);
    list.Insert(0, "first=1=2");
    list.PutObject(0, &b);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0], "first=1=2");
    EXPECT_EQ(list.Objects(0), &b);
    EXPECT_EQ(list.Objects(2), &a);
    EXPECT_EQ(list.Names(0), "first");
    EXPECT_EQ(list.ValueFromIndex(0), "1=2");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.Values("K"), "v");
    list.Exchange(0, 2);
    list.Delete(1);
    EXPECT_EQ(list.Text(), "raw\r\nfirst=1=2\r\n");
    EXPECT_THROW(list.Strings(2), EStringListError);
    EXPECT_THROW(list.Delete(-1), EStringListError);
}

TEST(StringList, PlainLookupsFindTheFirstMatch) {
    TStringList list;
    list.SetText("a=1\nB\na=2\nb");
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.IndexOf("b"), 1);
    EXPECT_EQ(list.IndexOfName("A"), 0);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.IndexOf("b"), 3);
    EXPECT_EQ(list.IndexOfName("A"), -1);
}

TEST(HashedStringList, FindsTheLastMatchWithoutRegardToCase) {
    THashedStringList list;
    list.SetText("Port=1\r\nhost\r\nPORT=2\r\nHost\r\nport\r\n");
    EXPECT_EQ(list.FindKey("port"), 2);
    EXPECT_EQ(list.FindEntry("HOST"), 3);
    EXPECT_EQ(list.FindEntry("port"), 4);
    EXPECT_EQ(list.FindEntry("Port"), 4);
    EXPECT_EQ(list.FindKey("host"), -1);
    EXPECT_EQ(list.FindEntry("missing"), -1);
}

TEST(HashedStringList, LongListsFindTheLastMatchThroughTheIndex) {
    // Long enough that lookups go through the hash index rather than a scan.
    for (int padding : {0, 10, 100}) {
        THashedStringList list;
        for (int i = 0; i < padding; ++i)
            list.Add("pad" + std::to_string(i) + "=x");
        list.SetText(list.Text() + "Port=1\r\nhost\r\nPORT=2\r\nHost\r\nport\r\n\x81\x61=1\r\n");
        EXPECT_EQ(list.FindKey("port"), padding + 2) << padding;
        EXPECT_EQ(list.FindEntry("HOST"), padding + 3) << padding;
        EXPECT_EQ(list.FindEntry("Port"), padding + 4) << padding;
        EXPECT_EQ(list.FindKey("host"), -1) << padding;
        EXPECT_EQ(list.FindKey("\x81\x61"), padding + 5) << padding;
        EXPECT_EQ(list.FindKey("\x81\x41"), -1) << padding;
        list.SetCaseSensitive(true);
        EXPECT_EQ(list.FindKey("Port"), padding) << padding;
        EXPECT_EQ(list.FindEntry("HOST"), -1) << padding;
    }
}

TEST(HashedStringList, LongNamesFoldTheSameThroughTheIndex) {
    // Names of 8 bytes and more, with double-byte characters at every offset of an 8-byte word:
    // whatever the hashing does in whole words, equal names must meet.
    THashedStringList list;
    for (int i = 0; i < 20; ++i)
        list.Add("pad" + std::to_string(i) + "=x");
    std::vector<std::string> names;
    for (int at = 0; at < 17; ++at) {
        std::string name = "ServerNameAbcdefghij";
        name.insert(static_cast<size_t>(at), "\xB7\x61");
        names.push_back(name);
        list.Add(name + "=" + std::to_string(at));
    }
    list.Add("LongerThanSixteenBytesKey=last");
    for (int at = 0; at < 17; ++at) {
        std::string upper = names[at];
        for (size_t i = 0; i < upper.size(); ++i) {
            if (static_cast<unsigned char>(upper[i]) == 0xB7)
                ++i; // the byte after a lead byte keeps its case
            else if (upper[i] >= 'a' && upper[i] <= 'z')
                upper[i] = static_cast<char>(upper[i] - 'a' + 'A');
        }
        EXPECT_EQ(list.FindKey(upper), 20 + at) << at;
        std::string trailFolded = upper;
        trailFolded[trailFolded.find('\xB7') + 1] = 'A';
        EXPECT_EQ(list.FindKey(trailFolded), -1) << at;
    }
    EXPECT_EQ(list.FindKey("longerthansixteenbyteskey"), 37);
    EXPECT_EQ(list.FindKey("longerthansixteenbyteske"), -1);
}

TEST(HashedStringList, EveryKindOfChangeMakesTheIndexesSeeTheNewContent) {
    THashedStringList list;
    list.SetText("a=1\nb=2\nc=3");
    ASSERT_EQ(list.FindKey("c"), 2);
    ASSERT_EQ(list.FindEntry("b=2"), 1);
    list.Delete(0);
    EXPECT_EQ(list.FindKey("c"), 1);
    EXPECT_EQ(list.FindEntry("b=2"), 0);
    list.Insert(0, "c=0");
    EXPECT_EQ(list.FindKey("c"), 2);
    list.Put(2, "d=3");
    EXPECT_EQ(list.FindKey("c"), 0);
    EXPECT_EQ(list.FindKey("d"), 2);
    list.Exchange(0, 2);
    EXPECT_EQ(list.FindKey("c"), 2);
    EXPECT_EQ(list.FindKey("d"), 0);
    list.Add("D=9");
    EXPECT_EQ(list.FindKey("d"), 3);
    list.SetCaseSensitive(true);
    EXPECT_EQ(list.FindKey("d"), 0);
    list.Clear();
    EXPECT_EQ(list.FindKey("d"), -1);
    // Many appends move the strings in memory; the index must not keep pointing at old copies.
    for (int i = 0; i < 1000; ++i) {
        list.Add("k" + std::to_string(i) + "=" + std::to_string(i));
        ASSERT_EQ(list.FindKey("k" + std::to_string(i)), i);
    }
    EXPECT_EQ(list.FindKey("k0"), 0);
}

TEST(HashedStringList, CopiesBuildTheirOwnIndexes) {
    THashedStringList list;
    list.SetText("a=1\nb=2");
    ASSERT_EQ(list.FindKey("b"), 1);
    THashedStringList copy(list);
    list.Clear();
    EXPECT_EQ(copy.FindKey("b"), 1);
    list = copy;
    copy.Clear();
    EXPECT_EQ(list.FindKey("a"), 0);
}

TEST(StringHash, HashKeyRotatesLeftByTwoThenXors) {
    EXPECT_EQ(TStringHash::HashKey(""), 0u);
    EXPECT_EQ(TStringHash::HashKey("A"), 0x41u);
    EXPECT_EQ(TStringHash::HashKey("AB"), (0x41u << 2) ^ 0x42u);
    // Seventeen bytes: the first one's bits have gone round the 32-bit value once.
    EXPECT_EQ(TStringHash::HashKey(std::string(1, '\x80') + std::string(16, '\0')), 0x80u);
    EXPECT_EQ(TStringHash::HashKey("\xFF\xFF\xFF\xFF\xFF"), 0xCC33u);
    // Rotation, not shift: the top bits come back at the bottom.
    EXPECT_EQ(TStringHash::HashKey(std::string(1, '\xC0') + std::string(15, '\0')), 0x30u);
}

TEST(StringHash, LatestAdditionWinsAndComparisonIsExact) {
    TStringHash hash;
    hash.Add("KEY", 1);
    hash.Add("KEY", 2);
    hash.Add("key", 3);
    EXPECT_EQ(hash.ValueOf("KEY"), 2);
    EXPECT_EQ(hash.ValueOf("key"), 3);
    EXPECT_EQ(hash.ValueOf("Key"), -1);
    EXPECT_TRUE(hash.Remove("KEY"));
    EXPECT_EQ(hash.ValueOf("KEY"), 1);
    hash.Clear();
    EXPECT_EQ(hash.ValueOf("KEY"), -1);
    EXPECT_FALSE(hash.Remove("KEY"));
}

} // namespace
