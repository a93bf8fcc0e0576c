#include "storage/MemIniFile.h"
#include "support/ScopedSeam.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// One key holding `value` exactly as given (blanks included, which only a write can produce).
class OneValue {
public:
    explicit OneValue(const std::string& value) { ini_.PutStr("S", "k", value); }
    TMemIniFile& ini() { return ini_; }

private:
    TMemIniFile ini_{""};
};

struct IntCase {
    std::string text;
    std::int32_t expected; // with the fallback 99
};

class GetIntText : public testing::TestWithParam<IntCase> {};

TEST_P(GetIntText, ReadsIntegerTextOrTheFallback) {
    OneValue doc(GetParam().text);
    EXPECT_EQ(doc.ini().GetInt("S", "k", 99), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    IntegerTexts, GetIntText,
    testing::Values(IntCase{"7000", 7000}, IntCase{"+7000", 7000}, IntCase{"07000", 7000},
                    IntCase{"$1B58", 7000}, IntCase{"0x1B58", 7000}, IntCase{"0X1B58", 7000},
                    IntCase{"x1B58", 7000}, IntCase{"$FFFFFFFF", -1}, IntCase{"0xffffffff", -1},
                    IntCase{"-2147483648", INT32_MIN}, IntCase{"  12", 12}, IntCase{"0", 0},
                    // fallbacks
                    IntCase{"2147483648", 99}, IntCase{"7000 ", 99}, IntCase{"7k", 99},
                    IntCase{"1e3", 99}, IntCase{"-$10", 99}, IntCase{"", 99}, IntCase{"0x", 99},
                    IntCase{"$", 99}, IntCase{"+", 99}, IntCase{"$100000000", 99},
                    IntCase{"0x-1", 99}, IntCase{"\t5", 99}, IntCase{"0x0x1", 99}));

struct BoolCase {
    std::string text;
    bool withFalseFallback;
    bool withTrueFallback;
};

class GetBoolText : public testing::TestWithParam<BoolCase> {};

TEST_P(GetBoolText, ComparesTheIntegerWithZero) {
    OneValue doc(GetParam().text);
    EXPECT_EQ(doc.ini().GetBool("S", "k", false), GetParam().withFalseFallback) << GetParam().text;
    EXPECT_EQ(doc.ini().GetBool("S", "k", true), GetParam().withTrueFallback) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Booleans, GetBoolText,
                         testing::Values(BoolCase{"0", false, false}, BoolCase{"1", true, true},
                                         BoolCase{"2", true, true}, BoolCase{"-1", true, true},
                                         BoolCase{"$10", true, true}, BoolCase{"true", false, true},
                                         BoolCase{"yes", false, true}, BoolCase{"", false, true}));

TEST(CustomIniFileBinary, WritesUpperCaseHexOfTheRemainderAndReadsItBack) {
    TMemIniFile ini("");
    TByteStream source;
    source.Bytes = {0xFF, 0x00, 0xAB, 0x12, 0x9c};
    source.Position = 1;
    ini.PutBinary("S", "b", source);
    EXPECT_EQ(ini.GetStr("S", "b", "-"), "00AB129C");
    EXPECT_EQ(source.Position, 5u);

    TByteStream target;
    target.Bytes = {1, 2, 3, 4, 5, 6, 7};
    target.Position = 2;
    EXPECT_EQ(ini.GetBinary("S", "b", target), 5u);
    EXPECT_EQ(target.Bytes, (std::vector<unsigned char>{1, 2, 0x00, 0xAB, 0x12, 0x9C, 7}));
    EXPECT_EQ(target.Position, 2u);

    TByteStream empty;
    ini.PutBinary("S", "e", empty);
    EXPECT_EQ(ini.GetStr("S", "e", "-"), "");
    EXPECT_EQ(ini.GetBinary("S", "e", target), 0u);
    EXPECT_EQ(ini.GetBinary("S", "missing", target), 0u);
}

TEST(CustomIniFileBinary, DecodingStopsAtTheFirstBadPairAndAcceptsLowerCase) {
    TMemIniFile ini("");
    ini.PutStr("S", "b", "0aFfzz11");
    ini.PutStr("S", "odd", "123");
    TByteStream target;
    EXPECT_EQ(ini.GetBinary("S", "b", target), 2u);
    EXPECT_EQ(target.Bytes, (std::vector<unsigned char>{0x0A, 0xFF}));
    TByteStream odd;
    EXPECT_EQ(ini.GetBinary("S", "odd", odd), 1u);
    EXPECT_EQ(odd.Bytes, (std::vector<unsigned char>{0x12}));
}

class RegionalAccessors : public testing::Test {
protected:
    RegionalFormats formats_{"%d/%m/%Y", "%H:%M:%S", ','};
    ScopedSeam formatsSeam_{SetUserFormats, &formats_};
    TMemIniFile ini_{""};
};

TEST_F(RegionalAccessors, FloatsUseTheUsersDecimalSeparator) {
    ini_.PutFloat("S", "f", 2.5);
    EXPECT_EQ(ini_.GetStr("S", "f", "-"), "2,5");
    EXPECT_EQ(ini_.GetFloat("S", "f", 0), 2.5);
    ini_.PutStr("S", "bad", "2.5x");
    EXPECT_EQ(ini_.GetFloat("S", "bad", -1), -1);
    EXPECT_EQ(ini_.GetFloat("S", "missing", -2), -2);
}

TEST_F(RegionalAccessors, DatesAndTimesRoundTripInTheUsersFormats) {
    const TDateTime when = EncodeDateTime({2024, 3, 9, 14, 5, 6, 0});
    ini_.PutDateVal("S", "d", when);
    ini_.PutTimeVal("S", "t", when);
    ini_.PutDateTimeVal("S", "dt", when);
    EXPECT_EQ(ini_.GetStr("S", "d", "-"), "09/03/2024");
    EXPECT_EQ(ini_.GetStr("S", "t", "-"), "14:05:06");
    EXPECT_EQ(ini_.GetStr("S", "dt", "-"), "09/03/2024 14:05:06");
    EXPECT_EQ(ini_.GetDateVal("S", "d", 0), EncodeDateTime({2024, 3, 9}));
    EXPECT_NEAR(ini_.GetTimeVal("S", "t", 0), when - EncodeDateTime({2024, 3, 9}), 1e-9);
    EXPECT_NEAR(ini_.GetDateTimeVal("S", "dt", 0), when, 1e-9);
    ini_.PutStr("S", "bad", "31/02/2024");
    EXPECT_EQ(ini_.GetDateVal("S", "bad", 7.0), 7.0);
    EXPECT_EQ(ini_.GetTimeVal("S", "missing", 8.0), 8.0);
}

} // namespace
