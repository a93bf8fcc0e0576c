#include "storage/MemIniFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A document that never touches a file: the text is set directly.
std::unique_ptr<TMemIniFile> Parsed(std::string_view text) {
    auto ini = std::make_unique<TMemIniFile>("");
    ini->SetText(text);
    return ini;
}

std::vector<std::string> SectionNames(const TMemIniFile& ini) {
    TStringList names;
    ini.GetSectionNames(names);
    std::vector<std::string> out;
    for (const auto& item : names)
        out.push_back(item.text);
    return out;
}

using Lines = std::vector<std::string_view>;

struct SplitCase {
    std::string_view buffer;
    Lines lines;
};

class SplitText : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitText, EndsLinesAtCrLfCrOrLfAndStopsAtNul) {
    EXPECT_EQ(TMemIniFile::SplitText(GetParam().buffer), GetParam().lines);
}

using namespace std::string_view_literals;

INSTANTIATE_TEST_SUITE_P(
    LineEnds, SplitText,
    testing::Values(SplitCase{""sv, {}}, SplitCase{"a"sv, {"a"}}, SplitCase{"a\r\n"sv, {"a"}},
                    SplitCase{"a\r\nb"sv, {"a", "b"}}, SplitCase{"a\nb\n"sv, {"a", "b"}},
                    SplitCase{"a\rb\r"sv, {"a", "b"}}, SplitCase{"a\n\rb"sv, {"a", "", "b"}},
                    SplitCase{"a\r\r\nb"sv, {"a", "", "b"}}, SplitCase{"\r\n"sv, {""}},
                    SplitCase{"\r\n\r\n"sv, {"", ""}}, SplitCase{"a\0b\r\nc"sv, {"a"}},
                    SplitCase{"\0a"sv, {}}, SplitCase{"a\r\n\0b"sv, {"a"}},
                    SplitCase{"\xEF\xBB\xBF[A]"sv, {"\xEF\xBB\xBF[A]"}}));

struct RoundTrip {
    const char* what;
    std::string_view file;
    std::string_view saved;
};

class LoadThenSave : public testing::TestWithParam<RoundTrip> {};

TEST_P(LoadThenSave, WritesTheNormalisedText) {
    EXPECT_EQ(Parsed(GetParam().file)->Text(), GetParam().saved) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    LoadingAndLineEnds, LoadThenSave,
    testing::Values(
        RoundTrip{"zero bytes", ""sv, ""sv},
        RoundTrip{"blank lines and comments only", "; one\r\n\r\n   \r\n\t;two\r\n"sv, ""sv},
        RoundTrip{"LF only", "[A]\nk=1\nj=2\n"sv, "[A]\r\nk=1\r\nj=2\r\n\r\n"sv},
        RoundTrip{"CR only", "[A]\rk=1\rj=2"sv, "[A]\r\nk=1\r\nj=2\r\n\r\n"sv},
        RoundTrip{"mixed", "[A]\r\nk=1\nj=2\r[B]\n"sv, "[A]\r\nk=1\r\nj=2\r\n\r\n[B]\r\n\r\n"sv},
        RoundTrip{"NUL ends the content", "[A]\r\nk=1\0\r\nj=2\r\n[B]\r\n"sv,
                  "[A]\r\nk=1\r\n\r\n"sv},
        RoundTrip{"keys before the first header", "k=1\r\nraw\r\n[A]\r\nj=2"sv,
                  "[A]\r\nj=2\r\n\r\n"sv}));

INSTANTIATE_TEST_SUITE_P(
    CommentsAndHeaders, LoadThenSave,
    testing::Values(
        RoundTrip{"# starts no comment", "[A]\r\n#x=1\r\n"sv, "[A]\r\n#x=1\r\n\r\n"sv},
        RoundTrip{"; inside a value", "[A]\r\nPort=80 ;web\r\n"sv, "[A]\r\nPort=80 ;web\r\n\r\n"sv},
        RoundTrip{"header with a comment is a raw line", "[A]\r\nk=1\r\n[B] ;x\r\nj=2\r\n"sv,
                  "[A]\r\nk=1\r\n[B] ;x\r\nj=2\r\n\r\n"sv},
        RoundTrip{"header with a comment before any section", "[B] ;x\r\nj=2\r\n[C]\r\n"sv,
                  "[C]\r\n\r\n"sv},
        RoundTrip{"byte-order mark", "\xEF\xBB\xBF[A]\r\nk=1\r\n[B]\r\nj=2\r\n"sv,
                  "[B]\r\nj=2\r\n\r\n"sv},
        RoundTrip{"brackets inside a name", "[a]b]\r\n[x=;y]\r\n[[c]]\r\n"sv,
                  "[a]b]\r\n\r\n[x=;y]\r\n\r\n[[c]]\r\n\r\n"sv},
        RoundTrip{"empty names", "[]\r\n[ \t ]\r\n"sv, "[]\r\n\r\n[]\r\n\r\n"sv},
        RoundTrip{"lone bracket is a raw line", "[A]\r\n[\r\n]\r\n"sv, "[A]\r\n[\r\n]\r\n\r\n"sv},
        RoundTrip{"blanks around header and name", "  [ Web 1 ]  \r\n"sv, "[Web 1]\r\n\r\n"sv},
        RoundTrip{"blanks around name and value", "[A]\r\n  Port =\t80 \r\n"sv,
                  "[A]\r\nPort=80\r\n\r\n"sv},
        RoundTrip{"control bytes count as blanks", "[A]\r\n\x01k\x1f=\x7fv\x0b\r\n"sv,
                  "[A]\r\nk=\x7fv\r\n\r\n"sv},
        RoundTrip{"further = belong to the value", "[A]\r\nk = a = b\r\n"sv,
                  "[A]\r\nk=a = b\r\n\r\n"sv},
        RoundTrip{"empty name", "[A]\r\n = x\r\n"sv, "[A]\r\n=x\r\n\r\n"sv},
        RoundTrip{"quotes are kept", "[A]\r\nk=\"a b\"\r\n"sv, "[A]\r\nk=\"a b\"\r\n\r\n"sv},
        RoundTrip{"GBK bytes are never blanks", "[\xB7\xFE\xCE\xF1]\r\n\xC3\xFB=\xA1\xA1\r\n"sv,
                  "[\xB7\xFE\xCE\xF1]\r\n\xC3\xFB=\xA1\xA1\r\n\r\n"sv},
        RoundTrip{"duplicate sections kept in order", "[A]\r\nk=1\r\n[B]\r\n[a]\r\nk=2\r\n"sv,
                  "[A]\r\nk=1\r\n\r\n[B]\r\n\r\n[a]\r\nk=2\r\n\r\n"sv}));

TEST(MemIniFileWorkedExample, SavesFiveLinesByteForByte) {
    auto ini = Parsed("; any text\r\n\r\n[ Web 1 ]\r\nPort = 8080\t\r\nnote\r\n[Web 1] ;main\r\n");
    EXPECT_EQ(ini->Text(), "[Web 1]\r\nPort=8080\r\nnote\r\n[Web 1] ;main\r\n\r\n");
    EXPECT_EQ(ini->GetInt("Web 1", "Port", 0), 8080);
    TStringList lines;
    ini->GetSectionLines("web 1", lines);
    EXPECT_EQ(lines.Text(), "Port=8080\r\nnote\r\n[Web 1] ;main\r\n");
    TStringList keys;
    ini->GetKeyNames("Web 1", keys);
    EXPECT_EQ(keys.Text(), "Port\r\n\r\n\r\n");
}

TEST(MemIniFileLookup, FoldsAsciiLetterCaseOfSectionsAndKeys) {
    auto ini = Parsed("[Alpha]\r\nhost=a\r\nport=80\r\n");
    EXPECT_EQ(ini->GetInt("ALPHA", "Port", 0), 80);
    ini->PutInt("ALPHA", "Port", 90);
    EXPECT_EQ(ini->Text(), "[Alpha]\r\nhost=a\r\nPort=90\r\n\r\n");
}

TEST(MemIniFileLookup, NeverFoldsTheSecondByteOfAGbkCharacter) {
    // 0x81 0x61 and 0x81 0x41 are two different GBK characters; 0x61 is only a trail byte here.
    auto ini = Parsed("[\x81\x61]\r\nk=lower\r\n[\x81\x41]\r\nk=upper\r\n");
    EXPECT_EQ(ini->GetStr("\x81\x61", "k", "-"), "lower");
    EXPECT_EQ(ini->GetStr("\x81\x41", "k", "-"), "upper");
    EXPECT_EQ(ini->GetStr("\x81\x61", "K", "-"), "lower");
    ini->PutStr("\x81\x61", "\xB6\x61", "1");
    EXPECT_EQ(ini->GetStr("\x81\x61", "\xB6\x41", "-"), "-");
    EXPECT_EQ(ini->GetStr("\x81\x61", "\xB6\x61", "-"), "1");
}

TEST(MemIniFileLookup, FoldsAsciiLettersAroundGbkCharacters) {
    auto ini = Parsed("[web\xB7\xFEserver]\r\nip=1\r\n");
    EXPECT_EQ(ini->GetStr("WEB\xB7\xFESERVER", "IP", "-"), "1");
}

TEST(MemIniFileLookup, EmptyValueIsEmptyTextButNotANumber) {
    auto ini = Parsed("[S]\r\nIP=\r\n");
    EXPECT_EQ(ini->GetStr("S", "IP", "fallback"), "");
    EXPECT_EQ(ini->GetInt("S", "IP", 7), 7);
    EXPECT_TRUE(ini->GetBool("S", "IP", true));
    EXPECT_FALSE(ini->GetBool("S", "IP", false));
    EXPECT_EQ(ini->GetStr("S", "missing", "fallback"), "fallback");
    EXPECT_EQ(ini->GetStr("missing", "IP", "fallback"), "fallback");
}

TEST(MemIniFileLookup, RawLinesAreNeverKeys) {
    auto ini = Parsed("[S]\r\nnote\r\n");
    EXPECT_EQ(ini->GetStr("S", "note", "fallback"), "fallback");
    ini->PutStr("S", "note", "x");
    EXPECT_EQ(ini->Text(), "[S]\r\nnote\r\nnote=x\r\n\r\n");
}

TEST(MemIniFileDuplicates, SectionsReadWriteAndRemoveTheLastOne) {
    auto ini = Parsed("[A]\r\nk=1\r\n[B]\r\nk=b\r\n[a]\r\nk=2\r\n");
    EXPECT_EQ(SectionNames(*ini), (std::vector<std::string>{"A", "B", "a"}));
    EXPECT_EQ(ini->GetInt("A", "k", 0), 2);
    ini->PutInt("A", "k", 3);
    EXPECT_EQ(ini->Text(), "[A]\r\nk=1\r\n\r\n[B]\r\nk=b\r\n\r\n[a]\r\nk=3\r\n\r\n");
    ini->RemoveSection("A");
    EXPECT_EQ(SectionNames(*ini), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(ini->GetInt("A", "k", 0), 1);
    ini->RemoveSection("a");
    EXPECT_EQ(SectionNames(*ini), (std::vector<std::string>{"B"}));
    ini->RemoveSection("A");
    EXPECT_EQ(ini->Text(), "[B]\r\nk=b\r\n\r\n");
}

TEST(MemIniFileDuplicates, ALookupAfterTheSectionsChangedSeesTheNewOnes) {
    auto ini = Parsed("[Server01]\r\nk=1\r\n[B]\r\nk=b\r\n");
    ASSERT_EQ(ini->GetInt("Server01", "k", 0), 1);
    ini->SetText("[B]\r\nk=c\r\n[Server01]\r\nk=2\r\n");
    EXPECT_EQ(ini->GetInt("Server01", "k", 0), 2);
    EXPECT_EQ(ini->GetStr("B", "k", ""), "c");
    ini->RemoveSection("B");
    EXPECT_EQ(ini->GetInt("Server01", "k", 0), 2);
    ini->PutInt("server01", "k", 3);
    EXPECT_EQ(ini->GetInt("Server01", "k", 0), 3);
    ini->Clear();
    EXPECT_EQ(ini->GetInt("Server01", "k", 0), 0);
}

TEST(MemIniFileDuplicates, KeysReadAndReplaceTheLastOne) {
    auto ini = Parsed("[S]\r\nPort=1\r\nx=0\r\nport=2\r\n");
    EXPECT_EQ(ini->GetInt("S", "Port", 0), 2);
    ini->PutInt("S", "PORT", 5);
    EXPECT_EQ(ini->Text(), "[S]\r\nPort=1\r\nx=0\r\nPORT=5\r\n\r\n");
    ini->RemoveKey("S", "port");
    EXPECT_EQ(ini->GetInt("S", "Port", 0), 1);
    ini->RemoveKey("S", "port");
    ini->RemoveKey("S", "port");
    ini->RemoveKey("missing", "port");
    EXPECT_EQ(ini->Text(), "[S]\r\nx=0\r\n\r\n");
}

TEST(MemIniFileWrites, PutStrAppendsNewSectionsAndKeysExactlyAsPassed) {
    auto ini = Parsed("[A]\r\nk=1\r\n");
    ini->PutStr(" B ", " key ", " value ");
    ini->PutStr("A", "j", "2");
    EXPECT_EQ(ini->GetStr(" B ", " key ", "-"), " value ");
    EXPECT_EQ(ini->Text(), "[A]\r\nk=1\r\nj=2\r\n\r\n[ B ]\r\n key = value \r\n\r\n");
    // After a reload the blanks are gone and " B " has become "B".
    auto reloaded = Parsed(ini->Text());
    EXPECT_EQ(reloaded->GetStr("B", "key", "-"), "value");
}

TEST(MemIniFileWrites, ABlankPaddedNameMayMeetItsTwinAfterReload) {
    auto ini = Parsed("[B]\r\nk=1\r\n");
    ini->PutStr("B ", "k", "2");
    auto reloaded = Parsed(ini->Text());
    EXPECT_EQ(SectionNames(*reloaded), (std::vector<std::string>{"B", "B"}));
    EXPECT_EQ(reloaded->GetStr("B", "k", "-"), "2");
}

TEST(MemIniFileWrites, ValueWithALineBreakBecomesTwoLinesAfterReload) {
    auto ini = Parsed("");
    ini->PutStr("S", "k", "one\r\ntwo=2\nthree");
    EXPECT_EQ(ini->GetStr("S", "k", "-"), "one\r\ntwo=2\nthree");
    EXPECT_EQ(ini->Text(), "[S]\r\nk=one\r\ntwo=2\nthree\r\n\r\n");
    auto reloaded = Parsed(ini->Text());
    EXPECT_EQ(reloaded->GetStr("S", "k", "-"), "one");
    EXPECT_EQ(reloaded->GetStr("S", "two", "-"), "2");
    EXPECT_EQ(reloaded->Text(), "[S]\r\nk=one\r\ntwo=2\r\nthree\r\n\r\n");
}

TEST(MemIniFileWrites, TypedSettersWriteTheirTexts) {
    auto ini = Parsed("");
    ini->PutInt("S", "neg", -5);
    ini->PutInt("S", "min", INT32_MIN);
    ini->PutBool("S", "yes", true);
    ini->PutBool("S", "no", false);
    EXPECT_EQ(ini->Text(), "[S]\r\nneg=-5\r\nmin=-2147483648\r\nyes=1\r\nno=0\r\n\r\n");
}

TEST(MemIniFileRemovals, MissingSectionOrKeyChangesNothing) {
    auto ini = Parsed("[A]\r\nk=1\r\n");
    ini->RemoveSection("B");
    ini->RemoveKey("A", "j");
    ini->RemoveKey("B", "k");
    EXPECT_EQ(ini->Text(), "[A]\r\nk=1\r\n\r\n");
    ini->RemoveKey("A", "k");
    EXPECT_EQ(ini->Text(), "[A]\r\n\r\n");
}

TEST(MemIniFileRemovals, AfterARemovalLookupsSeeTheNewPositions) {
    auto ini = Parsed("[A]\r\na=1\r\nb=2\r\nc=3\r\n[B]\r\nz=9\r\n[C]\r\ny=8\r\n");
    ini->RemoveKey("A", "a");
    ini->RemoveSection("B");
    EXPECT_EQ(ini->GetInt("A", "c", 0), 3);
    EXPECT_EQ(ini->GetInt("C", "y", 0), 8);
    ini->PutInt("A", "b", 20);
    EXPECT_EQ(ini->Text(), "[A]\r\nb=20\r\nc=3\r\n\r\n[C]\r\ny=8\r\n\r\n");
}

TEST(MemIniFileSaveFormat, EmptyDocumentAndSectionsWithoutLines) {
    EXPECT_EQ(Parsed("")->Text(), "");
    auto ini = Parsed("");
    ini->PutStr("A", "k", "v");
    ini->RemoveKey("A", "k");
    ini->PutStr("B", "k", "v");
    EXPECT_EQ(ini->RenderLines(), (std::vector<std::string>{"[A]", "", "[B]", "k=v", ""}));
    EXPECT_EQ(ini->Text(), "[A]\r\n\r\n[B]\r\nk=v\r\n\r\n");
    EXPECT_EQ(TMemIniFile::JoinText({}), "");
    EXPECT_EQ(TMemIniFile::JoinText({"", "x"}), "\r\nx\r\n");
}

TEST(MemIniFileSaveFormat, ReloadGivesTheSameNamesAndValues) {
    auto ini = Parsed("");
    for (int i = 0; i < 50; ++i) {
        std::string name = "\xB7\xFE\xCE\xF1\xC6\xF7" + std::to_string(i);
        ini->PutStr(name, "IP", "10.0.0." + std::to_string(i));
        ini->PutInt(name, "Port", 1000 + i);
        ini->PutBool(name, "SoundAlert", i % 2 == 0);
        ini->PutBool(name, "SMSAlert", i % 3 == 0);
    }
    auto reloaded = Parsed(ini->Text());
    EXPECT_EQ(SectionNames(*reloaded), SectionNames(*ini));
    for (const std::string& name : SectionNames(*ini)) {
        EXPECT_EQ(reloaded->GetStr(name, "IP", "-"), ini->GetStr(name, "IP", "+"));
        EXPECT_EQ(reloaded->GetInt(name, "Port", -1), ini->GetInt(name, "Port", -2));
        EXPECT_EQ(reloaded->GetBool(name, "SoundAlert", false),
                  ini->GetBool(name, "SoundAlert", true));
        EXPECT_EQ(reloaded->GetBool(name, "SMSAlert", false), ini->GetBool(name, "SMSAlert", true));
    }
    EXPECT_EQ(reloaded->Text(), ini->Text());
}

} // namespace
