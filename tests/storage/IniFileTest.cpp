#include "support/Child.h"
#include "support/TempDir.h"

#include "platform/ProfileFile.h"
#include "storage/IniFile.h"
#include "storage/StreamErrors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Names(const TStringList& list) {
    std::vector<std::string> out;
    for (const auto& item : list)
        out.push_back(item.text);
    return out;
}

struct ReadCase {
    const char* what;
    std::string_view text;
    const char* section;
    const char* key;
    std::string expected; // with the fallback "?"
};

class ProfileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FollowsTheProfileReadingRules) {
    TempDir dir;
    WriteBytes(dir.file("skin.ini"), GetParam().text);
    TIniFile ini(dir.file("skin.ini"));
    EXPECT_EQ(ini.GetStr(GetParam().section, GetParam().key, "?"), GetParam().expected)
        << GetParam().what;
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    testing::Values(ReadCase{"plain", "[A]\r\nk=v\r\n"sv, "A", "k", "v"},
                    ReadCase{"letter case", "[TitlebarSkin]\nSkinName=Blue\n"sv, "TITLEBARSKIN",
                             "skinname", "Blue"},
                    ReadCase{"blanks trimmed", "  [ A ]  \n  k  =  v w  \n"sv, "A", "k", "v w"},
                    ReadCase{"double quotes removed", "[A]\nk=\" v \"\n"sv, "A", "k", " v "},
                    ReadCase{"single quotes removed", "[A]\nk='v'\n"sv, "A", "k", "v"},
                    ReadCase{"unmatched quotes kept", "[A]\nk=\"v'\n"sv, "A", "k", "\"v'"},
                    ReadCase{"empty value", "[A]\nk=\n"sv, "A", "k", ""},
                    ReadCase{"key without =", "[A]\nk\n"sv, "A", "k", ""},
                    ReadCase{"missing key", "[A]\nk=v\n"sv, "A", "j", "?"},
                    ReadCase{"missing section", "[A]\nk=v\n"sv, "B", "k", "?"},
                    ReadCase{"comment line", "[A]\n;k=v\n"sv, "A", ";k", "?"},
                    ReadCase{"text after the header", "[A] ; note\nk=v\n"sv, "A", "k", "v"},
                    ReadCase{"no key before the first header", "k=v\n[A]\n"sv, "", "k", "?"},
                    ReadCase{"first duplicate section", "[A]\nk=1\n[a]\nk=2\n"sv, "A", "k", "1"},
                    ReadCase{"first duplicate key", "[A]\nk=1\nK=2\n"sv, "A", "k", "1"},
                    ReadCase{"CR line ends", "[A]\rk=v\r"sv, "A", "k", "v"},
                    ReadCase{"GBK second byte not folded", "[\x81\x61]\nk=1\n"sv, "\x81\x41", "k",
                             "?"},
                    ReadCase{"GBK names", "[\xC6\xA4\xB7\xF4]\n\xC3\xFB=1\n"sv, "\xC6\xA4\xB7\xF4",
                             "\xC3\xFB", "1"}));

class IniFileOnDisk : public testing::Test {
protected:
    TempDir dir_;
    std::string path_ = dir_.file("skin.ini");
};

TEST_F(IniFileOnDisk, ListsSectionsInFileOrderAndReadsIntegers) {
    WriteBytes(path_, "[Personality]\r\nLeftFrame=$10\r\n[Colour2]\r\ncolor=1\r\n[Colours]\r\n"
                      "[COLOUR1]\r\ncolor=2\r\n[Colour2]\r\n");
    TIniFile ini(path_);
    TStringList names;
    ini.GetSectionNames(names);
    EXPECT_EQ(Names(names), (std::vector<std::string>{"Personality", "Colour2", "Colours",
                                                      "COLOUR1", "Colour2"}));
    EXPECT_EQ(ini.GetInt("personality", "LEFTFRAME", 1), 16);
    EXPECT_EQ(ini.GetInt("personality", "RightFrame", 1), 1);
    TStringList keys;
    ini.GetKeyNames("colour1", keys);
    EXPECT_EQ(Names(keys), (std::vector<std::string>{"color"}));
}

TEST_F(IniFileOnDisk, MissingFileReadsAsEmpty) {
    TIniFile ini(dir_.file("none.ini"));
    TStringList names;
    ini.GetSectionNames(names);
    EXPECT_EQ(names.Count(), 0);
    EXPECT_EQ(ini.GetStr("A", "k", "fallback"), "fallback");
}

TEST_F(IniFileOnDisk, WritesChangeTheFileAtOnceKeepingOtherLines) {
    WriteBytes(path_, "; skin\n[A]\nk=1\n\n[B]\nx=2");
    TIniFile ini(path_);
    ini.PutStr("a", "K", "10");
    ini.PutStr("A", "j", "3");
    ini.PutStr("B", "y", "4");
    ini.PutStr("C", "z", "5");
    EXPECT_EQ(ReadBytes(path_),
              "; skin\n[A]\nK=10\r\nj=3\r\n\n[B]\nx=2\r\ny=4\r\n\r\n[C]\r\nz=5\r\n");
    EXPECT_EQ(TIniFile(path_).GetStr("C", "z", "?"), "5");
    ini.RemoveKey("A", "k");
    ini.RemoveSection("B");
    ini.RemoveSection("missing");
    EXPECT_EQ(ReadBytes(path_), "; skin\n[A]\nj=3\r\n\n[C]\r\nz=5\r\n");
    TStringList lines;
    ini.GetSectionLines("c", lines);
    EXPECT_EQ(Names(lines), (std::vector<std::string>{"z=5"}));
}

TEST_F(IniFileOnDisk, AWriteToAMissingFileCreatesIt) {
    TIniFile ini(path_);
    ini.PutInt("A", "k", -1);
    EXPECT_EQ(ReadBytes(path_), "[A]\r\nk=-1\r\n");
    TIniFile bad(dir_.file("missing/skin.ini"));
    EXPECT_THROW(bad.PutStr("A", "k", "v"), EFCreateError);
}

TEST(ProfileText, ParsesSectionsAndKeysInOrder) {
    auto sections = ParseProfileText("x=0\n[A]\nk=1\nnote\n[B]\n");
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[0].name, "A");
    ASSERT_EQ(sections[0].keys.size(), 2u);
    EXPECT_EQ(sections[0].keys[1].key, "note");
    EXPECT_EQ(sections[0].keys[1].value, "");
    EXPECT_TRUE(sections[1].keys.empty());
}

} // namespace
