#include "storage/IntegerText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct Case {
    std::string text;
    std::optional<std::int32_t> expected;
};

class IntegerTextAccepts : public testing::TestWithParam<Case> {};

TEST_P(IntegerTextAccepts, ReadsTheValue) {
    EXPECT_EQ(ParseIntegerText(GetParam().text), GetParam().expected)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    DecimalAndHexForms, IntegerTextAccepts,
    testing::Values(Case{"7000", 7000}, Case{"+7000", 7000}, Case{"07000", 7000},
                    Case{"$1B58", 7000}, Case{"0x1B58", 7000}, Case{"0X1B58", 7000},
                    Case{"x1B58", 7000}, Case{"X1b58", 7000}, Case{"  42", 42}, Case{"-5", -5},
                    Case{"0", 0}, Case{"-0", 0}, Case{"$FFFFFFFF", -1},
                    Case{"$80000000", INT32_MIN}, Case{"$7fffffff", INT32_MAX},
                    Case{"$000000001", 1}, Case{"2147483647", INT32_MAX},
                    Case{"-2147483648", INT32_MIN}, Case{"0000000000002147483647", INT32_MAX}));

class IntegerTextRejects : public testing::TestWithParam<std::string> {};

TEST_P(IntegerTextRejects, GivesNothing) {
    EXPECT_EQ(ParseIntegerText(GetParam()), std::nullopt) << '"' << GetParam() << '"';
}

INSTANTIATE_TEST_SUITE_P(MalformedOrOutOfRange, IntegerTextRejects,
                         testing::Values("", " ", "+", "-", "$", "0x", "x", "7000 ", "7k", "1e3",
                                         "-$10", "+$10", "$-10", "2147483648", "-2147483649",
                                         "$100000000", "\t7", "6.5", "1,000", "0x 1", "- 5",
                                         "0b101", "$G", "99999999999999999999"));

} // namespace
